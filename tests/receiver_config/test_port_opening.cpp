// Finding the receiver's rate, commanding it to a rate, and the confirmed baud
// change, against the simulated receiver in virtual time.
#include "harness/MessageRecorder.h"
#include "harness/VirtualReceiver.h"
#include "link/CommsFrm.h"
#include "link/SelectedPort.h"
#include "receiver_config/VarnexCommsRoutines.h"

#include <QtTest>

using namespace VarnexCommsRoutines;
using RateRuns = QList<QPair<qint32, qsizetype>>;

namespace {
VarnexSim::ModelOptions At(qint32 baud)
{
    VarnexSim::ModelOptions options;
    options.startBaud = baud;
    return options;
}
constexpr qsizetype kPoll = 8;     // bytes of a CFG-RATE poll
constexpr qsizetype kCfgPrt = 28;  // bytes of a CFG-PRT
const char* kRatePoll = "B5 62 06 08 00 00 0E 30";
} // namespace

class TestPortOpening : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { CommsFrm::SerialPort().SetPortOpen(false); }
    void readConfigurationValue();
    void foundAtFirstRateWithOnePoll();
    void foundAtThirdRateAfterTwoRoundsOfPolls();
    void answerOnlyToFifthPollCounts();
    void failedSearchTriesEveryRateOnceInOrder();
    void missingPortSendsNothing();
    void openAtBaudCommandsFromEveryRateThenPolls();
    void openAtBaudWithoutReceiver();
    void confirmedChangeAnsweredAtOldRate();
    void confirmedChangeOfTheLinkMovesThePc();
    void confirmedChangeWithoutReceiver();
    void confirmedChangeAnsweredAtEleventhPoll();
    void plainChangeSendsOneFrameOnly();
};

void TestPortOpening::readConfigurationValue()
{
    VirtualReceiver receiver(At(9600));
    CommsFrm::SerialPort().SetCommPort(1);
    CommsFrm::SerialPort().SetSettings(QStringLiteral("9600,N,8,1"));
    QVERIFY(CommsFrm::SerialPort().SetPortOpen(true));
    QCOMPARE(ReadConfiguration(), std::optional<float>(1000.0f));
    QCOMPARE(receiver.Frames(), QStringList{HexFrame(kRatePoll)});
}

void TestPortOpening::foundAtFirstRateWithOnePoll()
{
    VirtualReceiver receiver(At(4800));
    QVERIFY(FindBaudAndOpenPort());
    QCOMPARE(receiver.PcRate(), 4800);
    QVERIFY(CommsFrm::SerialPort().PortOpen());
    QCOMPARE(receiver.Frames(), QStringList{HexFrame(kRatePoll)});
    QCOMPARE(receiver.BytesByRate(), (RateRuns{{4800, kPoll}}));
}

void TestPortOpening::foundAtThirdRateAfterTwoRoundsOfPolls()
{
    VirtualReceiver receiver(At(9600));
    QVERIFY(FindBaudAndOpenPort());
    QCOMPARE(receiver.PcRate(), 9600);
    QCOMPARE(receiver.BytesByRate(), (RateRuns{{4800, 5 * kPoll}, {115200, 5 * kPoll}, {9600, kPoll}}));
    // Two silent rates: 0.2 s, five 5-second polls and four 0.5 s pauses each.
    QVERIFY(qAbs(receiver.Elapsed() - (2 * 27.2 + 0.2)) < 1.0);
}

void TestPortOpening::answerOnlyToFifthPollCounts()
{
    VirtualReceiver receiver(At(4800));
    VarnexSim::Faults faults;
    faults.answerPollsFrom = 5;
    receiver.SetFaults(faults);
    QVERIFY(FindBaudAndOpenPort());
    QCOMPARE(receiver.PcRate(), 4800);
    QCOMPARE(receiver.BytesByRate(), (RateRuns{{4800, 5 * kPoll}}));
}

void TestPortOpening::failedSearchTriesEveryRateOnceInOrder()
{
    VirtualReceiver receiver(At(9600));
    VarnexSim::Faults faults;
    faults.silent = true;
    receiver.SetFaults(faults);
    MessageRecorder messages;
    QVERIFY(!FindBaudAndOpenPort());
    RateRuns expected;
    for (qint32 rate : {4800, 115200, 9600, 57600, 2400, 14400, 19200, 28800, 38400})
        expected.append({rate, 5 * kPoll});
    QCOMPARE(receiver.BytesByRate(), expected);
    // About four minutes, and the port stays open at the last rate tried.
    QVERIFY(qAbs(receiver.Elapsed() - 9 * 27.2) < 2.0);
    QVERIFY(CommsFrm::SerialPort().PortOpen());
    QCOMPARE(receiver.PcRate(), 38400);
    QVERIFY(messages.texts.isEmpty());
}

void TestPortOpening::missingPortSendsNothing()
{
    VirtualReceiver receiver(At(9600));
    SelectedPort = 3;
    MessageRecorder messages;
    QVERIFY(!FindBaudAndOpenPort());
    QVERIFY(!OpenPortAtBaud(115200));
    QCOMPARE(messages.texts, QStringList({"Cannot open serial port", "Cannot open serial port"}));
    QVERIFY(receiver.BytesByRate().isEmpty());
    QVERIFY(!CommsFrm::SerialPort().PortOpen());
}

