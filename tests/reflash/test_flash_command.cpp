// The flashing program's command, and a run of a stand-in for it against the
// receiver simulator on a real pseudo-terminal: the program file and its six
// arguments come from the application's folder whatever that folder is
// called, nothing in the name runs as a command, and the serial port is free
// for the program while it runs and afterwards.
#include "StandInFlasher.h"
#include "harness/MessageRecorder.h"
#include "harness/PtySim.h"
#include "link/CommsFrm.h"
#include "link/SelectedPort.h"
#include "receiver_config/FlashProgram.h"
#include "receiver_config/VarnexCommsRoutines.h"

#include <QProcess>
#include <QScopeGuard>
#include <QSerialPort>
#include <QtTest>

namespace {

QString Probe(const QString& port)
{
    QProcess probe;
    probe.start(QStringLiteral(REFLASH_PORT_PROBE_EXE), {port});
    probe.waitForFinished(10000);
    return QString::fromLocal8Bit(probe.readAllStandardOutput()).trimmed();
}

} // namespace

class TestFlashCommand : public QObject {
    Q_OBJECT
private slots:
    void commandForPort();
    void standInRunsFromItsFolderWithThePortFree();
};

void TestFlashCommand::commandForPort()
{
    const QStringList expected = {"-f", "gps.bin", "-p", "com12", "-l", "gps.ldr"};
    QCOMPARE(FlashProgram::Arguments(12), expected);
    // The one-text form, unquoted, as Windows gets it.
    const QString folder = QDir::toNativeSeparators(QStringLiteral("/opt/varnex"));
    QCOMPARE(FlashProgram::CommandLine(folder, 3),
             QDir::toNativeSeparators(QStringLiteral("/opt/varnex/gpsflash")) + " -f gps.bin -p com3 -l gps.ldr");
}

void TestFlashCommand::standInRunsFromItsFolderWithThePortFree()
{
    // The receiver already listens at the flashing rate: this test is about
    // the program's start, not the rate change before it.
    VarnexSim::ModelOptions atFlashingRate;
    atFlashingRate.startBaud = 57600;
    PtySim sim(12, atFlashingRate);
    QVERIFY2(sim.IsValid(), qPrintable(sim.Error()));
    StandInFlasher flasher;
    qputenv("REFLASH_PORT_PROBE", REFLASH_PORT_PROBE_EXE);
    const auto restore = qScopeGuard([] {
        qunsetenv("REFLASH_PORT_PROBE");
        CommsFrm::Unload();
    });
    {
        // The probe tells a port held by this program from a free one.
        QSerialPort held(sim.DevicePath());
        QVERIFY(held.open(QIODevice::ReadWrite));
        QVERIFY2(Probe(sim.DevicePath()).startsWith("busy"), "the probe cannot see a held port");
    }

    SelectedPort = 12;
    MessageRecorder messages;
    // A run of a moment is far too short for a flash.
    QVERIFY(!VarnexCommsRoutines::ReflashGps(12));
    QCOMPARE(messages.texts, QStringList{"The reflash failed, please cycle the power and try again"});

    QCOMPARE(flasher.Arguments(), (QStringList{"-f", "gps.bin", "-p", "com12", "-l", "gps.ldr"}));
    QCOMPARE(flasher.WorkingFolder(), QFileInfo(flasher.Folder()).canonicalFilePath());
    for (const QString& where : {flasher.Folder(), flasher.BaseFolder(), QDir::currentPath()})
        QVERIFY2(!QFile::exists(QDir(where).filePath("pwned")), "the folder name ran as a command");
    QCOMPARE(flasher.PortProbe(), QStringLiteral("free"));

    QVERIFY(!CommsFrm::SerialPort().PortOpen());
    QSerialPort after(sim.DevicePath());
    QVERIFY2(after.open(QIODevice::ReadWrite), qPrintable(after.errorString()));
}

QTEST_MAIN(TestFlashCommand)
#include "test_flash_command.moc"
