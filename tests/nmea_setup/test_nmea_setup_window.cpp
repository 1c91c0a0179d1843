// The NMEA setup window against the receiver simulator in virtual time: what
// loading polls and shows, what each control sends and tells the operator,
// how the window behaves while an exchange runs and afterwards, and how it
// hands the main window back.
#include "app/StartModule.h"
#include "harness/MainWindowDriver.h"
#include "harness/MessageRecorder.h"
#include "harness/VirtualReceiver.h"
#include "link/CommsFrm.h"
#include "link/SelectedPort.h"
#include "nmea_setup/ShowNmeaSetup.h"
#include "profiles/SetupOutputs.h"
#include "receiver_config/VarnexCommsRoutines.h"
#include "link/UbxStream.h"
#include "support/Forms.h"
#include "WindowControls.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTimer>
#include <QWheelEvent>
#include <QtTest>

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

QComboBox* OutputBaud(QWidget* window) { return window->findChild<QComboBox*>(QStringLiteral("OutputBaud")); }
QTimer* Timer1(QWidget* window) { return window->findChild<QTimer*>(QStringLiteral("Timer1")); }

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

// The nine rate polls of loading, in row order.
QStringList LoadingPolls()
{
    QStringList polls;
    for (int r = 0; r < 9; ++r)
        polls << HexFrame("B562 0601 0200 F0") + QStringLiteral("%1").arg(r, 2, 16, QLatin1Char('0')).toUpper();
    return polls;
}

// A receiver on its port `linkPort` at `baud`, wired to PC port kCom in
// virtual time, quiet, with the main window loaded. Counts the PC port's opens.
struct Bench {
    VirtualReceiver rx;
    int opens = 0;
    std::function<void(const QString&)> onMessage; // runs as a message box would appear
    MessageRecorder messages{[this](const QString& text) {
        if (onMessage)
            onMessage(text);
    }};

    explicit Bench(int linkPort) : rx({.linkPort = linkPort, .startBaud = 115200}, kCom)
    {
        rx.Quiet();
        SerialControl::SetDeviceFactory([devices = rx.Devices(), this] {
            ++opens;
            return devices();
        });
        Forms::Load(QStringLiteral("CommSetup"))->show();
    }
    ~Bench()
    {
        onMessage = {};
        rx.OnWrite({});
        MainWindowDriver::UnloadAll();
    }

    // The main window's way in: find the receiver's rate, then open the window.
    QWidget* OpenWindow(int receiverPort)
    {
        if (!VarnexCommsRoutines::FindBaudAndOpenPort())
            return nullptr;
        rx.Model().GetTranscript().Clear();
        messages.texts.clear();
        NmeaSetup::ShowNmeaSetup(receiverPort);
        return Forms::Find(QStringLiteral("SetupScreenfrm"));
    }
    void SetRate(quint8 id, int port, quint8 rate)
    {
        VarnexSim::ReceiverConfig config = rx.Model().Running();
        config.SetRate(Key(0xF0, id), port, rate);
        rx.Model().SetRunning(config);
    }
    quint8 Rate(quint8 id, int port) { return rx.Model().Running().Rate(Key(0xF0, id), port); }
};

} // namespace

class TestNmeaSetupWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { StartModule::RegisterForms(); }
    void keyboardOrder();
    void loading_data();
    void loading();
    void exchanges_data();
    void exchanges();
    void onlyChoosingAnEntryActs_data();
    void onlyChoosingAnEntryActs();
    void closeWaitsForTheExchangeAndItsResult_data();
    void closeWaitsForTheExchangeAndItsResult();
    void liveViewKeepsTheNewestSentencesInSight();
};

void TestNmeaSetupWindow::keyboardOrder()
{
    Bench bench(1);
    QWidget* window = bench.OpenWindow(1);
    QVERIFY(window);
    QComboBox* baud = OutputBaud(window);
    QCOMPARE(baud->currentText(), QStringLiteral("115200"));
    // Tab goes: the baud list, the nine rate lists, the view, the button.
    QList<QWidget*> order{baud};
    for (QComboBox* list : RateLists(window))
        order << list;
    order << Text1(window) << window->findChild<QPushButton*>(QStringLiteral("ReflashBtn"));
    for (qsizetype i = 0; i + 1 < order.size(); ++i) {
        QWidget* next = order[i]->nextInFocusChain();
        while (next && (!(next->focusPolicy() & Qt::TabFocus) || order[i]->isAncestorOf(next)))
            next = next->nextInFocusChain();
        QCOMPARE(next && next->focusProxy() ? next->focusProxy() : next, order[i + 1]);
    }
}

