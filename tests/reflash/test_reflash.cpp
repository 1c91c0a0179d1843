// The reflash in virtual time: the receiver is the simulator model behind the
// serial control, the flashing program a stand-in that really runs (for a
// moment), and the program's clock shows how long the flash "took".
#include "StandInFlasher.h"
#include "app/CommSetup.h"
#include "app/StartModule.h"
#include "harness/MessageRecorder.h"
#include "harness/PtyPair.h"
#include "harness/SimDevice.h"
#include "link/CommsFrm.h"
#include "link/PortNames.h"
#include "link/SelectedPort.h"
#include "receiver_config/VarnexCommsRoutines.h"
#include "support/Forms.h"

#include <QPushButton>
#include <QtTest>

namespace {

const QString kTooShort = QStringLiteral("The reflash failed, please cycle the power and try again");
const QString kTooLong = QStringLiteral("The reflash may have failed, please cycle the power and try again");
const QString kCannotStart = QStringLiteral("The GPS reflash failed");
const QString kReset = QStringLiteral("The configuration will have been reset, please set it up for the device");

// The program's clock for one reflash. Until the stand-in has ended it is a
// virtual clock that the port opening's pauses and waits move on; once the
// stand-in has left its end marker, every reading is `runSeconds` later, plus
// `perReading` more for each reading after the first, as if the flash had
// taken that long. Code that read the clock before the program ended would
// see no run at all.
class FlashRunClock final : public Clock::Source {
public:
    FlashRunClock(QString endMarker, double runSeconds, double perReading = 0)
        : endMarker_(std::move(endMarker)), run_(runSeconds), perReading_(perReading)
    {
    }
    double Now() override
    {
        if (!QFile::exists(endMarker_))
            return virtual_.Now();
        return virtual_.Now() + run_ + perReading_ * readingsAfterEnd_++;
    }
    void Sleep(double seconds) override { virtual_.Sleep(seconds); }

private:
    Clock::VirtualClock virtual_;
    QString endMarker_;
    double run_;
    double perReading_;
    int readingsAfterEnd_ = 0;
};

// The simulated receiver wired to PC port `com` of a fresh ports folder.
struct SimReceiver {
    explicit SimReceiver(int com, const VarnexSim::Faults& faults = {})
    {
        VarnexSim::ModelOptions options;
        options.faults = faults;
        model = std::make_shared<VarnexSim::ReceiverModel>(options, Clock::Now());
        SerialControl::SetDeviceFactory(MakeSimDeviceFactory(model, PortNames::PathFor(com)));
    }
    ~SimReceiver()
    {
        if (QWidget* window = Forms::Find(QStringLiteral("CommSetup")))
            Forms::Unload(window);
        CommsFrm::Unload();
        SerialControl::SetDeviceFactory({});
    }
    TempPortsFolder ports;
    std::shared_ptr<VarnexSim::ReceiverModel> model;
};

} // namespace

class TestReflash : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { StartModule::RegisterForms(); }
    void judgedByRunLength_data();
    void judgedByRunLength();
    void programThatCannotStart_data();
    void programThatCannotStart();
    void noReceiver_data();
    void noReceiver();
    void buttonMessageFollowsOnlyGoodRun_data();
    void buttonMessageFollowsOnlyGoodRun();
};

void TestReflash::judgedByRunLength_data()
{
    QTest::addColumn<double>("run");
    QTest::addColumn<double>("perReading");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QStringList>("messages");
    QTest::newRow("ends at once") << 0.0 << 0.0 << false << QStringList{kTooShort};
    QTest::newRow("19.9 s") << 19.9 << 0.0 << false << QStringList{kTooShort};
    QTest::newRow("20.1 s") << 20.1 << 0.0 << true << QStringList{};
    QTest::newRow("30 s") << 30.0 << 0.0 << true << QStringList{};
    QTest::newRow("59.9 s") << 59.9 << 0.0 << true << QStringList{};
    QTest::newRow("61 s") << 61.0 << 0.0 << false << QStringList{kTooLong};
    // The upper bound is judged on a fresh reading of the clock.
    QTest::newRow("60 s passed between readings") << 59.99 << 0.02 << false << QStringList{kTooLong};
}

