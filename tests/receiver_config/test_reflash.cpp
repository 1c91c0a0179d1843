// The reflash with a stand-in for the flashing program that really runs (for
// a moment) from an application folder whose name holds a blank and shell
// characters: in virtual time, where the clock is moved on by the length of
// run a row asks for once the stand-in has ended; and once on a real line,
// where the stand-in checks that the port is free for it.
#include "app/CommSetup.h"
#include "app/StartModule.h"
#include "harness/MainWindowDriver.h"
#include "harness/MessageRecorder.h"
#include "harness/PtySim.h"
#include "harness/VirtualReceiver.h"
#include "link/CommsFrm.h"
#include "link/SelectedPort.h"
#include "receiver_config/FlashProgram.h"
#include "receiver_config/VarnexCommsRoutines.h"
#include "support/Forms.h"

#include <QPushButton>
#include <QSerialPort>
#include <QtTest>

namespace {
const QString kTooShort = QStringLiteral("The reflash failed, please cycle the power and try again");
const QString kTooLong = QStringLiteral("The reflash may have failed, please cycle the power and try again");
const QString kCannotStart = QStringLiteral("The GPS reflash failed");
const QString kNoPort = QStringLiteral("Failed to open port");
const QStringList kArguments{"-f", "gps.bin", "-p", "com12", "-l", "gps.ldr"};

// Records its arguments and working folder, asks the port probe (when
// $REFLASH_PORT_PROBE is set) whether its "-p" port is free, and marks its end.
class StandInFlasher {
public:
    enum class Kind { Runs, Missing, NotExecutable };
    explicit StandInFlasher(Kind kind = Kind::Runs) : folder_(base_.filePath(QStringLiteral("app dir $(touch pwned); x")))
    {
        QDir().mkpath(folder_);
        FlashProgram::SetApplicationFolderForTesting(folder_);
        if (kind == Kind::Missing)
            return;
        QFile script(File("gpsflash"));
        script.open(QIODevice::WriteOnly);
        script.write("#!/bin/sh\nhere=$(dirname -- \"$0\")\nprintf '%s\\n' \"$@\" > \"$here/args\"\n"
                     "pwd -P > \"$here/cwd\"\n"
                     "[ -z \"$REFLASH_PORT_PROBE\" ] || \"$REFLASH_PORT_PROBE\" \"$VARNEXCONFIG_PORTS/$4\" > \"$here/port\"\n"
                     "sleep 0.2\n: > \"$here/ended\"\n");
        script.close();
        if (kind == Kind::Runs)
            script.setPermissions(script.permissions() | QFileDevice::ExeOwner);
    }
    ~StandInFlasher() { FlashProgram::SetApplicationFolderForTesting({}); }
    QString File(const char* name) const { return QDir(folder_).filePath(QString::fromLatin1(name)); }
    QStringList Lines(const char* name) const
    {
        QFile file(File(name));
        file.open(QIODevice::ReadOnly);
        return QString::fromLocal8Bit(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
    }
    QTemporaryDir base_;
    QString folder_;
};
} // namespace

class TestReflash : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { StartModule::RegisterForms(); }
    void cleanup() { MainWindowDriver::UnloadAll(); }