void TestNmeaSetupWindow::loading_data()
{
    QTest::addColumn<int>("target");
    QTest::addColumn<bool>("silent");
    QTest::addColumn<QStringList>("shown");
    const QStringList shown{"1Hz", "Disabled", "5Hz", "Disabled", "Disabled", "Disabled", "Disabled", "Disabled", "5Hz"};
    QTest::newRow("Sculla, Pemmet, Garnock: receiver port 1") << 1 << false << shown;
    QTest::newRow("Molvane, Trissel: receiver port 2") << 2 << false << shown;
    QTest::newRow("silent receiver: nine time-outs") << 1 << true << QStringList(9, QStringLiteral("Disabled"));
}

void TestNmeaSetupWindow::loading()
{
    QFETCH(int, target);
    QFETCH(bool, silent);
    QFETCH(QStringList, shown);
    const int other = 3 - target;
    Bench bench(target);
    bench.SetRate(0, target, 5); // GGA every 5th solution: "1Hz"
    bench.SetRate(8, target, 1); // ZDA every solution: "5Hz"
    bench.SetRate(3, target, 3); // GSV at a rate the list cannot show
    bench.SetRate(4, other, 1);  // RMC on the other port only
    bench.SetRate(2, other, 5);  // GSA: different rates on the two ports
    bench.SetRate(2, target, 1);
    QVERIFY(VarnexCommsRoutines::FindBaudAndOpenPort());
    bench.rx.Model().GetTranscript().Clear();
    bench.messages.texts.clear();
    if (silent)
        bench.rx.SetFaults({.silent = true});

    const double start = bench.rx.Elapsed();
    NmeaSetup::ShowNmeaSetup(target);
    const double loading = bench.rx.Elapsed() - start;
    QWidget* window = Forms::Find(QStringLiteral("SetupScreenfrm"));
    QVERIFY(window && window->isVisible());
    QCOMPARE(Shown(window), shown);
    QVERIFY(bench.messages.texts.isEmpty());
    // The main window is unloaded; the port stays open for this window.
    QVERIFY(!Forms::Find(QStringLiteral("CommSetup")));
    QVERIFY(CommsFrm::SerialPort().PortOpen());
    if (silent) {
        QVERIFY2(loading >= 45.0 && loading < 46.0, qPrintable(QString::number(loading)));
        return;
    }
    // Nine polls in row order; the only other frame switches GSV's unshowable
    // rate off, right after its poll. The preselections sent nothing.
    QStringList expected = LoadingPolls();
    expected.insert(4, HexFrame("B562 0601 0600 F003 0000"));
    const QStringList frames = bench.rx.Frames();
    QCOMPARE(frames.size(), expected.size());
    for (int i = 0; i < frames.size(); ++i)
        QVERIFY2(frames[i].startsWith(expected[i]), qPrintable(frames[i]));
    QCOMPARE(bench.Rate(4, other), quint8(1)); // the other port's rates are left alone
    QCOMPARE(bench.Rate(2, other), quint8(5));
}

