// The NMEA setup window against the receiver simulator in virtual time: what
// loading polls and shows, what each control sends, what the operator sees
// while an exchange runs and afterwards, and how the window hands the main
// window back.
#include "app/StartModule.h"
#include "harness/MessageRecorder.h"
#include "harness/PtyPair.h"
#include "harness/SimDevice.h"
#include "link/CommsFrm.h"
#include "link/PortNames.h"
#include "link/SelectedPort.h"
#include "nmea_setup/ShowNmeaSetup.h"
#include "receiver_config/VarnexCommsRoutines.h"
#include "sim/ReceiverModel.h"
#include "support/Forms.h"
#include "WindowControls.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QWheelEvent>
#include <QtTest>

#include <memory>

using VarnexSim::Key;
using namespace WindowControls;

namespace {

const QString kRateNotSet = QStringLiteral(
    "The update rate has not been set to the target value, it please restart the Varnex module and this program");
const QString kBaudChanged = QStringLiteral("The serial port baud rate has been sucessfully changed");
const QString kBaudFailed = QStringLiteral("Changing the baud rate failed, please try again");
const QString kStored = QStringLiteral("The current configuration has been stored to flash memory");
const QString kStoreFailed = QStringLiteral("operation failed, please fry again");

constexpr int kCom = 3; // PC port the receiver is wired to
constexpr int kFocusLost = 0;
constexpr int kWheel = -1;

// The simulator's device with a look-out on what the tool writes: `onWrite`
// runs just before the bytes reach the receiver, so a test sees the windows
// as they are while an exchange runs.
class ProbeDevice final : public SerialDevice {
public:
    ProbeDevice(std::unique_ptr<SerialDevice> inner, std::function<void(const QByteArray&)>* onWrite)
        : inner_(std::move(inner)), onWrite_(onWrite)
    {
    }
    bool Open(const QString& path, qint32 baud, QString& error) override { return inner_->Open(path, baud, error); }
    void Close() override { inner_->Close(); }
    bool IsOpen() const override { return inner_->IsOpen(); }
    bool SetBaudRate(qint32 baud) override { return inner_->SetBaudRate(baud); }
    void Write(const QByteArray& bytes) override
    {
        if (*onWrite_)
            (*onWrite_)(bytes);
        inner_->Write(bytes);
    }
    QByteArray ReadAll() override { return inner_->ReadAll(); }
    void WaitForInput(double seconds) override { inner_->WaitForInput(seconds); }
    bool IsGone() const override { return inner_->IsGone(); }

private:
    std::unique_ptr<SerialDevice> inner_;
    std::function<void(const QByteArray&)>* onWrite_;
};

// A receiver wired to PC port kCom, in virtual time, with the main window loaded.
struct Rig {
    TempPortsFolder folder;
    Clock::VirtualClock clock;
    Clock::ScopedClock useClock{&clock};
    std::shared_ptr<VarnexSim::ReceiverModel> model;
    std::function<void(const QByteArray&)> onWrite;
    // Every message box is recorded, and confirmed at once; `onMessage` runs
    // at the moment one would appear.
    std::function<void(const QString&)> onMessage;
    MessageRecorder messages{[this](const QString& text) {
        if (onMessage)
            onMessage(text);
    }};

    explicit Rig(int linkPort, qint32 baud = 115200)
    {
        VarnexSim::ModelOptions options;
        options.linkPort = linkPort;
        options.startBaud = baud;
        model = std::make_shared<VarnexSim::ReceiverModel>(options, clock.Now());
        // No periodic output unless a test asks for it.
        VarnexSim::ReceiverConfig quiet = model->Running();
        quiet.msgRates.clear();
        model->SetRunning(quiet);
        SerialDeviceFactory sim = MakeSimDeviceFactory(model, PortNames::PathFor(kCom));
        SerialControl::SetDeviceFactory([sim, this] { return std::make_unique<ProbeDevice>(sim(), &onWrite); });
        if (QWidget* mainWindow = Forms::Load(QStringLiteral("CommSetup")))
            mainWindow->show();
    }
    ~Rig()
    {
        onWrite = {};
        onMessage = {};
        for (const char* name : {"SetupScreenfrm", "CommSetup"})
            Forms::Unload(Forms::Find(QString::fromLatin1(name)));
        CommsFrm::Unload();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        SerialControl::SetDeviceFactory({});
    }

