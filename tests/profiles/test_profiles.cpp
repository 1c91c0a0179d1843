// The device profiles. Their failures in virtual time, the receiver falling
// silent at a chosen frame: the message that ends each run, what was sent, and
// that nothing reached flash. And one whole run on a real line, Garnock's, with
// its two moves of the link: what the real line adds to the virtual-time runs.
#include "harness/GoldenFrames.h"
#include "harness/MessageRecorder.h"
#include "harness/PtySim.h"
#include "harness/VirtualReceiver.h"
#include "link/CommsFrm.h"
#include "link/SelectedPort.h"
#include "profiles/SetupOutputs.h"

#include <QElapsedTimer>
#include <QtTest>

using namespace SetupOutputs;

namespace {
const QString kVarnexConnect = QStringLiteral("Failed to connect to the Varnex module, please check it is connected correctly");
bool IsRateSet(const QString& frame) { return frame.startsWith(u"B56206080600"); }
} // namespace

class TestProfiles : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { CommsFrm::SerialPort().SetPortOpen(false); }

    // silentFrom: the frame (hex) from which on the receiver answers and
    // applies nothing, "*" for from the start. When the reset did not
    // complete, cfgMsg is how many CFG-MSG went out; else afterReset is every
    // frame after it. seconds: from the silence to the end (< 0 not checked).
    void failures_data()
    {
        QTest::addColumn<QString>("device");
        QTest::addColumn<QString>("silentFrom");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("cfgMsg");
        QTest::addColumn<QStringList>("afterReset");
        QTest::addColumn<double>("seconds");
        for (const Profile& p : Profiles())
            QTest::addRow("%s: no receiver", p.name) << p.name << "*" << p.connectFailure << 0 << QStringList{} << -1.0;
        QTest::newRow("reset refused at message 26") << "Sculla" << HexFrame("B5 62 06 01 06 00 F0 00 00 00 00 00 FD 15")
                                                     << kVarnexConnect << 26 << QStringList{} << 5.0;
        const QStringList molvane = GoldenProfileFrames("Molvane");
        QTest::newRow("time pulse refused") << "Molvane" << molvane[2]
            << "Failed to set Varnex parameter please check it is connected correctly" << 0 << molvane.mid(0, 3) << 5.0;
        QTest::newRow("first baud change unanswered") << "Molvane" << molvane[8]
            << "Failed to set Varnex baud rate correctly please check it is connected correctly" << 0
            << molvane.mid(0, 10) << 11 * 5.0 + 10 * 0.6;
        QTest::newRow("save refused") << "Pemmet" << GoldenProfileFrames("Pemmet").last()
            << "Failed to write Varnex to flash memory please check it is connected correctly" << 0
            << GoldenProfileFrames("Pemmet") << 5.0;
    }
    void failures()
    {
        QFETCH(QString, silentFrom);
        QFETCH(int, cfgMsg);
        QFETCH(double, seconds);
        VirtualReceiver receiver;
        const VarnexSim::ReceiverConfig flash = receiver.Model().FlashConfig();
        const VarnexSim::Faults silent{.silent = true};
        double silentAt = 0;
        if (silentFrom == u"*")
            receiver.SetFaults(silent);
        receiver.OnWrite([&](const QByteArray&) {
            if (silentAt == 0 && receiver.Written().toHex().toUpper().endsWith(silentFrom.toLatin1())) {
                receiver.SetFaults(silent);
                silentAt = receiver.Elapsed();
            }
        });
        QFETCH(QString, device);
        MessageRecorder messages;
        QVERIFY(!RunProfile(*FindProfile(device)));
        QTEST(messages.texts.join(u'\n'), "message");
        const QStringList frames = receiver.Frames();
        QTEST(FramesAfterReset(frames), "afterReset");
        if (cfgMsg > 0 || silentFrom == u"*") {
            QCOMPARE(receiver.Frames(0x06, 0x01).size(), cfgMsg);
            QCOMPARE(int(std::count_if(frames.begin(), frames.end(), IsRateSet)), cfgMsg > 0 ? 1 : 0);
        }
        if (seconds >= 0)
            QVERIFY2(qAbs(receiver.Elapsed() - silentAt - seconds) < 0.05, qPrintable(QString::number(receiver.Elapsed() - silentAt)));
        QVERIFY(receiver.Model().FlashConfig() == flash);
    }

    // From 1200 bit/s, where only a drained line carries the blind CFG-PRTs
    // whole; every acknowledgement ends its wait on arrival.
    void garnockOnRealLine()
    {
        PtySim sim(1, {.startBaud = 1200});
        QVERIFY2(sim.IsValid(), qPrintable(sim.Error()));
        SelectedPort = 1;
        MessageRecorder messages;
        QElapsedTimer timer;
        timer.start();
        QVERIFY(RunProfile(*FindProfile("Garnock")));
        QVERIFY2(timer.elapsed() < 60000, "waits ran to their limit instead of ending on the reply");
        QCOMPARE(messages.texts, QStringList{"Configured for use with the Garnock"});
        QCOMPARE(FramesAfterReset(sim.FramesFromPc()), GoldenProfileFrames("Garnock"));
        QList<QPair<qint32, int>> blind; // CFG-PRT frames heard whole, and at which rate
        for (const auto& e : sim.Transcript())
            if (e.IsFrameFromPc() && e.cls == 0x06 && e.id == 0x00 && blind.size() < 6)
                blind.append({e.pcBaud, int(quint8(e.bytes[6]))});
        QCOMPARE(blind, (QList<QPair<qint32, int>>{{1200, 0}, {1200, 1}, {115200, 0}, {115200, 1}, {115200, 2}, {115200, 3}}));
        QVERIFY(sim.Sim().WithModel([](VarnexSim::ReceiverModel& m) { return m.FlashConfig() == m.Running(); }));
        QCOMPARE(sim.Running().ports[1].baud, 4800);
    }
};

QTEST_MAIN(TestProfiles)
#include "test_profiles.moc"