// Each row opens the window and runs the operator's actions one after another:
// "rate <row> <entry>", "baud <entry>", "save", "focus <row>", "key <row>"
// (Down to whatever has the focus, expected on that rate list). Throughout,
// the window must be inert on every write of the PC (controls disabled, view
// stopped and empty, the window itself still closable), live again when a
// result is shown, and the control that started the exchange must have the
// focus again afterwards.
void TestNmeaSetupWindow::exchanges_data()
{
    QTest::addColumn<int>("target");
    QTest::addColumn<QString>("setup"); // "", "silent", "unacknowledged rate", "after Molvane"
    QTest::addColumn<QStringList>("actions");
    QTest::addColumn<QStringList>("sent");     // every frame the receiver understood after loading, as prefixes
    QTest::addColumn<QStringList>("messages"); // in order
    QTest::addColumn<QString>("pcSettings");
    QTest::addColumn<int>("opens"); // of the PC port, after loading

    const QString poll = HexFrame("B562 0608 0000 0E30");
    const QStringList none;
    QTest::newRow("5Hz on port 2: rate 1")
        << 2 << "" << QStringList{"rate 3 5Hz"} << QStringList{HexFrame("B562060106 00F003 00000100 0126")} << none
        << "115200,N,8,1" << 0;
    // Down on a closed list chooses the next entry: "1Hz", then "5Hz".
    QTest::newRow("keys on the GLL list: Down, Down")
        << 1 << "" << QStringList{"focus 1", "key 1", "key 1"}
        << QStringList{HexFrame("B562060106 00F001 00050000"), HexFrame("B562060106 00F001 00010000")} << none
        << "115200,N,8,1" << 0;
    QTest::newRow("Disabled on port 1: rate 0")
        << 1 << "" << QStringList{"rate 3 Disabled"} << QStringList{HexFrame("B562060106 00F003 00000000 0024")}
        << none << "115200,N,8,1" << 0;
    QTest::newRow("rate change unacknowledged: the choice stays")
        << 2 << "unacknowledged rate" << QStringList{"rate 0 5Hz"} << QStringList{HexFrame("B562060106 00F000 00000100")}
        << QStringList{kRateNotSet} << "115200,N,8,1" << 0;
    // Receiver port 2, 8N1, 9600 bit/s, UBX and NMEA in and out; the poll at
    // 115200 goes unheard, the PC port follows, the poll at 9600 is answered.
    // The window goes on working at the new rate.
    QTest::newRow("baud 9600, then a rate")
        << 2 << "" << QStringList{"baud 9600", "rate 1 5Hz"}
        << QStringList{HexFrame("B5620600 1400 02 00 0000 C0080000 80250000 0300 0300"), poll,
                       HexFrame("B562060106 00F001 00000100")}
        << QStringList{kBaudChanged} << "9600,N,8,1" << 1;
    QTest::newRow("baud unanswered: the PC stays at the new rate")
        << 2 << "silent" << QStringList{"baud 19200"} << QStringList{HexFrame("B5620600 1400 02 00 0000 C0080000 004B0000"), poll}
        << QStringList{kBaudFailed} << "19200,N,8,1" << 10;
    QTest::newRow("the rate in use re-chosen: no close or reopen")
        << 1 << "" << QStringList{"baud 115200"}
        << QStringList{HexFrame("B5620600 1400 01 00 0000 C0080000 00C20100 0300 0300"), poll} << QStringList{kBaudChanged}
        << "115200,N,8,1" << 0;
    QTest::newRow("save") << 1 << "" << QStringList{"save"} << QStringList{HexFrame("B562 0609 0C00 00000000 FFFF0000 00000000 1980")}
                          << QStringList{kStored} << "115200,N,8,1" << 0;
    QTest::newRow("save without answer") << 1 << "silent" << QStringList{"save"} << QStringList{HexFrame("B562 0609 0C00 00000000 FFFF0000 00000000 1980")}
                                         << QStringList{kStoreFailed} << "115200,N,8,1" << 0;
    // Molvane leaves GGA and RMC on receiver port 2 at 4800 bit/s; the
    // receiver streams NAV frames (binary, with NUL and CR bytes) there too.
    // While each result is shown the live view runs on: the box's own event loop keeps it going.
    QTest::newRow("after Molvane, binary navigation frames on the link")
        << 2 << "after Molvane" << QStringList{"rate 3 1Hz", "baud 9600", "save"}
        << LoadingPolls()
               + QStringList{HexFrame("B562060106 00F003 00000500"),
                             HexFrame("B5620600 1400 02 00 0000 C0080000 80250000 0300 0300"), poll,
                             HexFrame("B562 0609 0C00 00000000 FFFF0000 00000000 1980")}
        << QStringList{kBaudChanged, kStored} << "9600,N,8,1" << 1;
}