    // The main window's way in: find the receiver's rate, then open the window.
    QWidget* OpenWindow(int receiverPort)
    {
        SelectedPort = kCom;
        if (!VarnexCommsRoutines::FindBaudAndOpenPort())
            return nullptr;
        model->GetTranscript().Clear();
        NmeaSetup::ShowNmeaSetup(receiverPort);
        return Forms::Find(QStringLiteral("SetupScreenfrm"));
    }
    void SetRate(quint8 id, int port, quint8 rate)
    {
        VarnexSim::ReceiverConfig config = model->Running();
        config.SetRate(Key(0xF0, id), port, rate);
        model->SetRunning(config);
    }
    quint8 Rate(quint8 id, int port) const { return model->Running().Rate(Key(0xF0, id), port); }
    void SetFaults(const std::function<void(VarnexSim::Faults&)>& change)
    {
        VarnexSim::Faults faults = model->GetFaults();
        change(faults);
        model->SetFaults(faults);
    }
    // Frames the receiver understood since the transcript was last cleared.
    QStringList Frames() const { return model->GetTranscript().FramesFromPc(); }
};

QString Hex(const char* bytes) { return QString::fromLatin1(QByteArray::fromHex(bytes).toHex(' ')); }

QStringList Shown(QWidget* window)
{
    QStringList texts;
    for (QComboBox* list : RateLists(window))
        texts << list->currentText();
    return texts;
}

// Every control of the window but the timer.
QList<QWidget*> Controls(QWidget* window)
{
    QList<QWidget*> controls;
    for (const char* name : {"Frame3", "Label1", "OutputBaud", "Frame2", "ReflashBtn", "Text1"})
        controls << window->findChild<QWidget*>(QString::fromLatin1(name));
    for (QComboBox* list : RateLists(window))
        controls << list;
    for (QLabel* label : window->findChildren<QLabel*>(QStringLiteral("MessageDescTxt")))
        controls << label;
    return controls;
}

// The control that Tab moves to from `from`: the next one in the focus chain
// that takes focus by Tab and is not a part of `from` itself.
QWidget* NextTabStop(QWidget* from)
{
    for (QWidget* w = from->nextInFocusChain(); w && w != from; w = w->nextInFocusChain()) {
        if ((w->focusPolicy() & Qt::TabFocus) && !from->isAncestorOf(w) && w->window() == from->window())
            return w->focusProxy() ? w->focusProxy() : w;
    }
    return nullptr;
}

QComboBox* OutputBaud(QWidget* window) { return window->findChild<QComboBox*>(QStringLiteral("OutputBaud")); }
QTimer* Timer1(QWidget* window) { return window->findChild<QTimer*>(QStringLiteral("Timer1")); }

} // namespace

class TestNmeaSetupWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { StartModule::RegisterForms(); }
    void controlsTextsAndLayout();
    void loadingPollsTheTargetPortAndShowsItsRates_data();
    void loadingPollsTheTargetPortAndShowsItsRates();
    void silentReceiverLoadsAfterNineTimeOuts();
    void choosingARateSendsItForTheTargetPort_data();
    void choosingARateSendsItForTheTargetPort();
    void unacknowledgedRateChangeKeepsTheChoice();
    void onlyChoosingAnEntryActs_data();
    void onlyChoosingAnEntryActs();
    void exchangeMakesTheWindowInert();
    void baudChangeMovesReceiverAndPcPort();
    void baudChangeWithoutAnswerLeavesPcAtNewRate();
    void saveSetupWritesFlash();
    void saveSetupWithoutReceiverFails();
    void closeDuringABaudChangeWaitsForItsEnd();
};

