// The "Set up GPS system for" buttons of the real main window: each device end
// to end on a real pseudo-terminal, and in virtual time the button-to-device
// mapping, the port taking and the guard against a second action.
#include "app/CommSetup.h"
#include "app/StartModule.h"
#include "harness/GoldenFrames.h"
#include "harness/MainWindowDriver.h"
#include "harness/MessageRecorder.h"
#include "harness/PtySim.h"
#include "harness/VirtualReceiver.h"
#include "link/CommsFrm.h"
#include "link/SelectedPort.h"
#include "sim/ReceiverConfig.h"
#include "support/Forms.h"

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QSerialPort>
#include <QtTest>

namespace {

using MainWindowDriver::Button;

const QStringList kDevices{"Sculla", "Pemmet", "Molvane", "Garnock", "Trissel"};
const QStringList kSuccess{"Configured for use with Sculla", "Configured for use with Pemmet",
                           "Configured for use with the Molvane", "Configured for use with the Garnock",
                           "Configured for use with the Trissel"};

using VarnexSim::Key;

// What each device leaves in flash: rates, message outputs and port rates.
struct Expected {
    quint16 measRate;
    quint16 navRate;
    QList<QPair<VarnexSim::MsgKey, QList<int>>> rates; // message -> rate on ports 0..3
    QList<QPair<int, qint32>> bauds;                  // receiver port -> rate
};

Expected ExpectedFor(const QString& device)
{
    const auto posllh = Key(0x01, 0x02), timeutc = Key(0x01, 0x21), velned = Key(0x01, 0x12);
    const auto gga = Key(0xF0, 0x00), rmc = Key(0xF0, 0x04), gsv = Key(0xF0, 0x03);
    const QList<int> p1{0, 1, 0, 0}, p2{0, 0, 1, 0}, off{0, 0, 0, 0};
    if (device == u"Molvane")
        return {200, 1, {{posllh, p1}, {timeutc, p1}, {velned, p1}, {gga, {0, 0, 5, 0}}, {rmc, {0, 0, 5, 0}}, {gsv, off}},
                {{1, 9600}, {2, 4800}}};
    if (device == u"Trissel")
        return {50, 4, {{posllh, p1}, {Key(0x02, 0x10), p1}, {Key(0x02, 0x11), p1}, {gga, {0, 0, 5, 0}}, {gsv, off}},
                {{1, 115200}, {2, 4800}}};
    if (device == u"Garnock")
        return {200, 1, {{posllh, p2}, {timeutc, p2}, {velned, p2}, {gga, {0, 5, 0, 0}}, {rmc, {0, 5, 0, 0}}},
                {{1, 4800}, {2, 9600}}};
    if (device == u"Pemmet")
        return {150, 1, {{posllh, p1}, {velned, p1}, {gga, off}, {rmc, off}}, {{1, 115200}}};
    return {1000, 1, {{gga, p1}, {rmc, p1}, {posllh, off}, {gsv, off}}, {{1, 4800}}};
}

void CheckFlash(const QString& flashPath, const QString& device)
{
    VarnexSim::ReceiverConfig flash;
    QString error;
    QVERIFY2(VarnexSim::LoadConfigFile(flashPath, flash, error), qPrintable(error));
    const Expected e = ExpectedFor(device);
    QCOMPARE(flash.measRateMs, e.measRate);
    QCOMPARE(flash.navRate, e.navRate);
    for (const auto& [key, rates] : e.rates)
        for (int port = 0; port < 4; ++port)
            QCOMPARE(int(flash.Rate(key, port)), rates[port]);
    for (const auto& [port, baud] : e.bauds)
        QCOMPARE(flash.ports[port].baud, baud);
}

// Devices for receivers wired to two PC ports: each device is the port it opens.
class EitherPort final : public SerialDevice {
public:
    EitherPort(std::unique_ptr<SerialDevice> a, std::unique_ptr<SerialDevice> b) : a_(std::move(a)), b_(std::move(b)) {}
    bool Open(const QString& path, qint32 baud, QString& error) override
    {
        on_ = a_->Open(path, baud, error) ? a_.get() : b_->Open(path, baud, error) ? b_.get() : nullptr;
        return on_ != nullptr;
    }
    void Close() override { a_->Close(), b_->Close(); }
    bool IsOpen() const override { return on_ && on_->IsOpen(); }
    bool SetBaudRate(qint32 baud) override { return on_ && on_->SetBaudRate(baud); }
    void Write(const QByteArray& bytes) override { on_ ? on_->Write(bytes) : void(); }
    QByteArray ReadAll() override { return on_ ? on_->ReadAll() : QByteArray(); }
    void WaitForInput(double seconds) override { (on_ ? on_ : a_.get())->WaitForInput(seconds); }
    bool IsGone() const override { return on_ && on_->IsGone(); }

private:
    std::unique_ptr<SerialDevice> a_, b_;
    SerialDevice* on_ = nullptr;
};

} // namespace

