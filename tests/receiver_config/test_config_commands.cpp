// The receiver's commands against the simulated receiver in virtual time.
// Finding its rate, commanding it to a rate and the confirmed baud change:
// what went out at which rate, the result, where the PC and the receiver are
// left, and how long it took. The configuration commands, the rate read-back
// and the reset: results, progress texts and frames. And each message's frame
// read back through the message table.
#include "harness/MainWindowDriver.h"
#include "harness/MessageRecorder.h"
#include "harness/VirtualReceiver.h"
#include "link/CommsFrm.h"
#include "link/SelectedPort.h"
#include "link/UbxMessages.h"
#include "receiver_config/Payloads.h"
#include "receiver_config/VarnexCommsRoutines.h"

#include <QLabel>
#include <QtTest>

using namespace VarnexCommsRoutines;
// A field as the protocol lays it out, written here by hand: its name, its
// offset and width in the payload, and the value built into it.
struct FieldAt {
    QString name;
    int offset = 0;
    int width = 0;
    quint32 value = 0;
};
using Fields = QList<FieldAt>;
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

VarnexSim::ModelOptions At115200(bool silent = false) { return {.startBaud = 115200, .faults = {.silent = silent}}; }

void OpenLink()
{
    SerialControl& port = CommsFrm::SerialPort();
    port.SetCommPort(1);
    port.SetSettings(QStringLiteral("115200,N,8,1"));
    QVERIFY(port.SetPortOpen(true));
}

const QString kMsgPoll = HexFrame("B5 62 06 01 02 00 F0 04 FD 15");

QByteArray Bytes(const uBloxLowLevelComms::UbxBuffer& frame)
{
    return QByteArray(reinterpret_cast<const char*>(frame.data()), qsizetype(frame.size()));
}
} // namespace

class TestConfigCommands : public QObject {
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
        if (words[0] == u"confirm" || words[0] == u"plain")
            OpenLink();
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

    // The receiver never answers, so each command is still waiting, its text
    // showing in the main window, when a zero timer fires inside the wait.
    void progressTexts()
    {
        VirtualReceiver receiver(At115200(true));
        QWidget* main = MainWindowDriver::Load();
        QVERIFY(main);
        const auto unload = qScopeGuard(MainWindowDriver::UnloadAll);
        OpenLink();
        auto* panel = main->findChild<QLabel*>(QStringLiteral("Panel1"));
        QStringList seen;
        QTimer probe;
        QObject::connect(&probe, &QTimer::timeout, [&] { seen << panel->text(); });
        probe.start(0);
        QVERIFY(!SetMessageRate(0xF0, 0x04, 1, 1));
        QVERIFY(!SetMessageRate(0x01, 0x08, 0, 1));
        QVERIFY(!SetTimePulse(1000, 100));
        QCOMPARE(GetUpdateRate(0xF0, 0x04, 1), OutputRate::NoReply);
        probe.stop();
        seen.removeDuplicates();
        QCOMPARE(seen, QStringList({"Setting 240004 port 1", "Clearing 001008 port 1", "Set Time Pulse=1000",
                                    "Get Update Rate 240004"}));
        QCOMPARE(panel->text(), QString());
        QVERIFY(qAbs(receiver.Elapsed() - 4 * 5.0) < 0.01);
    }