void TestNmeaSetupWindow::controlsTextsAndLayout()
{
    Rig rig(1);
    QWidget* window = rig.OpenWindow(1);
    QVERIFY(window);
    QVERIFY(rig.messages.texts.isEmpty());
    QCOMPARE(window->windowTitle(), QStringLiteral("NMEA Setup"));

    auto* frame3 = window->findChild<QGroupBox*>(QStringLiteral("Frame3"));
    auto* frame2 = window->findChild<QGroupBox*>(QStringLiteral("Frame2"));
    QCOMPARE(frame3->title(), QStringLiteral("Communications"));
    QCOMPARE(frame2->title(), QStringLiteral("Messages"));
    QCOMPARE(window->findChild<QLabel*>(QStringLiteral("Label1"))->text(), QStringLiteral("Output Baud Rate"));

    QComboBox* baud = OutputBaud(window);
    QVERIFY(baud->isEditable());
    QStringList baudEntries;
    for (int i = 0; i < baud->count(); ++i)
        baudEntries << baud->itemText(i);
    QCOMPARE(baudEntries, QStringList({"110", "300", "600", "1200", "2400", "4800", "9600", "14400", "19200",
                                       "28800", "38400", "57600", "115200"}));
    QCOMPARE(baud->currentIndex(), 12);

    const QList<QComboBox*> lists = RateLists(window);
    QCOMPARE(lists.size(), 9);
    QList<QLabel*> labels = window->findChildren<QLabel*>(QStringLiteral("MessageDescTxt"));
    std::sort(labels.begin(), labels.end(), [](QWidget* a, QWidget* b) {
        return a->property("Index").toInt() < b->property("Index").toInt();
    });
    const QStringList names = {
        "$GPGGA (Global Positioning System Fix Data)",      "$GPGLL (Geographic Position - Lat/Long)",
        "$GPGSA (GNSS DOP and Active Satellites)",          "$GPGSV (GNSS Satellites in View)",
        "$GPRMC (Recommended Minimum Specific GNSS Data)", "$GPVTG (Corse Over Ground and Ground Speed)",
        "$GPGRS (GNSS Range Residuals)",                    "$GPGST (GNSS Pseudorange Error Statistics)",
        "$GPZDA (Time and Date)"};
    QCOMPARE(labels.size(), 9);
    for (int r = 0; r < 9; ++r) {
        QCOMPARE(lists[r]->property("Index").toInt(), r);
        QVERIFY(!lists[r]->isEditable());
        QCOMPARE(lists[r]->count(), 3); // "Disabled", "1Hz", "5Hz": the entries the rows are read back with
        QCOMPARE(labels[r]->property("Index").toInt(), r);
        QCOMPARE(labels[r]->text(), names[r]);
    }

    auto* save = window->findChild<QPushButton*>(QStringLiteral("ReflashBtn"));
    QCOMPARE(save->text(), QStringLiteral("Save Setup"));

    QPlainTextEdit* view = Text1(window);
    QVERIFY(view->isReadOnly());
    QVERIFY(view->toPlainText().isEmpty());

    QTimer* timer = Timer1(window);
    QVERIFY(timer->isActive());
    QCOMPARE(timer->interval(), 100);

    // Keyboard order: the baud list, the nine rate lists, the view, the button.
    QList<QWidget*> order{baud};
    for (QComboBox* list : lists)
        order << list;
    order << view << save;
    for (qsizetype i = 0; i + 1 < order.size(); ++i)
        QCOMPARE(NextTabStop(order[i]), order[i + 1]);
}

void TestNmeaSetupWindow::loadingPollsTheTargetPortAndShowsItsRates_data()
{
    QTest::addColumn<int>("target");
    QTest::newRow("Sculla, Pemmet, Garnock: receiver port 1") << 1;
    QTest::newRow("Molvane, Trissel: receiver port 2") << 2;
}