class TestConfigButtons : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { MainWindowDriver::UnloadAll(); }
    void configuresOnRealLine_data();
    void configuresOnRealLine();
    void buttonIndexChoosesDevice_data();
    void buttonIndexChoosesDevice();
    void selectedPortTakenFromList_data();
    void selectedPortTakenFromList();
    void clickDuringRunStartsNothing();
    void closeDuringRunWaitsForTheEnd_data();
    void closeDuringRunWaitsForTheEnd();
};

void TestConfigButtons::configuresOnRealLine_data()
{
    QTest::addColumn<int>("index");
    for (int i = 0; i < kDevices.size(); ++i)
        QTest::newRow(qPrintable(kDevices[i])) << i;
}

void TestConfigButtons::configuresOnRealLine()
{
    if (!qEnvironmentVariableIsSet("VARNEX_REAL_LINE"))
        QSKIP("real-time runs are separate CTest entries (test_config_buttons_<device>)");
    QFETCH(int, index);
    const QString device = kDevices[index];
    PtySim sim(1);
    QVERIFY2(sim.IsValid(), qPrintable(sim.Error()));
    QWidget* window = MainWindowDriver::Load();
    QVERIFY(window);
    MessageRecorder messages;
    QTest::mouseClick(Button(window, "SetAllOutputs", index), Qt::LeftButton);

    if (messages.texts != QStringList{kSuccess[index]}) {
        // What the receiver saw, to tell a line fault from a tool fault.
        for (const auto& e : sim.Transcript())
            qInfo().noquote() << e.t << (e.dir == VarnexSim::TranscriptEntry::Direction::FromPc ? "pc>" : "<rx")
                              << e.pcBaud << e.linkBaud << e.note << e.bytes.toHex(' ');
    }
    QCOMPARE(messages.texts, QStringList{kSuccess[index]});
    QCOMPARE(FramesAfterReset(sim.FramesFromPc()), GoldenProfileFrames(device));
    CheckFlash(sim.FlashPath(), device);
    // The port is closed afterwards: another program can take it.
    QVERIFY(!CommsFrm::SerialPort().PortOpen());
    QSerialPort other(sim.DevicePath());
    QVERIFY(other.open(QIODevice::ReadWrite));
}

void TestConfigButtons::buttonIndexChoosesDevice_data()
{
    QTest::addColumn<int>("index");
    for (int i = 0; i < kDevices.size(); ++i)
        QTest::newRow(qPrintable(kDevices[i])) << i;
}

void TestConfigButtons::buttonIndexChoosesDevice()
{
    QFETCH(int, index);
    VirtualReceiver receiver;
    const VarnexSim::ReceiverConfig factoryFlash = receiver.Model().FlashConfig();
    QWidget* window = MainWindowDriver::Load();
    QVERIFY(window);
    MessageRecorder messages;
    QTest::mouseClick(Button(window, "SetAllOutputs", index), Qt::LeftButton);
    QCOMPARE(messages.texts, QStringList{kSuccess[index]});
    QCOMPARE(FramesAfterReset(receiver.Frames()), GoldenProfileFrames(kDevices[index]));
    // What was saved is what is running, and it is not the factory's.
    QVERIFY(receiver.Model().FlashConfig() == receiver.Model().Running());
    QVERIFY(!(receiver.Model().FlashConfig() == factoryFlash));
    QVERIFY(!CommsFrm::SerialPort().PortOpen());
}

void TestConfigButtons::selectedPortTakenFromList_data()
{
    QTest::addColumn<int>("com");
    QTest::addColumn<int>("entry");
    QTest::addColumn<int>("selectedPort");
    QTest::addColumn<QString>("message");
    QTest::newRow("Serial Port 4") << 4 << 0 << 4 << kSuccess[1];
    // The list's tries leave the control numbered 8; nothing may go there.
    QTest::newRow("no entry selected") << 8 << -1 << 0 << QStringLiteral("Cannot open serial port");
}

void TestConfigButtons::selectedPortTakenFromList()
{
    QFETCH(int, com);
    QFETCH(int, entry);
    QFETCH(int, selectedPort);
    QFETCH(QString, message);
    VirtualReceiver receiver({}, com); // the receiver is on this port and only there
    SelectedPort = -1;
    QWidget* window = MainWindowDriver::Load();
    QVERIFY(window);
    auto* list = window->findChild<QComboBox*>(QStringLiteral("SelectPort"));
    QCOMPARE(list->currentText(), QStringLiteral("Serial Port %1").arg(com));
    list->setCurrentIndex(entry);
    MessageRecorder messages;
    QTest::mouseClick(Button(window, "SetAllOutputs", 1), Qt::LeftButton);
    QCOMPARE(SelectedPort, selectedPort);
    QCOMPARE(messages.texts.value(0), message); // a failed opening is followed by the device's failure
    QCOMPARE(receiver.Frames().isEmpty(), selectedPort == 0);
}