void TestReflash::judgedByRunLength()
{
    QFETCH(double, run);
    QFETCH(double, perReading);
    QFETCH(bool, result);
    QFETCH(QStringList, messages);
    StandInFlasher flasher;
    FlashRunClock clock(flasher.EndMarker(), run, perReading);
    Clock::ScopedClock scoped(&clock);
    SimReceiver receiver(12);
    SelectedPort = 12;
    MessageRecorder recorder;

    QCOMPARE(VarnexCommsRoutines::ReflashGps(12), result);
    QCOMPARE(recorder.texts, messages);
    QVERIFY(flasher.Ran());
    QCOMPARE(receiver.model->LinkBaud(), 57600);
    QVERIFY(!CommsFrm::SerialPort().PortOpen());
}

void TestReflash::programThatCannotStart_data()
{
    QTest::addColumn<StandInFlasher::Kind>("kind");
    QTest::newRow("missing") << StandInFlasher::Kind::Missing;
    QTest::newRow("not executable") << StandInFlasher::Kind::NotExecutable;
}

void TestReflash::programThatCannotStart()
{
    QFETCH(StandInFlasher::Kind, kind);
    StandInFlasher flasher(kind);
    FlashRunClock clock(flasher.EndMarker(), 30);
    Clock::ScopedClock scoped(&clock);
    SimReceiver receiver(12);
    SelectedPort = 12;
    MessageRecorder recorder;

    QVERIFY(!VarnexCommsRoutines::ReflashGps(12));
    QCOMPARE(recorder.texts, QStringList{kCannotStart});
    QVERIFY(!CommsFrm::SerialPort().PortOpen());
}

void TestReflash::noReceiver_data()
{
    QTest::addColumn<int>("selected");
    QTest::addColumn<QStringList>("messages");
    // The port opens but nothing answers there.
    QTest::newRow("silent receiver") << 12 << QStringList{"Failed to open port"};
    QTest::newRow("port missing") << 3 << QStringList{"Cannot open serial port", "Failed to open port"};
}

void TestReflash::noReceiver()
{
    QFETCH(int, selected);
    QFETCH(QStringList, messages);
    StandInFlasher flasher;
    FlashRunClock clock(flasher.EndMarker(), 30);
    Clock::ScopedClock scoped(&clock);
    VarnexSim::Faults silent;
    silent.silent = true;
    SimReceiver receiver(12, silent);
    SelectedPort = selected;
    MessageRecorder recorder;

    QVERIFY(!VarnexCommsRoutines::ReflashGps(selected));
    QCOMPARE(recorder.texts, messages);
    QVERIFY(!flasher.Ran());
    QVERIFY(!CommsFrm::SerialPort().PortOpen());
}

void TestReflash::buttonMessageFollowsOnlyGoodRun_data()
{
    QTest::addColumn<double>("run");
    QTest::addColumn<QStringList>("messages");
    QTest::newRow("good run") << 30.0 << QStringList{kReset};
    QTest::newRow("too short") << 0.0 << QStringList{kTooShort};
}

void TestReflash::buttonMessageFollowsOnlyGoodRun()
{
    QFETCH(double, run);
    QFETCH(QStringList, messages);
    StandInFlasher flasher;
    FlashRunClock clock(flasher.EndMarker(), run);
    Clock::ScopedClock scoped(&clock);
    SimReceiver receiver(3);
    MessageRecorder recorder;
    CommSetup* window = CommSetup::Load();
    QVERIFY(window);

    // The buttons stay disabled, so the handler is called as a click would.
    for (QPushButton* button : window->findChildren<QPushButton*>(QStringLiteral("ReflashBtn")))
        QVERIFY(!button->isEnabled());
    window->ReflashBtn_Click(2);
    QCOMPARE(recorder.texts, messages);
    QCOMPARE(flasher.Arguments().value(3), QStringLiteral("com3"));
}

QTEST_MAIN(TestReflash)
#include "test_reflash.moc"