void TestNmeaSetupWindow::loadingPollsTheTargetPortAndShowsItsRates()
{
    QFETCH(int, target);
    const int other = 3 - target;
    Rig rig(target);
    rig.SetRate(0, target, 5); // GGA every 5th solution: "1Hz"
    rig.SetRate(8, target, 1); // ZDA every solution: "5Hz"
    rig.SetRate(3, target, 3); // GSV at a rate the list cannot show
    rig.SetRate(4, other, 1);  // RMC on the other port only
    rig.SetRate(2, other, 5);  // GSA: different rates on the two ports
    rig.SetRate(2, target, 1);
    MessageRecorder& messages = rig.messages;
    messages.texts.clear();

    QWidget* window = rig.OpenWindow(target);
    QVERIFY(window);
    QVERIFY(window->isVisible());
    QCOMPARE(Shown(window), QStringList({"1Hz", "Disabled", "5Hz", "Disabled", "Disabled", "Disabled", "Disabled",
                                         "Disabled", "5Hz"}));

    // Nine polls in row order; the only other frame is the command that
    // switched GSV's unshowable rate off. No baud change, no rate change of
    // the window's own: the preselections sent nothing.
    QStringList expected;
    for (int r = 0; r < 9; ++r) {
        const QByteArray poll = QByteArray::fromHex("B562060102 00F0") + char(r);
        QString hex = QString::fromLatin1(poll.toHex(' '));
        expected << hex;
    }
    const QStringList frames = rig.Frames();
    QCOMPARE(frames.size(), 10);
    QStringList polls = frames;
    polls.removeAt(4); // right after the GSV poll
    for (int r = 0; r < 9; ++r)
        QVERIFY2(polls[r].startsWith(expected[r]), qPrintable(polls[r]));
    QVERIFY2(frames[4].startsWith(Hex("B5620601 0600 F003")), qPrintable(frames[4]));
    QCOMPARE(rig.Rate(3, target), quint8(0));
    QVERIFY(messages.texts.isEmpty());

    // The other port's rates are left as they were.
    QCOMPARE(rig.Rate(4, other), quint8(1));
    QCOMPARE(rig.Rate(2, other), quint8(5));
    // The main window is unloaded; the port stays open for this window.
    QVERIFY(!Forms::Find(QStringLiteral("CommSetup")));
    QVERIFY(CommsFrm::SerialPort().PortOpen());
}

void TestNmeaSetupWindow::silentReceiverLoadsAfterNineTimeOuts()
{
    Rig rig(1);
    rig.SetRate(0, 1, 1);
    SerialControl& port = CommsFrm::SerialPort();
    port.SetCommPort(kCom);
    port.SetSettings(QStringLiteral("115200,N,8,1"));
    QVERIFY(port.SetPortOpen(true));
    rig.SetFaults([](VarnexSim::Faults& f) { f.silent = true; });
    MessageRecorder& messages = rig.messages;
    messages.texts.clear();

    const double start = rig.clock.Now();
    NmeaSetup::ShowNmeaSetup(1);
    const double loading = rig.clock.Now() - start;
    QWidget* window = Forms::Find(QStringLiteral("SetupScreenfrm"));
    QVERIFY(window);
    QVERIFY2(loading >= 45.0 && loading < 46.0, qPrintable(QString::number(loading)));
    QCOMPARE(Shown(window), QStringList(9, QStringLiteral("Disabled")));
    QVERIFY(messages.texts.isEmpty());
    QVERIFY(window->isVisible());
}

void TestNmeaSetupWindow::choosingARateSendsItForTheTargetPort_data()
{
    QTest::addColumn<int>("target");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("frame");
    QTest::addColumn<int>("rate");
    QTest::newRow("5Hz on port 2: rate 1") << 2 << "5Hz" << Hex("B562060106 00F003 00000100 0126") << 1;
    QTest::newRow("Disabled on port 1: rate 0") << 1 << "Disabled" << Hex("B562060106 00F003 00000000 0024") << 0;
}

