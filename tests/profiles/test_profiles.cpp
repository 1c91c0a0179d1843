// The device profiles' failure paths in virtual time against the simulated
// receiver: which message ends each, what was sent, and that nothing reached
// flash. (Successful runs are driven from the main window's buttons.)
#include "harness/GoldenFrames.h"
#include "harness/MessageRecorder.h"
#include "harness/VirtualReceiver.h"
#include "link/CommsFrm.h"
#include "profiles/SetupOutputs.h"

#include <QtTest>

using namespace SetupOutputs;

namespace {

const Profile& ByName(const QString& name)
{
    const Profile* p = FindProfile(name);
    if (!p)
        qFatal("no profile %s", qPrintable(name));
    return *p;
}

VarnexSim::ModelOptions Factory()
{
    return {}; // link port 1 at 9600 bit/s, the factory's NMEA output
}

const QString kVarnexConnect = QStringLiteral("Failed to connect to the Varnex module, please check it is connected correctly");
const QString kGpsConnect = QStringLiteral("Failed to connect to the GPS module, please check it is connected correctly");
const QString kParameter = QStringLiteral("Failed to set Varnex parameter please check it is connected correctly");
const QString kBaud = QStringLiteral("Failed to set Varnex baud rate correctly please check it is connected correctly");
const QString kFlash = QStringLiteral("Failed to write Varnex to flash memory please check it is connected correctly");

void AddDeviceRows()
{
    QTest::addColumn<QString>("device");
    for (const char* d : {"Sculla", "Pemmet", "Molvane", "Garnock", "Trissel"})
        QTest::newRow(d) << QString::fromLatin1(d);
}

} // namespace

class TestProfiles : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { CommsFrm::SerialPort().SetPortOpen(false); }
    void noReceiver_data() { AddDeviceRows(); }
    void noReceiver();
    void timePulseRefused();
    void baudChangeUnanswered();
    void flashRefused();
};

void TestProfiles::noReceiver()
{
    QFETCH(QString, device);
    VirtualReceiver receiver(Factory());
    VarnexSim::Faults faults;
    faults.silent = true;
    receiver.SetFaults(faults);
    const VarnexSim::ReceiverConfig flash = receiver.Model().FlashConfig();
    MessageRecorder messages;
    QVERIFY(!RunProfile(ByName(device)));
    QCOMPARE(messages.texts, QStringList{device == QStringLiteral("Trissel") ? kGpsConnect : kVarnexConnect});
    QVERIFY(receiver.Model().FlashConfig() == flash);
}

void TestProfiles::timePulseRefused()
{
    VirtualReceiver receiver(Factory());
    VarnexSim::Faults faults;
    faults.neverAck.insert(VarnexSim::Key(0x06, 0x07));
    receiver.SetFaults(faults);
    const VarnexSim::ReceiverConfig flash = receiver.Model().FlashConfig();
    MessageRecorder messages;
    QVERIFY(!RunProfile(ByName(QStringLiteral("Molvane"))));
    QCOMPARE(messages.texts, QStringList{kParameter});
    // CFG-RATE and CFG-NAV acknowledged, CFG-TP sent and never answered, nothing after it.
    const QStringList after = FramesAfterReset(receiver.Frames());
    QCOMPARE(after, GoldenProfileFrames(QStringLiteral("Molvane")).mid(0, 3));
    QVERIFY(receiver.Model().FlashConfig() == flash);
}

void TestProfiles::baudChangeUnanswered()
{
    // Find where the first confirmed baud change of a good run goes out, then
    // make the receiver fall silent from exactly that frame on.
    int prtIndex = 0;
    {
        VirtualReceiver receiver(Factory());
        MessageRecorder messages;
        QVERIFY(RunProfile(ByName(QStringLiteral("Molvane"))));
        const QStringList frames = receiver.Frames();
        // The ninth frame after the reset is the first baud change.
        prtIndex = int(frames.size() - FramesAfterReset(frames).size()) + 8;
        QCOMPARE(frames[prtIndex], GoldenProfileFrames(QStringLiteral("Molvane"))[8]);
        QVERIFY(prtIndex > 0);
    }
    VirtualReceiver receiver(Factory());
    VarnexSim::Faults faults;
    faults.silentFromFrame = prtIndex + 1;
    receiver.SetFaults(faults);
    const VarnexSim::ReceiverConfig flash = receiver.Model().FlashConfig();
    MessageRecorder messages;
    QVERIFY(!RunProfile(ByName(QStringLiteral("Molvane"))));
    QCOMPARE(messages.texts, QStringList{kBaud});
    QVERIFY(!receiver.Frames().contains(QStringLiteral("B56206090C0000000000FFFF00000000000019" "80")));
    QVERIFY(receiver.Model().FlashConfig() == flash);
}

void TestProfiles::flashRefused()
{
    VirtualReceiver receiver(Factory());
    VarnexSim::Faults faults;
    faults.nakFor.insert(VarnexSim::Key(0x06, 0x09));
    receiver.SetFaults(faults);
    const VarnexSim::ReceiverConfig flash = receiver.Model().FlashConfig();
    MessageRecorder messages;
    QVERIFY(!RunProfile(ByName(QStringLiteral("Pemmet"))));
    QCOMPARE(messages.texts, QStringList{kFlash});
    QVERIFY(receiver.Model().FlashConfig() == flash);
}

QTEST_MAIN(TestProfiles)
#include "test_profiles.moc"