    // run: seconds the flash "took" (< 0: the receiver is silent); perReading:
    // more time passing with each later reading of the clock.
    void reflash_data()
    {
        QTest::addColumn<StandInFlasher::Kind>("kind");
        QTest::addColumn<int>("selected");
        QTest::addColumn<double>("run");
        QTest::addColumn<double>("perReading");
        QTest::addColumn<bool>("result");
        QTest::addColumn<QStringList>("messages");
        const auto runs = StandInFlasher::Kind::Runs;
        QTest::newRow("19.9 s") << runs << 12 << 19.9 << 0.0 << false << QStringList{kTooShort};
        QTest::newRow("20.0 s") << runs << 12 << 20.0 << 0.0 << true << QStringList{};
        QTest::newRow("60.0 s") << runs << 12 << 60.0 << 0.0 << true << QStringList{};
        QTest::newRow("61 s") << runs << 12 << 61.0 << 0.0 << false << QStringList{kTooLong};
        // The upper bound is judged on a fresh reading of the clock.
        QTest::newRow("60 s passed between readings") << runs << 12 << 59.99 << 0.02 << false << QStringList{kTooLong};
        QTest::newRow("program missing") << StandInFlasher::Kind::Missing << 12 << 30.0 << 0.0 << false
                                         << QStringList{kCannotStart};
        QTest::newRow("program not executable") << StandInFlasher::Kind::NotExecutable << 12 << 30.0 << 0.0 << false
                                                << QStringList{kCannotStart};
        QTest::newRow("silent receiver") << runs << 12 << -1.0 << 0.0 << false << QStringList{kNoPort};
        QTest::newRow("port missing") << runs << 3 << -1.0 << 0.0 << false
                                      << QStringList{"Cannot open serial port", kNoPort};
    }
    void reflash()
    {
        QFETCH(StandInFlasher::Kind, kind);
        QFETCH(int, selected);
        QFETCH(double, run);
        QFETCH(double, perReading);
        StandInFlasher flasher(kind);
        VirtualReceiver receiver({.faults = {.silent = run < 0}}, 12);
        int readings = 0;
        receiver.ShiftClock([&] { return QFile::exists(flasher.File("ended")) ? run + perReading * readings++ : 0.0; });
        SelectedPort = selected;
        MessageRecorder recorder;
        QTEST(VarnexCommsRoutines::ReflashGps(selected), "result");
        QTEST(recorder.texts, "messages");
        QCOMPARE(flasher.Lines("args"), kind == StandInFlasher::Kind::Runs && run >= 0 ? kArguments : QStringList{});
        QVERIFY(!CommsFrm::SerialPort().PortOpen());
        if (run >= 0)
            QCOMPARE(receiver.Model().LinkBaud(), 57600);
    }

    // The buttons stay disabled, so the handler is called as a click would;
    // only a good run is followed by the reminder to set the device up again.
    void buttonMessageFollowsOnlyGoodRun()
    {
        StandInFlasher flasher;
        VirtualReceiver receiver({}, 3);
        receiver.ShiftClock([&] { return QFile::exists(flasher.File("ended")) ? 30.0 : 0.0; });
        MessageRecorder recorder;
        CommSetup* window = CommSetup::Load();
        QVERIFY(window);
        for (QPushButton* button : window->findChildren<QPushButton*>(QStringLiteral("ReflashBtn")))
            QVERIFY(!button->isEnabled());
        window->ReflashBtn_Click(2);
        QCOMPARE(recorder.texts, QStringList{"The configuration will have been reset, please set it up for the device"});
        QCOMPARE(flasher.Lines("args").value(3), QStringLiteral("com3"));
    }

    // On a real line: the program starts without a shell from its own folder,
    // and the port is free for it while it runs and afterwards.
    void programFindsThePortFree()
    {
        PtySim sim(12, {.startBaud = 57600}); // at the flashing program's rate
        QVERIFY2(sim.IsValid(), qPrintable(sim.Error()));
        StandInFlasher flasher;
        qputenv("REFLASH_PORT_PROBE", REFLASH_PORT_PROBE_EXE);
        SelectedPort = 12;
        MessageRecorder messages;
        QVERIFY(!VarnexCommsRoutines::ReflashGps(12)); // a run of a moment is far too short
        qunsetenv("REFLASH_PORT_PROBE");
        QCOMPARE(messages.texts, QStringList{kTooShort});
        QCOMPARE(flasher.Lines("args"), kArguments);
        QCOMPARE(flasher.Lines("cwd").value(0), QFileInfo(flasher.folder_).canonicalFilePath());
        for (const QString& where : {flasher.folder_, flasher.base_.path(), QDir::currentPath()})
            QVERIFY2(!QFile::exists(QDir(where).filePath("pwned")), "the folder name ran as a command");
        QCOMPARE(flasher.Lines("port").value(0), QStringLiteral("free"));
        QSerialPort after(sim.DevicePath());
        QVERIFY2(after.open(QIODevice::ReadWrite), qPrintable(after.errorString()));
    }
};

QTEST_MAIN(TestReflash)
#include "test_reflash.moc"