void TestNmeaSetupWindow::choosingARateSendsItForTheTargetPort()
{
    QFETCH(int, target);
    QFETCH(QString, entry);
    QFETCH(QString, frame);
    QFETCH(int, rate);
    Rig rig(target);
    rig.SetRate(3, target, 5); // starts at "1Hz", so every entry is a change...
    rig.SetRate(3, 3 - target, 1); // ...and the other port has GSV on
    QWidget* window = rig.OpenWindow(target);
    QVERIFY(window);
    rig.model->GetTranscript().Clear();
    MessageRecorder& messages = rig.messages;
    messages.texts.clear();

    QComboBox* gsv = RateLists(window)[3];
    QVERIFY(Choose(gsv, entry));
    QCOMPARE(rig.Frames(), QStringList{frame});
    QCOMPARE(int(rig.Rate(3, target)), rate);
    QCOMPARE(rig.Rate(3, 3 - target), quint8(0)); // one command sets every port
    QCOMPARE(gsv->currentText(), entry);
    QVERIFY(messages.texts.isEmpty());
    QVERIFY(gsv->isEnabled());
    QVERIFY(Timer1(window)->isActive());
}

void TestNmeaSetupWindow::unacknowledgedRateChangeKeepsTheChoice()
{
    Rig rig(2);
    QWidget* window = rig.OpenWindow(2);
    QVERIFY(window);
    rig.SetFaults([](VarnexSim::Faults& f) { f.neverAck.insert(Key(0x06, 0x01)); });
    bool enabledAtMessage = false;
    bool viewRunningAtMessage = false;
    MessageRecorder& messages = rig.messages;
    messages.texts.clear();
    rig.onMessage = [&](const QString&) {
        enabledAtMessage = RateLists(window)[0]->isEnabled() && OutputBaud(window)->isEnabled();
        viewRunningAtMessage = Timer1(window)->isActive();
    };

    const double start = rig.clock.Now();
    QVERIFY(Choose(RateLists(window)[0], QStringLiteral("5Hz")));
    QCOMPARE(messages.texts, QStringList{kRateNotSet});
    QVERIFY(rig.clock.Now() - start >= 5.0); // after the acknowledgement's time-out
    QVERIFY(enabledAtMessage);
    QVERIFY(viewRunningAtMessage);
    QCOMPARE(RateLists(window)[0]->currentText(), QStringLiteral("5Hz"));
    QCOMPARE(rig.Rate(0, 2), quint8(0)); // the receiver never took it
}

void TestNmeaSetupWindow::onlyChoosingAnEntryActs_data()
{
    QTest::addColumn<int>("row"); // -1: the baud list
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("finish"); // a key, kFocusLost or kWheel
    QTest::newRow("1 and Tab: completed to 110") << -1 << "1" << int(Qt::Key_Tab);
    QTest::newRow("9600 and Enter") << -1 << "9600" << int(Qt::Key_Return);
    QTest::newRow("4800 and focus lost") << -1 << "4800" << kFocusLost;
    QTest::newRow("wheel over the baud list") << -1 << "" << kWheel;
    QTest::newRow("wheel over a rate list") << 3 << "" << kWheel;
}

