// The configuration commands and the reset against the simulated receiver in
// virtual time: results, progress texts, the rate read-back and the reset's
// frames. (Each command's literal frame is checked by the payload tests and,
// on a real line, by the real-line tests.)
#include "app/StartModule.h"
#include "harness/MessageRecorder.h"
#include "harness/VirtualReceiver.h"
#include "link/CommsFrm.h"
#include "receiver_config/VarnexCommsRoutines.h"
#include "support/Forms.h"

#include <QLabel>
#include <QStatusBar>
#include <QtTest>

using namespace VarnexCommsRoutines;

namespace {

VarnexSim::ModelOptions At115200()
{
    VarnexSim::ModelOptions options;
    options.startBaud = 115200;
    return options;
}

void OpenLink()
{
    SerialControl& port = CommsFrm::SerialPort();
    port.SetCommPort(1);
    port.SetSettings(QStringLiteral("115200,N,8,1"));
    QVERIFY(port.SetPortOpen(true));
}

} // namespace

class TestConfigCommands : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void cleanup() { CommsFrm::SerialPort().SetPortOpen(false); }
    void progressTextsWhileRunning();
    void unacknowledgedCommandFailsAfterTimeout();
    void updateRateMapping_data();
    void updateRateMapping();
    void updateRateWithoutReceiver();
    void resetSendsOneRateAndFourPasses();
    void resetStopsAtFirstUnacknowledged();
    void resetSendsNothingWhenPortFails();

private:
    std::unique_ptr<TempPortsFolder> folder_;
    std::unique_ptr<PtyPair> mainWindowPort_;
};

void TestConfigCommands::initTestCase()
{
    // The main window must be loaded for the progress texts to show.
    folder_ = std::make_unique<TempPortsFolder>();
    mainWindowPort_ = std::make_unique<PtyPair>();
    mainWindowPort_->MapAs(folder_->Path(), 1);
    StartModule::RegisterForms();
    QVERIFY(Forms::Load(QStringLiteral("CommSetup")));
}

void TestConfigCommands::cleanupTestCase()
{
    Forms::Unload(Forms::Find(QStringLiteral("CommSetup")));
    CommsFrm::Unload();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void TestConfigCommands::progressTextsWhileRunning()
{
    VirtualReceiver receiver(At115200());
    OpenLink();
    auto* panel = Forms::Find(QStringLiteral("CommSetup"))->findChild<QLabel*>(QStringLiteral("Panel1"));
    // The receiver never answers, so each command is still waiting (its text
    // showing) when the virtual clock moves; the text is read from inside the wait.
    VarnexSim::Faults faults;
    faults.silent = true;
    receiver.SetFaults(faults);
    QStringList seen;
    auto record = [&] { seen << panel->text(); };
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, record);
    probe.start(0);
    SetMessageRate(0xF0, 0x04, 1, 1);
    SetMessageRate(0xF0, 0x08, 0, 1);
    SetTimePulse(1000, 100);
    GetUpdateRate(0xF0, 0x04, 1);
    probe.stop();
    seen.removeDuplicates();
    QCOMPARE(seen, QStringList({"Setting 240004 port 1", "Clearing 240008 port 1", "Set Time Pulse=1000",
                                "Get Update Rate 240004"}));
    QCOMPARE(panel->text(), QString());
}

void TestConfigCommands::unacknowledgedCommandFailsAfterTimeout()
{
    VirtualReceiver receiver(At115200());
    OpenLink();
    VarnexSim::Faults faults;
    faults.nakFor.insert(VarnexSim::Key(0x06, 0x07));
    receiver.SetFaults(faults);
    QVERIFY(!SetTimePulse(200, 50));
    QVERIFY(qAbs(receiver.Elapsed() - 5.0) < 0.01);
    QVERIFY(SetDynamicNavigationParameters());
}

void TestConfigCommands::updateRateMapping_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<OutputRate>("result");
    QTest::addColumn<bool>("clears");
    // The receiver reports rates 00 05 01 03 on ports 0..3.
    QTest::newRow("rate 0 on port 0 is off") << 0 << OutputRate::Off << false;
    QTest::newRow("rate 5 on port 1 is 1Hz") << 1 << OutputRate::EveryFifthSolution << false;
    QTest::newRow("rate 1 on port 2 is 5Hz") << 2 << OutputRate::EverySolution << false;
    QTest::newRow("rate 3 on port 3 is cleared") << 3 << OutputRate::Off << true;
}