    // The poll's reply gives the rate on `port`; a rate the window cannot
    // show is cleared on that port; a reply of another shape is no reply.
    void updateRate_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("port");
        QTest::addColumn<OutputRate>("result");
        QTest::addColumn<QString>("clearing");
        const QByteArray rates = QByteArray::fromHex("B5 62 06 01 06 00 F0 04 00 05 01 03 00 00"); // ports 0..3
        QTest::newRow("rate 0 is off") << rates << 0 << OutputRate::Off << QString();
        QTest::newRow("rate 5 is 1Hz") << rates << 1 << OutputRate::EveryFifthSolution << QString();
        QTest::newRow("rate 1 is 5Hz") << rates << 2 << OutputRate::EverySolution << QString();
        QTest::newRow("rate 3 is cleared") << rates << 3 << OutputRate::Off << HexFrame("B5 62 06 01 06 00 F0 04 00 00 00 00 01 29");
        QTest::newRow("reply of 8 bytes") << QByteArray::fromHex("B5 62 06 01 08 00 F0 04 00 05 01 03 03 03 00 00")
                                          << 3 << OutputRate::NoReply << QString();
        QTest::newRow("no reply") << QByteArray() << 1 << OutputRate::NoReply << QString();
    }
    void updateRate()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QString, clearing);
        VirtualReceiver receiver(At115200(true));
        receiver.OnWrite([&](const QByteArray&) {
            if (!reply.isEmpty() && receiver.Written().toHex().toUpper().endsWith(kMsgPoll.toLatin1()))
                receiver.Arrive(receiver.Elapsed() + 0.01, reply + QByteArray(37, 'x'));
        });
        OpenLink();
        QFETCH(int, port);
        QTEST(GetUpdateRate(0xF0, 0x04, port), "result");
        QStringList sent{kMsgPoll};
        if (!clearing.isEmpty())
            sent << clearing;
        QCOMPARE(receiver.Frames(), sent);
        if (reply.isEmpty())
            QVERIFY(qAbs(receiver.Elapsed() - 5.0) < 0.01);
    }

    // Each message built from values whose bytes differ from each other and
    // from 0, then every field of its table row read back: an offset or a
    // width that drifts between a builder and the table reads another value.
    void messageTableReadsWhatTheBuildersWrite_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<Fields>("fields"); // every field of the message's row
        QTest::newRow("CFG-PRT") << Bytes(Payloads::CfgPrt(0x1A2B3C4D, 3))
            << Fields{{"portId", 0, 1, 3},          {"mode", 4, 4, 0x08C0},        {"baudRate", 8, 4, 0x1A2B3C4D},
                      {"inProtoMask", 12, 2, 3},    {"outProtoMask", 14, 2, 3},    {"flags", 16, 2, 0}};
        const std::uint8_t rates[] = {0x11, 0x22, 0x33, 0x44};
        QTest::newRow("CFG-MSG") << Bytes(Payloads::CfgMsg(0xF1, 0x04, 9, 0, rates))
            << Fields{{"msgClass", 0, 1, 0xF1}, {"msgId", 1, 1, 0x04}, {"port 0", 2, 1, 0x11},
                      {"port 1", 3, 1, 0x22},   {"port 2", 4, 1, 0x33}, {"port 3", 5, 1, 0x44}};
        QTest::newRow("CFG-RATE") << Bytes(Payloads::CfgRate(0x1234, 0x0506))
                                  << Fields{{"measRate", 0, 2, 0x1234}, {"navRate", 2, 2, 0x0506}, {"timeRef", 4, 2, 0}};
        QTest::newRow("CFG-TP") << Bytes(Payloads::CfgTp(1193046, 305419)) // 0x471C6FF0 and 0x123452F8 µs
            << Fields{{"interval", 0, 4, 0x471C6FF0},    {"length", 4, 4, 0x123452F8},    {"status", 8, 1, 1}, {"timeRef", 9, 1, 1},
                      {"antennaCableDelay", 12, 2, 50}, {"rfGroupDelay", 14, 2, 820}, {"userDelay", 16, 4, 0}};
        std::uint8_t block[Payloads::kNavBlockSize];
        Fields nav;
        for (std::uint8_t i = 0; i < Payloads::kNavBlockSize; ++i)
            block[i] = 0x11 + i;
        for (int offset : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 12, 13, 14, 15, 24, 25, 26, 27})
            nav << FieldAt{QStringLiteral("offset %1").arg(offset), offset, 1, 0x11u + offset};
        for (int offset : {10, 16, 18, 20, 22}) // the 16-bit values
            nav << FieldAt{QStringLiteral("offset %1").arg(offset), offset, 2, (0x12u + offset) << 8 | (0x11u + offset)};
        QTest::newRow("CFG-NAV") << Bytes(Payloads::CfgNav(block)) << nav;
        QTest::newRow("CFG-CFG save") << Bytes(Payloads::CfgCfgSaveAll())
                                      << Fields{{"clearMask", 0, 4, 0}, {"saveMask", 4, 4, 0xFFFF}, {"loadMask", 8, 4, 0}};
        QTest::newRow("CFG-CFG load") << Bytes(Payloads::CfgCfgLoadAll())
                                      << Fields{{"clearMask", 0, 4, 0}, {"saveMask", 4, 4, 0}, {"loadMask", 8, 4, 0xFFFF}};
    }
    void messageTableReadsWhatTheBuildersWrite()
    {
        QFETCH(QByteArray, frame);
        QFETCH(Fields, fields);
        const UbxMessages::Message* message = UbxMessages::Find(quint8(frame[2]), quint8(frame[3]));
        QVERIFY(message);
        QVERIFY(QString::fromLatin1(QTest::currentDataTag()).startsWith(QLatin1String(message->name)));
        const QByteArray payload = frame.mid(UbxProtocol::kPayloadStart, frame.size() - qsizetype(UbxProtocol::kFrameOverhead));
        QCOMPARE(std::size_t(payload.size()), message->payloadSize);
        QCOMPARE(std::size_t(fields.size()), message->fields.size());
        for (const FieldAt& f : fields) {
            // The table's row is the layout written above, and the builder put the value there.
            const UbxMessages::Field* field = UbxMessages::FieldOf(*message, qPrintable(f.name));
            QVERIFY2(field, qPrintable(f.name));
            QCOMPARE(QStringLiteral("%1 at %2, %3 bytes").arg(f.name).arg(field->offset).arg(field->width),
                     QStringLiteral("%1 at %2, %3 bytes").arg(f.name).arg(f.offset).arg(f.width));
            quint32 read = 0;
            for (int i = f.width - 1; i >= 0; --i) // little-endian, byte by byte
                read = read << 8 | quint8(payload[f.offset + i]);
            QVERIFY2(read == f.value, qPrintable(QStringLiteral("%1 reads %2, built %3").arg(f.name).arg(read, 0, 16).arg(f.value, 0, 16)));
        }
    }

    void resetSendsOneRateAndFourPasses()
    {
        VirtualReceiver receiver(At115200());
        QVERIFY(ResetToKnownState());
        const QStringList msg = receiver.Frames(0x06, 0x01);
        QCOMPARE(msg.size(), 152);
        for (int pass = 0; pass < 4; ++pass)
            QCOMPARE(msg.mid(pass * 38, 38), msg.mid(0, 38));
        QCOMPARE(msg[0], HexFrame("B5 62 06 01 06 00 01 01 00 00 00 00 0F 80"));
        QCOMPARE(msg[25], HexFrame("B5 62 06 01 06 00 F0 00 00 00 00 00 FD 15"));
        QCOMPARE(msg[37], HexFrame("B5 62 06 01 06 00 F1 04 00 00 00 00 02 2F"));
        // After the opening's frames: exactly one CFG-RATE set, then the 152 CFG-MSG.
        const QStringList all = receiver.Frames();
        const qsizetype rate = all.indexOf(HexFrame("B5 62 06 08 06 00 E8 03 01 00 00 00 00 37"));
        QCOMPARE(all.mid(rate + 1), msg);
        QCOMPARE(receiver.Model().Running().measRateMs, 1000);
    }
};

QTEST_MAIN(TestConfigCommands)
#include "test_config_commands.moc"