void TestNmeaSetupWindow::onlyChoosingAnEntryActs()
{
    QFETCH(int, row);
    QFETCH(QString, typed);
    QFETCH(int, finish);
    Rig rig(1);
    QWidget* window = rig.OpenWindow(1);
    QVERIFY(window);
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
    QComboBox* list = row < 0 ? OutputBaud(window) : RateLists(window)[row];
    rig.model->GetTranscript().Clear();
    rig.messages.texts.clear();

    if (finish == kWheel) {
        // The pointer passes over the list: a notch up, a notch down.
        for (int delta : {120, -120}) {
            QWheelEvent notch(list->rect().center(), list->mapToGlobal(list->rect().center()), {}, {0, delta},
                              Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(list, &notch);
        }
    } else {
        list->setFocus();
        list->lineEdit()->selectAll(); // the operator types over the shown rate
        QTest::keyClicks(list, typed);
        if (finish == kFocusLost)
            Text1(window)->setFocus();
        else
            QTest::keyClick(list, Qt::Key(finish));
    }
    QCoreApplication::processEvents();
    QCOMPARE(rig.Frames(), QStringList());
    QVERIFY(rig.messages.texts.isEmpty());
}

void TestNmeaSetupWindow::exchangeMakesTheWindowInert()
{
    Rig rig(1);
    rig.SetRate(0, 1, 1); // GGA streaming on the link during the exchange
    QWidget* window = rig.OpenWindow(1);
    QVERIFY(window);
    // The view has something to show before the exchange starts.
    rig.clock.Advance(2.0);
    QVERIFY(QTest::qWaitFor([&] { return Text1(window)->toPlainText().contains(QStringLiteral("$GPGGA")); }, 3000));

    QByteArray written;
    QStringList faults;
    rig.onWrite = [&](const QByteArray& bytes) {
        written += bytes;
        for (QWidget* control : Controls(window))
            if (control->isEnabled())
                faults << control->objectName() + QStringLiteral(" enabled");
        if (!window->isEnabled())
            faults << QStringLiteral("window disabled: it could not be closed");
        if (Timer1(window)->isActive())
            faults << QStringLiteral("Timer1 running");
        if (!Text1(window)->toPlainText().isEmpty())
            faults << QStringLiteral("view not empty");
    };
    QVERIFY(Choose(RateLists(window)[4], QStringLiteral("1Hz")));
    rig.onWrite = {};
    QCOMPARE(written.toHex(' '), QByteArray::fromHex("B562060106 00F004 00050000").toHex(' ') + " 06 38");
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(u", ")));
    QCOMPARE(Controls(window).size(), 24);
    for (QWidget* control : Controls(window))
        QVERIFY2(control->isEnabled() && control->isVisible(), qPrintable(control->objectName()));
    QVERIFY(Timer1(window)->isActive());
    QCOMPARE(rig.Rate(4, 1), quint8(5));
}

void TestNmeaSetupWindow::baudChangeMovesReceiverAndPcPort()
{
    Rig rig(2, 115200);
    QWidget* window = rig.OpenWindow(2);
    QVERIFY(window);
    rig.model->GetTranscript().Clear();
    QString settingsAtMessage;
    MessageRecorder& messages = rig.messages;
    messages.texts.clear();
    rig.onMessage = [&](const QString&) { settingsAtMessage = CommsFrm::SerialPort().Settings(); };

    QVERIFY(Choose(OutputBaud(window), QStringLiteral("9600")));

    QStringList prts;
    for (const QString& frame : rig.Frames())
        if (frame.startsWith(Hex("B5620600")))
            prts << frame;
    QCOMPARE(prts.size(), 1);
    // Receiver port 2, 8N1, 9600 bit/s, UBX and NMEA in and out.
    QVERIFY2(prts[0].startsWith(Hex("B5620600 1400 02 00 0000 C0080000 80250000 0300 0300")), qPrintable(prts[0]));
    QCOMPARE(rig.model->LinkBaud(), 9600);
    QCOMPARE(CommsFrm::SerialPort().Settings(), QStringLiteral("9600,N,8,1"));
    QVERIFY(CommsFrm::SerialPort().PortOpen());
    QCOMPARE(messages.texts, QStringList{kBaudChanged});
    QCOMPARE(settingsAtMessage, QStringLiteral("9600,N,8,1"));
    QCOMPARE(OutputBaud(window)->currentText(), QStringLiteral("9600"));

    // The window goes on working at the new rate.
    messages.texts.clear();
    QVERIFY(Choose(RateLists(window)[1], QStringLiteral("5Hz")));
    QVERIFY(messages.texts.isEmpty());
    QCOMPARE(rig.Rate(1, 2), quint8(1));
}