void TestConfigCommands::updateRateMapping()
{
    QFETCH(int, port);
    QFETCH(OutputRate, result);
    QFETCH(bool, clears);
    VirtualReceiver receiver(At115200());
    VarnexSim::ReceiverConfig config = receiver.Model().Running();
    const std::uint8_t rates[] = {0, 5, 1, 3};
    for (int p = 0; p < 4; ++p)
        config.SetRate(VarnexSim::Key(0xF0, 0x04), p, rates[p]);
    receiver.Model().SetRunning(config);
    OpenLink();
    QCOMPARE(GetUpdateRate(0xF0, 0x04, port), result);
    QStringList expected{HexFrame("B5 62 06 01 02 00 F0 04 FD 15")};
    if (clears)
        expected << HexFrame("B5 62 06 01 06 00 F0 04 00 00 00 00 01 29");
    QCOMPARE(receiver.Frames(), expected);
}

void TestConfigCommands::updateRateWithoutReceiver()
{
    VirtualReceiver receiver(At115200());
    OpenLink();
    VarnexSim::Faults faults;
    faults.silent = true;
    receiver.SetFaults(faults);
    QCOMPARE(GetUpdateRate(0xF0, 0x04, 1), OutputRate::NoReply);
    QVERIFY(qAbs(receiver.Elapsed() - 5.0) < 0.01);
    QCOMPARE(receiver.BytesByRate().size(), 1);
    QCOMPARE(receiver.BytesByRate().first().second, 10); // the poll and nothing else
}

void TestConfigCommands::resetSendsOneRateAndFourPasses()
{
    VirtualReceiver receiver(At115200());
    QVERIFY(ResetToKnownState());
    const QStringList rate = receiver.Frames(0x06, 0x08);
    QVERIFY(rate.contains(HexFrame("B5 62 06 08 06 00 E8 03 01 00 00 00 00 37")));
    const QStringList msg = receiver.Frames(0x06, 0x01);
    QCOMPARE(msg.size(), 152);
    for (int pass = 0; pass < 4; ++pass) {
        QCOMPARE(msg[pass * 38], HexFrame("B5 62 06 01 06 00 01 01 00 00 00 00 0F 80"));
        QCOMPARE(msg[pass * 38 + 25], HexFrame("B5 62 06 01 06 00 F0 00 00 00 00 00 FD 15"));
        QCOMPARE(msg[pass * 38 + 37], HexFrame("B5 62 06 01 06 00 F1 04 00 00 00 00 02 2F"));
        QCOMPARE(msg.mid(pass * 38, 38), msg.mid(0, 38));
    }
    // After the opening's frames: exactly one CFG-RATE set, then the 152 CFG-MSG.
    const QStringList all = receiver.Frames();
    const qsizetype firstSet = all.indexOf(HexFrame("B5 62 06 08 06 00 E8 03 01 00 00 00 00 37"));
    QCOMPARE(all.mid(firstSet + 1), msg);
    QCOMPARE(receiver.Model().Running().measRateMs, 1000);
}

void TestConfigCommands::resetStopsAtFirstUnacknowledged()
{
    VirtualReceiver receiver(At115200());
    VarnexSim::Faults faults;
    faults.neverAck.insert(VarnexSim::Key(0x06, 0x01)); // armed after the 25th below
    QVERIFY(OpenPortAtBaud(115200));
    QVERIFY(WriteConfiguration(1000.0f, 1));
    // Acknowledge the first 25 pairs, then stop acknowledging at pair 26.
    for (int i = 0; i < 25; ++i)
        QVERIFY(SetMessageRate(0x01, 0x01, 0, 0));
    receiver.SetFaults(faults);
    const qsizetype before = receiver.BytesByRate().last().second;
    QVERIFY(!ResetAllMessages(0));
    // One frame went out for the first pair and no more.
    QCOMPARE(receiver.BytesByRate().last().second - before, 14);
}

void TestConfigCommands::resetSendsNothingWhenPortFails()
{
    VirtualReceiver receiver(At115200());
    VarnexSim::Faults faults;
    faults.silent = true;
    receiver.SetFaults(faults);
    QVERIFY(!ResetToKnownState());
    QCOMPARE(receiver.Frames(0x06, 0x01).size(), 0);
    const auto runs = receiver.BytesByRate();
    // Only the opening's CFG-PRT frames and polls went out.
    QCOMPARE(runs.last().second, 4 * 28 + 5 * 8);
}

QTEST_MAIN(TestConfigCommands)
#include "test_config_commands.moc"
