// The configuration commands, the rate read-back and the reset against the
// simulated receiver in virtual time: results, progress texts and frames.
#include "harness/MainWindowDriver.h"
#include "harness/VirtualReceiver.h"
#include "link/CommsFrm.h"
#include "receiver_config/VarnexCommsRoutines.h"

#include <QLabel>
#include <QtTest>

using namespace VarnexCommsRoutines;

namespace {
VarnexSim::ModelOptions At115200(bool silent = false) { return {.startBaud = 115200, .faults = {.silent = silent}}; }

void OpenLink()
{
    SerialControl& port = CommsFrm::SerialPort();
    port.SetCommPort(1);
    port.SetSettings(QStringLiteral("115200,N,8,1"));
    QVERIFY(port.SetPortOpen(true));
}

const QString kMsgPoll = HexFrame("B5 62 06 01 02 00 F0 04 FD 15");
} // namespace

class TestConfigCommands : public QObject {
    Q_OBJECT
private slots:
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