void TestNmeaSetupWindow::baudChangeWithoutAnswerLeavesPcAtNewRate()
{
    Rig rig(2, 115200);
    QWidget* window = rig.OpenWindow(2);
    QVERIFY(window);
    rig.SetFaults([](VarnexSim::Faults& f) { f.silent = true; });
    MessageRecorder& messages = rig.messages;
    messages.texts.clear();

    QVERIFY(Choose(OutputBaud(window), QStringLiteral("19200")));
    QCOMPARE(messages.texts, QStringList{kBaudFailed});
    QCOMPARE(CommsFrm::SerialPort().Settings(), QStringLiteral("19200,N,8,1"));
    QVERIFY(CommsFrm::SerialPort().PortOpen());
    QCOMPARE(rig.model->LinkBaud(), 115200);
    QCOMPARE(OutputBaud(window)->currentText(), QStringLiteral("19200"));
    QVERIFY(Timer1(window)->isActive());
}

void TestNmeaSetupWindow::saveSetupWritesFlash()
{
    Rig rig(1);
    QWidget* window = rig.OpenWindow(1);
    QVERIFY(window);
    QVERIFY(Choose(RateLists(window)[6], QStringLiteral("5Hz")));
    QCOMPARE(rig.model->FlashConfig().Rate(Key(0xF0, 6), 1), quint8(0)); // running only, so far
    MessageRecorder& messages = rig.messages;
    messages.texts.clear();

    QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("ReflashBtn")), Qt::LeftButton);
    QCOMPARE(messages.texts, QStringList{kStored});
    QCOMPARE(rig.model->FlashConfig().Rate(Key(0xF0, 6), 1), quint8(1));
    QVERIFY(rig.model->FlashConfig() == rig.model->Running());
}

void TestNmeaSetupWindow::saveSetupWithoutReceiverFails()
{
    Rig rig(1);
    QWidget* window = rig.OpenWindow(1);
    QVERIFY(window);
    const VarnexSim::ReceiverConfig flashBefore = rig.model->FlashConfig();
    rig.SetRate(6, 1, 1); // a change that must not reach flash
    rig.SetFaults([](VarnexSim::Faults& f) { f.silent = true; });
    MessageRecorder& messages = rig.messages;
    messages.texts.clear();

    const double start = rig.clock.Now();
    QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("ReflashBtn")), Qt::LeftButton);
    QCOMPARE(messages.texts, QStringList{kStoreFailed});
    QVERIFY(rig.clock.Now() - start >= 5.0);
    QVERIFY(rig.model->FlashConfig() == flashBefore);
}

void TestNmeaSetupWindow::closeDuringABaudChangeWaitsForItsEnd()
{
    Rig rig(2, 115200);
    QWidget* window = rig.OpenWindow(2);
    QVERIFY(window);
    QPointer<QWidget> watched(window);
    // The operator closes the window while the baud change is under way: the
    // request arrives during the re-open cycle's pauses.
    QByteArray written;
    rig.onWrite = [&](const QByteArray& bytes) {
        const bool before = written.contains(QByteArray::fromHex("B5620600"));
        written += bytes;
        if (!before && written.contains(QByteArray::fromHex("B5620600")))
            QMetaObject::invokeMethod(window, "close", Qt::QueuedConnection);
    };
    bool loadedAtMessage = false;
    bool portOpenAtMessage = false;
    MessageRecorder& messages = rig.messages;
    messages.texts.clear();
    rig.onMessage = [&](const QString&) {
        loadedAtMessage = Forms::Find(QStringLiteral("SetupScreenfrm")) != nullptr;
        portOpenAtMessage = CommsFrm::SerialPort().PortOpen();
    };

    QVERIFY(Choose(OutputBaud(window), QStringLiteral("9600")));
    rig.onWrite = {};
    // The exchange ran to its end on the open port, then the close went through.
    QCOMPARE(messages.texts, QStringList{kBaudChanged});
    QCOMPARE(rig.model->LinkBaud(), 9600);
    QVERIFY(loadedAtMessage);
    QVERIFY(portOpenAtMessage);
    QVERIFY(!Forms::Find(QStringLiteral("SetupScreenfrm")));
    QVERIFY(Forms::Find(QStringLiteral("CommSetup")));
    QVERIFY(!CommsFrm::SerialPort().PortOpen());
}

QTEST_MAIN(TestNmeaSetupWindow)
#include "test_nmea_setup_window.moc"