void TestNmeaSetupWindow::exchanges()
{
    QFETCH(int, target);
    QFETCH(QString, setup);
    QFETCH(QStringList, actions);
    QFETCH(QStringList, sent);
    QFETCH(QStringList, messages);
    QFETCH(QString, pcSettings);
    QFETCH(int, opens);
    const bool afterProfile = setup == QStringLiteral("after Molvane");
    Bench bench(target);
    if (afterProfile) {
        QVERIFY(SetupOutputs::RunProfile(*SetupOutputs::FindProfile(QStringLiteral("Molvane")), CommsFrm::SerialPort(), SelectedPort));
        CommsFrm::SerialPort().SetPortOpen(false);
        // The receiver also streams navigation frames on the link.
        VarnexSim::ReceiverConfig config = bench.rx.Model().Running();
        // Every second solution: most of what 4800 bit/s carries, as a busy
        // unit's line, but not more, or answers would queue past every wait.
        for (quint8 id : {0x02, 0x12, 0x21})
            config.SetRate(Key(0x01, id), target, 2);
        bench.rx.Model().SetRunning(config);
        // 73 s after power-up the receiver's clock reads 12:01:13: NAV-TIMEUTC's
        // seconds byte is then 13, a CR, while the window works.
        bench.rx.Idle(70.0 - bench.rx.Elapsed());
    }
    const qsizetype receivedBefore = bench.rx.Received().size();
    QWidget* window = bench.OpenWindow(target);
    QVERIFY(window);
    if (afterProfile) {
        QCOMPARE(Shown(window), QStringList({"1Hz", "Disabled", "Disabled", "Disabled", "1Hz", "Disabled", "Disabled",
                                             "Disabled", "Disabled"}));
    } else {
        bench.rx.Model().GetTranscript().Clear();
    }
    bench.opens = 0;
    VarnexSim::Faults faults{.silent = setup == QStringLiteral("silent")};
    if (setup == QStringLiteral("unacknowledged rate"))
        faults.neverAck.insert(Key(0x06, 0x01));
    bench.rx.SetFaults(faults);

    QStringList faultsSeen;
    bench.rx.OnWrite([&](const QByteArray&) {
        for (QWidget* control : Controls(window))
            if (control->isEnabled())
                faultsSeen << control->objectName() + QStringLiteral(" enabled");
        if (!window->isEnabled())
            faultsSeen << QStringLiteral("window disabled: it could not be closed");
        if (Timer1(window)->isActive())
            faultsSeen << QStringLiteral("view running");
        if (!Text1(window)->toPlainText().isEmpty())
            faultsSeen << QStringLiteral("view not empty");
    });
    bench.onMessage = [&](const QString& text) {
        if (!OutputBaud(window)->isEnabled() || !RateLists(window)[0]->isEnabled() || !Timer1(window)->isActive())
            faultsSeen << QStringLiteral("window not live at: ") + text;
        if (CommsFrm::SerialPort().Settings() != pcSettings && text == kBaudChanged)
            faultsSeen << QStringLiteral("PC port not yet moved at: ") + text;
        if (!afterProfile)
            return;
        // The live view shows the sentences among the binary frames while the operator reads.
        Text1(window)->clear();
        bench.rx.Idle(1.0);
        if (!QTest::qWaitFor([&] { return Text1(window)->toPlainText().contains(u"$GPRMC"); }, 3000))
            faultsSeen << QStringLiteral("live view stopped at: ") + text;
    };

    for (const QString& action : actions) {
        const QStringList words = action.split(u' ');
        QWidget* control = window->findChild<QPushButton*>(QStringLiteral("ReflashBtn"));
        if (words[0] == QStringLiteral("rate")) {
            QComboBox* list = RateLists(window)[words[1].toInt()];
            QVERIFY(Choose(list, words[2]));
            QCOMPARE(list->currentText(), words[2]);
            control = list;
        } else if (words[0] == QStringLiteral("baud")) {
            QVERIFY(Choose(OutputBaud(window), words[1]));
            QCOMPARE(OutputBaud(window)->currentText(), words[1]);
            control = OutputBaud(window);
        } else if (words[0] == QStringLiteral("focus")) {
            control = RateLists(window)[words[1].toInt()];
            control->setFocus();
            continue;
        } else if (words[0] == QStringLiteral("key")) {
            control = RateLists(window)[words[1].toInt()];
            QCOMPARE(window->focusWidget(), control);
            QTest::keyClick(window->focusWidget(), Qt::Key_Down);
        } else {
            QTest::mouseClick(control, Qt::LeftButton);
        }
        if (window->focusWidget() != control)
            faultsSeen << action + QStringLiteral(": the focus is not back on its control");
    }
    bench.rx.OnWrite({});
    QVERIFY2(faultsSeen.isEmpty(), qPrintable(faultsSeen.join(u", ")));
    const QStringList frames = bench.rx.Frames();
    QCOMPARE(frames.size(), sent.size());
    for (int i = 0; i < frames.size(); ++i)
        QVERIFY2(frames[i].startsWith(sent[i]), qPrintable(frames[i] + QStringLiteral(" not ") + sent[i]));
    QCOMPARE(bench.messages.texts, messages);
    QCOMPARE(CommsFrm::SerialPort().Settings(), pcSettings);
    QCOMPARE(bench.opens, opens);
    QVERIFY(CommsFrm::SerialPort().PortOpen());
    QVERIFY(Timer1(window)->isActive());
    if (afterProfile) {
        // The PC did read navigation frames holding CR and NUL bytes meanwhile.
        UbxStream::Reader reader;
        reader.Append(bench.rx.Received().mid(receivedBefore));
        int binary = 0;
        for (UbxStream::Frame frame; reader.Next(frame);)
            binary += frame.msgClass == 0x01 && frame.payload.contains('\r') && frame.payload.contains('\0');
        QVERIFY2(binary > 0, "no navigation frame with CR and NUL reached the PC");
    }
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
    Bench bench(1);
    QWidget* window = bench.OpenWindow(1);
    QVERIFY(window);
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
    QComboBox* list = row < 0 ? OutputBaud(window) : RateLists(window)[row];
    bench.rx.Model().GetTranscript().Clear();

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
    QCOMPARE(bench.rx.Frames(), QStringList());
    QVERIFY(bench.messages.texts.isEmpty());
}

