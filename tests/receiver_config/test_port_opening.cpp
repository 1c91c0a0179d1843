// Finding the receiver's rate, commanding it to a rate, and the confirmed baud
// change, against the simulated receiver in virtual time: what went out at
// which rate, the result, where the PC and the receiver are left, and how long it took.
#include "harness/MessageRecorder.h"
#include "harness/VirtualReceiver.h"
#include "link/CommsFrm.h"
#include "link/SelectedPort.h"
#include "receiver_config/VarnexCommsRoutines.h"

#include <QtTest>

using namespace VarnexCommsRoutines;
using RateRuns = QList<QPair<qint32, qsizetype>>;

namespace {
constexpr qsizetype kPoll = 8;    // bytes of a CFG-RATE poll
constexpr qsizetype kCfgPrt = 28; // bytes of a CFG-PRT
const QByteArray kRatePoll = QByteArray::fromHex("B5 62 06 08 00 00 0E 30");

RateRuns Runs(std::initializer_list<qint32> rates, qsizetype bytes)
{
    RateRuns runs;
    for (qint32 rate : rates)
        runs.append({rate, bytes});
    return runs;
}
} // namespace

class TestPortOpening : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { CommsFrm::SerialPort().SetPortOpen(false); }

    // op: "find", "open <rate>", "confirm <rate> <port>" or "plain <rate> <port>",
    // the last two from a port already open at 115200. fault: "silent" or the
    // first poll answered. seconds < 0: not checked.
    void operations_data()
    {
        QTest::addColumn<int>("start");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("op");
        QTest::addColumn<bool>("result");
        QTest::addColumn<RateRuns>("runs");
        QTest::addColumn<int>("pcRate");
        QTest::addColumn<double>("seconds");
        const qsizetype kFive = 5 * kPoll;
        QTest::newRow("found at the first rate with one poll") << 4800 << "" << "find" << true
            << RateRuns{{4800, kPoll}} << 4800 << -1.0;
        QTest::newRow("found at the third rate after two rounds of polls") << 9600 << "" << "find" << true
            << RateRuns{{4800, kFive}, {115200, kFive}, {9600, kPoll}} << 9600 << 2 * 27.2 + 0.2;
        QTest::newRow("only the fifth poll answered") << 4800 << "poll 5" << "find" << true
            << RateRuns{{4800, kFive}} << 4800 << -1.0;
        QTest::newRow("nothing answers: every rate once, in order") << 9600 << "silent" << "find" << false
            << Runs({4800, 115200, 9600, 57600, 2400, 14400, 19200, 28800, 38400}, kFive) << 38400 << 9 * 27.2;
        QTest::newRow("commanded from every rate, then polled") << 9600 << "" << "open 115200" << true
            << Runs({1200, 2400, 4800, 9600, 14400, 19200, 28800, 38400, 57600}, 4 * kCfgPrt)
                   + RateRuns{{115200, 4 * kCfgPrt + kPoll}} << 115200 << -1.0;
        QTest::newRow("commanded, nothing answers") << 9600 << "silent" << "open 57600" << false
            << Runs({1200, 2400, 4800, 9600, 14400, 19200, 28800, 38400}, 4 * kCfgPrt)
                   + RateRuns{{57600, 4 * kCfgPrt}, {115200, 4 * kCfgPrt}, {57600, kFive}} << 57600 << -1.0;
        QTest::newRow("confirmed, nothing answers: eleven polls") << 115200 << "silent" << "confirm 4800 1" << false
            << RateRuns{{115200, kCfgPrt + kPoll}, {4800, 10 * kPoll}} << 4800 << 11 * 5.0 + 10 * 0.6;
        QTest::newRow("confirmed by the eleventh poll") << 115200 << "poll 11" << "confirm 115200 2" << true
            << RateRuns{{115200, kCfgPrt + 11 * kPoll}} << 115200 << -1.0;
        QTest::newRow("plain: one frame, nothing awaited") << 115200 << "silent" << "plain 9600 3" << true
            << RateRuns{{115200, kCfgPrt}} << 115200 << 0.0;
    }
    void operations()
    {
        QFETCH(int, start);
        QFETCH(QString, fault);
        QFETCH(QString, op);
        VirtualReceiver receiver({.startBaud = start});
        const QStringList words = op.split(u' ');
        SerialControl& port = CommsFrm::SerialPort();
        if (words[0] == u"confirm" || words[0] == u"plain") {
            port.SetCommPort(1);
            port.SetSettings(QStringLiteral("115200,N,8,1"));
            QVERIFY(port.SetPortOpen(true));
        }
        const VarnexSim::Faults faults{.silent = fault == u"silent",
                                       .answerPollsFrom = fault.startsWith(u"poll") ? fault.mid(5).toInt() : 0};
        receiver.SetFaults(faults);
        const double before = receiver.Elapsed();
        MessageRecorder messages;
        bool result = false;
        if (words[0] == u"find")
            result = FindBaudAndOpenPort();
        else if (words[0] == u"open")
            result = OpenPortAtBaud(words[1].toInt());
        else
            result = SetBaudRate(words[1].toInt(), words[0] == u"confirm" ? BaudMode::Confirming : BaudMode::SendOnly, words[2].toInt());
        QTEST(result, "result");
        QTEST(receiver.BytesByRate(), "runs");
        QTEST(int(receiver.PcRate()), "pcRate");
        QVERIFY(port.PortOpen());
        QVERIFY(messages.texts.isEmpty());
        QFETCH(double, seconds);
        if (seconds >= 0)
            QVERIFY2(qAbs(receiver.Elapsed() - before - seconds) < 0.1 + seconds / 100, qPrintable(QString::number(receiver.Elapsed())));
        if (result && !faults.silent && words[0] != u"find") // the receiver's port is at the rate asked for
            QCOMPARE(receiver.Model().Running().ports[words.value(2, "1").toInt()].baud, words[1].toInt());
    }

    // The first CFG-RATE poll gets `reply`, every later one the factory's: a
    // reply of another length or with a period of 0 is no receiver, so the
    // detection polls again; ReadConfiguration gives no period for it.
    void readConfiguration_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<std::optional<float>>("period");
        QTest::addColumn<qsizetype>("polls");
        QTest::newRow("1000 ms") << QByteArray::fromHex("B5 62 06 08 06 00 E8 03 01 00 01 00 01 39") << std::optional<float>(1000.0f) << kPoll;
        QTest::newRow("8 payload bytes") << QByteArray::fromHex("B5 62 06 08 08 00 E8 03 01 00 01 00 00 00 00 00")
                                         << std::optional<float>() << 2 * kPoll;
        QTest::newRow("period 0") << QByteArray::fromHex("B5 62 06 08 06 00 00 00 01 00 01 00 00 00") << std::optional<float>()
                                  << 2 * kPoll;
    }
    void readConfiguration()
    {
        QFETCH(QByteArray, reply);
        VirtualReceiver receiver({.startBaud = 4800, .faults = {.silent = true}});
        int badReplies = 1;
        receiver.OnWrite([&](const QByteArray&) {
            if (receiver.Written().endsWith(kRatePoll))
                receiver.Arrive(receiver.Elapsed() + 0.01,
                                (badReplies-- > 0 ? reply : QByteArray::fromHex("B5 62 06 08 06 00 E8 03 01 00 01 00 01 39"))
                                    + QByteArray(37, 'x'));
        });
        QVERIFY(FindBaudAndOpenPort());
        QFETCH(qsizetype, polls);
        QCOMPARE(receiver.BytesByRate(), (RateRuns{{4800, polls}}));
        badReplies = 1;
        QTEST(ReadConfiguration(), "period");
    }

    void missingPortSendsNothing()
    {
        VirtualReceiver receiver;
        SelectedPort = 3;
        MessageRecorder messages;
        QVERIFY(!FindBaudAndOpenPort());
        QVERIFY(!OpenPortAtBaud(115200));
        QCOMPARE(messages.texts, QStringList({"Cannot open serial port", "Cannot open serial port"}));
        QVERIFY(receiver.BytesByRate().isEmpty());
        QVERIFY(!CommsFrm::SerialPort().PortOpen());
    }
};

QTEST_MAIN(TestPortOpening)
#include "test_port_opening.moc"