void TestConfigButtons::clickDuringRunStartsNothing()
{
    // The run's receiver on port 3, a second one on port 8.
    VirtualReceiver second({}, 8);
    VirtualReceiver receiver({}, 3);
    SerialControl::SetDeviceFactory([on3 = receiver.Devices(), on8 = second.Devices()] {
        return std::make_unique<EitherPort>(on3(), on8());
    });
    QWidget* window = MainWindowDriver::Load();
    QVERIFY(window);
    auto* list = window->findChild<QComboBox*>(QStringLiteral("SelectPort"));
    const QStringList ports{"Serial Port 3", "Serial Port 8"};
    QCOMPARE(list->currentText(), ports[0]);
    Qt::CursorShape cursorAtMessage = Qt::WaitCursor;
    MessageRecorder messages([&](const QString&) {
        cursorAtMessage = QApplication::overrideCursor() ? QApplication::overrideCursor()->shape() : Qt::ArrowCursor;
    });
    bool checked = false;
    // Fires inside one of the run's pauses, when clicks and keys are delivered.
    QTimer::singleShot(0, [&] {
        QVERIFY(QApplication::overrideCursor() && QApplication::overrideCursor()->shape() == Qt::WaitCursor);
        QTest::mouseClick(Button(window, "SetAllOutputs", 3), Qt::LeftButton);
        QTest::mouseClick(Button(window, "SetNmeaOuputBtn", 0), Qt::LeftButton);
        QTest::mouseClick(list, Qt::LeftButton); // opening the list would rebuild it
        QTest::keyClick(list, Qt::Key_Down);
        for (int i = 0; i < 5; ++i)
            QVERIFY(!Button(window, "ReflashBtn", i)->isEnabled());
        checked = true;
    });
    QTest::mouseClick(Button(window, "SetAllOutputs", 2), Qt::LeftButton);
    list->hidePopup();
    QVERIFY(checked);
    // One run, Molvane's, all on port 3: one reset's worth of CFG-MSG and one save.
    QCOMPARE(messages.texts, QStringList{kSuccess[2]});
    QCOMPARE(receiver.Frames(0x06, 0x01).size(), 152 + 5);
    QCOMPARE(receiver.Frames(0x06, 0x09).size(), 1);
    QCOMPARE(second.Frames(), QStringList());
    QCOMPARE(list->currentText(), ports[0]);
    QCOMPARE(list->count(), 2);
    // The operator is asked to press OK with the normal cursor.
    QVERIFY(cursorAtMessage != Qt::WaitCursor);
    QVERIFY(!QApplication::overrideCursor());
    for (int i = 0; i < 5; ++i) {
        QVERIFY(Button(window, "SetAllOutputs", i)->isEnabled());
        QVERIFY(Button(window, "SetNmeaOuputBtn", i)->isEnabled());
        QVERIFY(!Button(window, "ReflashBtn", i)->isEnabled());
    }
}

void TestConfigButtons::closeDuringRunWaitsForTheEnd_data()
{
    QTest::addColumn<QString>("array");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("configuration run") << "SetAllOutputs" << QStringList{kSuccess[1]};
    // The NMEA Setup window does not open: the operator asked to end.
    QTest::newRow("successful NMEA search") << "SetNmeaOuputBtn" << QStringList();
}

void TestConfigButtons::closeDuringRunWaitsForTheEnd()
{
    QFETCH(QString, array);
    QFETCH(QStringList, expected);
    VirtualReceiver receiver;
    QWidget* window = MainWindowDriver::Load();
    QVERIFY(window);
    MessageRecorder messages;
    bool closedDuringRun = true;
    QTimer::singleShot(0, [&] {
        window->close();
        // The run still has its port and its window.
        closedDuringRun = !window->isVisible() || !Forms::Find(QStringLiteral("CommsFrm"));
    });
    QTest::mouseClick(Button(window, qPrintable(array), 1), Qt::LeftButton);
    QVERIFY(!closedDuringRun);
    QCOMPARE(messages.texts, expected);
    // Once the run is over the held close goes through, and the port is free.
    QVERIFY(!Forms::Find(QStringLiteral("SetupScreenfrm")));
    QVERIFY(!Forms::Find(QStringLiteral("CommSetup")));
    QVERIFY(!Forms::Find(QStringLiteral("CommsFrm")));
}

QTEST_MAIN(TestConfigButtons)
#include "test_config_buttons.moc"