void TestNmeaSetupWindow::closeWaitsForTheExchangeAndItsResult_data()
{
    QTest::addColumn<bool>("atResult"); // the close comes while the result is shown, else during the exchange
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("result");
    // The request arrives during the re-open cycle's pauses.
    QTest::newRow("during a baud change") << false << "baud" << kBaudChanged;
    QTest::newRow("while the save's result is shown") << true << "save" << kStored;
}

void TestNmeaSetupWindow::closeWaitsForTheExchangeAndItsResult()
{
    QFETCH(bool, atResult);
    QFETCH(QString, action);
    QFETCH(QString, result);
    Bench bench(2);
    QWidget* window = bench.OpenWindow(2);
    QVERIFY(window);
    if (!atResult)
        bench.rx.OnWrite([&](const QByteArray&) {
            if (bench.rx.Written().endsWith(QByteArray::fromHex("B5620600")))
                QMetaObject::invokeMethod(window, "close", Qt::QueuedConnection);
        });
    bool loadedAndOpenAtMessage = false;
    bench.onMessage = [&](const QString&) {
        if (atResult)
            window->close();
        // Held until the operator has confirmed the result.
        loadedAndOpenAtMessage = Forms::Find(QStringLiteral("SetupScreenfrm")) && CommsFrm::SerialPort().PortOpen()
                                 && !Forms::Find(QStringLiteral("CommSetup"));
    };

    if (action == QStringLiteral("baud")) {
        QVERIFY(Choose(OutputBaud(window), QStringLiteral("9600")));
        QCOMPARE(bench.rx.Model().LinkBaud(), 9600);
    } else {
        QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("ReflashBtn")), Qt::LeftButton);
    }
    // The exchange ran to its end on the open port, then the close went through.
    QCOMPARE(bench.messages.texts, QStringList{result});
    QVERIFY(loadedAndOpenAtMessage);
    QVERIFY(!Forms::Find(QStringLiteral("SetupScreenfrm")));
    QVERIFY(Forms::Find(QStringLiteral("CommSetup")));
    QVERIFY(!CommsFrm::SerialPort().PortOpen());
}

// Five sentences at each of five solutions a second: once more than 13 lines
// have come, the view holds an empty first line, twelve whole sentences and
// the one arriving, all of them in sight and from their start, whatever was
// scrolled sideways before. Run at 96 dpi and at 144 (the suite's second run).
void TestNmeaSetupWindow::liveViewKeepsTheNewestSentencesInSight()
{
    Bench bench(1);
    VarnexSim::ReceiverConfig config = bench.rx.Model().Running();
    config.measRateMs = 200;
    for (quint8 id : {0, 1, 2, 4, 5})
        config.SetRate(Key(0xF0, id), 1, 1);
    bench.rx.Model().SetRunning(config);
    QWidget* window = bench.OpenWindow(1);
    QVERIFY(window);
    QPlainTextEdit* view = Text1(window);
    for (int tick = 0; tick < 16; ++tick) {
        view->horizontalScrollBar()->setValue(view->horizontalScrollBar()->maximum());
        bench.rx.Idle(0.1);
        QTest::qWait(Timer1(window)->interval() + 10);
        const QStringList lines = view->toPlainText().split(u'\n');
        if (tick < 8)
            continue; // 13 lines have come by then
        QCOMPARE(lines.size(), 14);
        QVERIFY(lines.first().isEmpty());
        for (int i = 1; i <= 12; ++i)
            QVERIFY2(lines[i].startsWith(u"$GP") && lines[i][lines[i].size() - 3] == u'*', qPrintable(lines[i]));
        const QTextDocument* text = view->document();
        const QRect first = view->cursorRect(QTextCursor(text->firstBlock()));
        const QRect last = view->cursorRect(QTextCursor(text->lastBlock()));
        QVERIFY2(first.top() >= 0 && last.bottom() <= view->viewport()->height(),
                 qPrintable(QStringLiteral("lines from %1 to %2 in a view %3 high")
                                .arg(first.top()).arg(last.bottom()).arg(view->viewport()->height())));
        QCOMPARE(view->horizontalScrollBar()->value(), 0);
    }
}

QTEST_MAIN(TestNmeaSetupWindow)
#include "test_nmea_setup_window.moc"