void TestPortOpening::openAtBaudCommandsFromEveryRateThenPolls()
{
    VirtualReceiver receiver(At(9600));
    QVERIFY(OpenPortAtBaud(115200));
    RateRuns expected;
    for (qint32 rate : {1200, 2400, 4800, 9600, 14400, 19200, 28800, 38400, 57600})
        expected.append({rate, 4 * kCfgPrt});
    expected.append({115200, 4 * kCfgPrt + kPoll});
    QCOMPARE(receiver.BytesByRate(), expected);
    // At 9600 the receiver hears ports 0 and 1; port 1 is its link, which then
    // moves, so the rest at 9600 is noise. At 115200 it hears all four and the poll.
    const QStringList prt = receiver.Frames(0x06, 0x00);
    QCOMPARE(prt.size(), 6);
    QCOMPARE(prt[1], HexFrame("B5 62 06 00 14 00 01 00 00 00 C0 08 00 00 00 C2 01 00 03 00 03 00 00 00 00 00 AC 5E"));
    QCOMPARE(receiver.Frames(0x06, 0x08).size(), 1);
    QCOMPARE(receiver.PcRate(), 115200);
    for (int port = 0; port < 4; ++port)
        QCOMPARE(receiver.Model().Running().ports[port].baud, 115200);
}

void TestPortOpening::openAtBaudWithoutReceiver()
{
    VirtualReceiver receiver(At(9600));
    VarnexSim::Faults faults;
    faults.silent = true;
    receiver.SetFaults(faults);
    QVERIFY(!OpenPortAtBaud(57600));
    QVERIFY(CommsFrm::SerialPort().PortOpen());
    QCOMPARE(receiver.PcRate(), 57600);
    // The blind commands end at 115200; then five unanswered polls at 57600.
    QCOMPARE(receiver.BytesByRate().mid(8), (RateRuns{{57600, 4 * kCfgPrt}, {115200, 4 * kCfgPrt}, {57600, 5 * kPoll}}));
}

namespace {
void OpenAt(qint32 rate)
{
    SerialControl& port = CommsFrm::SerialPort();
    port.SetCommPort(1);
    port.SetSettings(QStringLiteral("%1,N,8,1").arg(rate));
    QVERIFY(port.SetPortOpen(true));
}
} // namespace

void TestPortOpening::confirmedChangeAnsweredAtOldRate()
{
    VirtualReceiver receiver(At(115200));
    OpenAt(115200);
    QVERIFY(SetBaudRate(9600, BaudMode::Confirming, 2)); // not the link: it keeps answering
    QCOMPARE(receiver.PcRate(), 115200);
    QCOMPARE(receiver.Frames(0x06, 0x08).size(), 1);
    QCOMPARE(receiver.Model().Running().ports[2].baud, 9600);
}

void TestPortOpening::confirmedChangeOfTheLinkMovesThePc()
{
    VirtualReceiver receiver(At(115200));
    OpenAt(115200);
    QVERIFY(SetBaudRate(9600, BaudMode::Confirming, 1));
    QCOMPARE(receiver.PcRate(), 9600);
    QCOMPARE(receiver.Model().LinkBaud(), 9600);
    // The first poll, right behind the CFG-PRT at the old rate, is noise to
    // the receiver; one re-open cycle later the poll at 9600 is answered.
    QCOMPARE(receiver.BytesByRate(), (RateRuns{{115200, kCfgPrt + kPoll}, {9600, kPoll}}));
}

void TestPortOpening::confirmedChangeWithoutReceiver()
{
    VirtualReceiver receiver(At(115200));
    OpenAt(115200);
    VarnexSim::Faults faults;
    faults.silent = true;
    receiver.SetFaults(faults);
    QVERIFY(!SetBaudRate(4800, BaudMode::Confirming, 1));
    // Eleven polls, ten close/set/open cycles of 0.6 s, the PC left at the new rate.
    QCOMPARE(receiver.BytesByRate(), (RateRuns{{115200, kCfgPrt + kPoll}, {4800, 10 * kPoll}}));
    QVERIFY(qAbs(receiver.Elapsed() - (11 * 5.0 + 10 * 0.6)) < 0.1);
    QCOMPARE(receiver.PcRate(), 4800);
    QVERIFY(CommsFrm::SerialPort().PortOpen());
}

void TestPortOpening::confirmedChangeAnsweredAtEleventhPoll()
{
    VirtualReceiver receiver(At(115200));
    OpenAt(115200);
    VarnexSim::Faults faults;
    faults.answerPollsFrom = 11;
    receiver.SetFaults(faults);
    QVERIFY(SetBaudRate(115200, BaudMode::Confirming, 2));
    QCOMPARE(receiver.Frames(0x06, 0x08).size(), 11);
}

void TestPortOpening::plainChangeSendsOneFrameOnly()
{
    VirtualReceiver receiver(At(115200));
    OpenAt(115200);
    VarnexSim::Faults faults;
    faults.silent = true;
    receiver.SetFaults(faults);
    QVERIFY(SetBaudRate(9600, BaudMode::SendOnly, 3));
    QCOMPARE(receiver.BytesByRate(), (RateRuns{{115200, kCfgPrt}}));
    QVERIFY(receiver.Elapsed() < 0.1);
    QCOMPARE(receiver.PcRate(), 115200);
}

QTEST_MAIN(TestPortOpening)
#include "test_port_opening.moc"
