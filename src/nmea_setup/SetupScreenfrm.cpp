#include "nmea_setup/SetupScreenfrm.h"

#include "link/CommsFrm.h"
#include "nmea_setup/NmeaView.h"
#include "receiver_config/VarnexCommsRoutines.h"
#include "support/EventPump.h"
#include "support/Forms.h"
#include "support/SupportFunctions.h"
#include "support/Timing.h"
#include "support/Twips.h"
#include "support/WindowSetup.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFontMetricsF>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

const QString kFormName = QStringLiteral("SetupScreenfrm");
const QString kTimerName = QStringLiteral("Timer1");

// The standard NMEA sentences are UBX class 0xF0; a sentence's row in the
// window is its message id.
constexpr std::uint8_t kNmeaClass = 0xF0;

// The window's texts keep their spelling on purpose ("Corse", "sucessfully", "fry"): operators and their documents know them.
constexpr std::array<const char*, SetupScreenfrm::kSentences> kSentenceNames = {
    "$GPGGA (Global Positioning System Fix Data)",
    "$GPGLL (Geographic Position - Lat/Long)",
    "$GPGSA (GNSS DOP and Active Satellites)",
    "$GPGSV (GNSS Satellites in View)",
    "$GPRMC (Recommended Minimum Specific GNSS Data)",
    "$GPVTG (Corse Over Ground and Ground Speed)",
    "$GPGRS (GNSS Range Residuals)",
    "$GPGST (GNSS Pseudorange Error Statistics)",
    "$GPZDA (Time and Date)",
};

// Entry of a rate list and the output rate it sends. The entries name the
// output frequency of a receiver making five solutions a second.
struct RateEntry {
    const char* text;
    VarnexCommsRoutines::OutputRate rate;
};
constexpr std::array<RateEntry, 3> kRateEntries = {{
    {"Disabled", VarnexCommsRoutines::OutputRate::Off},
    {"1Hz", VarnexCommsRoutines::OutputRate::EveryFifthSolution},
    {"5Hz", VarnexCommsRoutines::OutputRate::EverySolution},
}};

constexpr std::array<const char*, 13> kBaudEntries = {
    "110", "300", "600", "1200", "2400", "4800", "9600",
    "14400", "19200", "28800", "38400", "57600", "115200",
};
constexpr int kPreselectedBaud = 12; // "115200", whatever the port's real rate

// Layout in twips (left, top, width, height); controls inside a group are
// placed relative to the group.
constexpr int kClientWidth = 7800;
constexpr int kClientHeight = 7740;
constexpr int kRowPitch = 360;
constexpr int kListLeft = 240;
constexpr int kListTop = 420;   // group-relative top of row 0's place, rows 1..8
constexpr int kListWidth = 1095;
constexpr int kRowHeight = 315;
constexpr int kLabelLeft = 1380;
constexpr int kLabelTop = 480;
constexpr int kLabelWidth = 4275;
constexpr int kFrame2Top = 840;
// The first list stands on the window itself, over the group, at the place
// it would have at group-relative (240, 480).
constexpr int kFirstListTop = kFrame2Top + 480;

constexpr double kWindowPointSize = 8.25;
constexpr double kViewPointSize = 9.75;
constexpr double kViewSmallestPointSize = 6.0;
constexpr double kViewPointStep = 0.25;
constexpr int kViewMargin = 2; // pixels between the box's frame and its text

const QString kRateNotSet = QStringLiteral("The update rate has not been set to the target value, "
                                            "it please restart the Varnex module and this program");

std::uint8_t RateByte(int listIndex)
{
    if (listIndex < 0 || listIndex >= static_cast<int>(kRateEntries.size()))
        return 0;
    return VarnexCommsRoutines::RateByte(kRateEntries[static_cast<std::size_t>(listIndex)].rate);
}

// The entry that shows `rate`; a receiver that did not answer shows "Disabled".
int ListIndex(VarnexCommsRoutines::OutputRate rate)
{
    const auto entry = std::find_if(kRateEntries.begin(), kRateEntries.end(),
                                    [rate](const RateEntry& e) { return e.rate == rate; });
    return entry == kRateEntries.end() ? 0 : static_cast<int>(entry - kRateEntries.begin());
}

// The live view's face: Courier, or any fixed-pitch face standing in for it,
// at the design's size or as much below it as the box needs to hold its
// lines whole. The faces that stand in for Courier have more leading than the
// design's, and a scroll bar's height is the style's, so the size is found
// on the spot, at whatever resolution the screen has.
QFont ViewFont(const QPlainTextEdit* view)
{
    QFont courier(QStringLiteral("Courier"));
    courier.setStyleHint(QFont::TypeWriter);
    courier.setFixedPitch(true);
    const double room = view->height() - 2 * view->frameWidth()
                        - view->horizontalScrollBar()->sizeHint().height() - 2 * view->document()->documentMargin();
    for (double size = kViewPointSize; size >= kViewSmallestPointSize; size -= kViewPointStep) {
        courier.setPointSizeF(size);
        // Metrics at the box's own resolution, which is the screen's. A face
        // with negative leading still takes its full height a line.
        const QFontMetricsF metrics(courier, view);
        if (std::ceil(std::max(metrics.height(), metrics.lineSpacing())) * NmeaView::kLinesShown <= room)
            break;
    }
    return courier;
}

} // namespace

SetupScreenfrm::SetupScreenfrm(std::int32_t nmeaTarget)
    : NmeaTarget(nmeaTarget), actions_(new WindowSetup::ActionGuard(this))
{
    WindowSetup::MakeFixedSize(this, kFormName, QStringLiteral("NMEA Setup"), kClientWidth, kClientHeight,
                               kWindowPointSize);
    // A narrower face where the system has one, so the designed widths hold
    // their captions ("Output Baud Rate", "Disabled") in today's wider fonts.
    QFont narrow = font();
    narrow.setStretch(QFont::SemiCondensed);
    setFont(narrow);
    BuildControls();
    ConnectControls();
    SetFocusOrder();
}

SetupScreenfrm* SetupScreenfrm::Load(std::int32_t nmeaTarget)
{
    if (auto* existing = qobject_cast<SetupScreenfrm*>(Forms::Find(kFormName))) {
        existing->NmeaTarget = nmeaTarget;
        return existing;
    }
    auto* window = new SetupScreenfrm(nmeaTarget);
    window->Form_Load();
    return window;
}

void SetupScreenfrm::BuildControls()
{
    Frame3 = new QGroupBox(QStringLiteral("Communications"), this);
    Frame3->setObjectName(QStringLiteral("Frame3"));
    Twips::Place(Frame3, 0, 0, 5775, 855);
    controls_ << Frame3;

    Label1 = new QLabel(QStringLiteral("Output Baud Rate"), Frame3);
    Label1->setObjectName(QStringLiteral("Label1"));
    Twips::Place(Label1, 180, 360, 1395, 255);
    controls_ << Label1;

    OutputBaud = new QComboBox(Frame3);
    OutputBaud->setObjectName(QStringLiteral("OutputBaud"));
    // The operator may type, but only choosing an entry acts: typed text is
    // never added to the list and never used as a rate.
    OutputBaud->setEditable(true);
    OutputBaud->setInsertPolicy(QComboBox::NoInsert);
    // Qt's editable list completes a typed "1" to "110" and acts on a typed
    // text that matches an entry when editing ends (Enter, Tab, focus lost):
    // no completion, and the end of editing is not connected to anything.
    OutputBaud->setCompleter(nullptr);
    disconnect(OutputBaud->lineEdit(), &QLineEdit::returnPressed, OutputBaud, nullptr);
    disconnect(OutputBaud->lineEdit(), &QLineEdit::editingFinished, OutputBaud, nullptr);
    OutputBaud->setEditText(QStringLiteral("Combo1"));
    Twips::Place(OutputBaud, 1680, 330, 2055, 315);
    controls_ << OutputBaud;

    Frame2 = new QGroupBox(QStringLiteral("Messages"), this);
    Frame2->setObjectName(QStringLiteral("Frame2"));
    Twips::Place(Frame2, 0, kFrame2Top, 5775, 3795);
    controls_ << Frame2;

    BuildMessageTable();

    ReflashBtn = new QPushButton(QStringLiteral("Save Setup"), this);
    ReflashBtn->setObjectName(QStringLiteral("ReflashBtn"));
    ReflashBtn->setAutoDefault(false);
    QFont bold = font();
    bold.setBold(true);
    ReflashBtn->setFont(bold);
    Twips::Place(ReflashBtn, 5880, 3480, 1815, 1095);
    controls_ << ReflashBtn;

    Text1 = new QPlainTextEdit(QStringLiteral("Text1"), this);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setReadOnly(true);
    Text1->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    Text1->setTabChangesFocus(true);
    Text1->setUndoRedoEnabled(false);
    Text1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Text1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Text1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Text1->document()->setDocumentMargin(kViewMargin);
    Twips::Place(Text1, 60, 4680, 7695, 3015);
    Text1->setFont(ViewFont(Text1));
    controls_ << Text1;

    Timer1 = new QTimer(this);
    Timer1->setObjectName(kTimerName);
    controls_ << Timer1;
}

void SetupScreenfrm::BuildMessageTable()
{
    for (int r = 0; r < kSentences; ++r) {
        // Row 0's list belongs to the window, the others to the group.
        auto* list = new QComboBox(r == 0 ? static_cast<QWidget*>(this) : Frame2);
        list->setObjectName(QStringLiteral("UpdateRate"));
        list->setProperty("Index", r);
        list->setEditable(false);
        if (r == 0)
            Twips::Place(list, kListLeft, kFirstListTop, kListWidth, kRowHeight);
        else
            Twips::Place(list, kListLeft, kListTop + kRowPitch * r, kListWidth, kRowHeight);
        UpdateRate[static_cast<std::size_t>(r)] = list;
        controls_ << list;
    }
    // Made after the group, row 0's list is drawn over it.
    UpdateRate[0]->raise();
    for (int r = 0; r < kSentences; ++r) {
        auto* label = new QLabel(QString::fromLatin1(kSentenceNames[static_cast<std::size_t>(r)]), Frame2);
        label->setObjectName(QStringLiteral("MessageDescTxt"));
        label->setProperty("Index", r);
        Twips::Place(label, kLabelLeft, kLabelTop + kRowPitch * r, kLabelWidth, kRowHeight);
        MessageDescTxt[static_cast<std::size_t>(r)] = label;
        controls_ << label;
    }
}

void SetupScreenfrm::ConnectControls()
{
    // activated is the operator's choice of an entry (mouse or keys), also of
    // the entry already shown. Selections made by the program raise the click
    // themselves (Form_Load). A wheel turned while the pointer passes over a
    // list would choose too, so the lists never see the wheel.
    connect(OutputBaud, &QComboBox::activated, this, [this] { OutputBaud_Click(); });
    OutputBaud->installEventFilter(this);
    for (int r = 0; r < kSentences; ++r) {
        QComboBox* list = UpdateRate[static_cast<std::size_t>(r)];
        connect(list, &QComboBox::activated, this, [this, r] { UpdateRate_Click(r); });
        list->installEventFilter(this);
    }
    connect(ReflashBtn, &QPushButton::clicked, this, [this] { ReflashBtn_Click(); });
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1_Timer(); });
}

void SetupScreenfrm::SetFocusOrder()
{
    QList<QWidget*> order{OutputBaud};
    for (QComboBox* list : UpdateRate)
        order << list;
    order << Text1 << ReflashBtn;
    for (qsizetype i = 0; i + 1 < order.size(); ++i)
        setTabOrder(order[i], order[i + 1]);
    OutputBaud->setFocus();
}

void SetupScreenfrm::SetTimerInterval(int milliseconds)
{
    if (milliseconds <= 0) {
        Timer1->stop();
        Timer1->setInterval(0);
    } else {
        Timer1->start(milliseconds);
    }
}

void SetupScreenfrm::Form_Load()
{
    DisableControls();

    for (const char* entry : kBaudEntries)
        OutputBaud->addItem(QString::fromLatin1(entry));
    OutputBaud->setCurrentIndex(kPreselectedBaud);
    // The selection raises the click as the operator's would; the list is
    // disabled, so it sends nothing.
    OutputBaud_Click();

    for (int r = 0; r < kSentences; ++r) {
        QComboBox* list = UpdateRate[static_cast<std::size_t>(r)];
        for (const RateEntry& entry : kRateEntries)
            list->addItem(QString::fromLatin1(entry.text));
        const int index = ListIndex(VarnexCommsRoutines::GetUpdateRate(kNmeaClass, static_cast<std::uint8_t>(r), NmeaTarget));
        if (index < list->count())
            list->setCurrentIndex(index);
        UpdateRate_Click(r);
    }

    EnableControls();
}

void SetupScreenfrm::DisableControls()
{
    for (QObject* control : std::as_const(controls_)) {
        if (control->objectName() == kTimerName)
            continue;
        if (auto* widget = qobject_cast<QWidget*>(control))
            widget->setEnabled(false);
    }
    // The view must not read the port while an exchange waits for its reply.
    SetTimerInterval(0);
    viewText_.clear();
    Text1->clear();
    repaint();
    EventPump::PumpEvents();
}

void SetupScreenfrm::EnableControls()
{
    // Clicks and keys that queued up while a reply wait held input back are
    // delivered now, while every control is still disabled, and so dropped:
    // an operator pressing "Save Setup" on a frozen window must not start a
    // second exchange once it thaws.
    EventPump::PumpEvents();
    for (QObject* control : std::as_const(controls_)) {
        if (control->objectName() == kTimerName)
            continue;
        if (auto* widget = qobject_cast<QWidget*>(control)) {
            widget->setEnabled(true);
            widget->setVisible(true);
        }
    }
    SetTimerInterval(static_cast<int>(Timing::kLiveViewInterval.count()));
    viewText_.clear();
    Text1->clear();
    repaint();
    EventPump::PumpEvents();
}

void SetupScreenfrm::RunExchange(QWidget* control, const std::function<QString()>& exchange)
{
    QString message;
    if (!actions_->Run([&] { message = exchange(); }))
        return;
    // The sweep disabled the control that has the focus, and a disabled
    // control gives it up: it goes back there, so the operator's next key
    // (Down again on a rate list) acts where they left off.
    control->setFocus(Qt::OtherFocusReason);
    // The exchange is over: the operator watches the text arriving (at the
    // new rate, after a baud change) while reading its outcome.
    actions_->ShowOutcome(message);
}

void SetupScreenfrm::UpdateRate_Click(int index)
{
    if (index < 0 || index >= kSentences)
        return;
    QComboBox* list = UpdateRate[static_cast<std::size_t>(index)];
    if (!list->isEnabled())
        return;
    RunExchange(list, [this, list, index] {
        DisableControls();
        const std::uint8_t rate = RateByte(list->currentIndex());
        const bool ok = VarnexCommsRoutines::SetMessageRate(kNmeaClass, static_cast<std::uint8_t>(index), rate, NmeaTarget);
        EnableControls();
        // The list keeps the operator's choice; nothing is read back.
        return ok ? QString() : kRateNotSet;
    });
}

void SetupScreenfrm::OutputBaud_Click()
{
    if (!OutputBaud->isEnabled())
        return;
    RunExchange(OutputBaud, [this] {
        DisableControls();
        // The chosen entry's text, never what may have been typed.
        const QString entry = OutputBaud->itemText(OutputBaud->currentIndex());
        const auto baudRate = static_cast<std::int32_t>(std::lround(SupportFunctions::ExtractNumber(entry)));
        const bool ok = VarnexCommsRoutines::SetBaudRate(baudRate, VarnexCommsRoutines::BaudMode::Confirming, NmeaTarget);
        EnableControls();
        return ok ? QStringLiteral("The serial port baud rate has been sucessfully changed")
                  : QStringLiteral("Changing the baud rate failed, please try again");
    });
}

void SetupScreenfrm::ReflashBtn_Click()
{
    if (!ReflashBtn->isEnabled())
        return;
    RunExchange(ReflashBtn, [this] {
        DisableControls();
        const bool stored = VarnexCommsRoutines::WriteSetupToFlash();
        EnableControls();
        return stored ? QStringLiteral("The current configuration has been stored to flash memory")
                      : QStringLiteral("operation failed, please fry again");
    });
}

void SetupScreenfrm::Timer1_Timer()
{
    // The view shares the receive buffer with the exchanges' reply waits; a
    // window unloaded unseen (its loading abandoned) leaves the port alone.
    if (actions_->Running() || Forms::IsUnloaded(this))
        return;
    QString text;
    if (CommsFrm::IsLoaded() && CommsFrm::SerialPort().PortOpen())
        text = viewText_ + QString::fromLatin1(CommsFrm::SerialPort().Input());
    text = NmeaView::Trim(text);
    if (text != viewText_) {
        viewText_ = text;
        // The raw text is kept beside the box for the next trim; the box
        // shows its newest lines, the newest at the bottom, in sight from
        // the left edge.
        Text1->setPlainText(NmeaView::Shown(viewText_));
        Text1->horizontalScrollBar()->setValue(0);
        Text1->verticalScrollBar()->setValue(Text1->verticalScrollBar()->maximum());
    }
    EventPump::PumpEvents();
    if (!Forms::IsUnloaded(this))
        Text1->repaint();
}

void SetupScreenfrm::closeEvent(QCloseEvent* event)
{
    if (actions_->HoldClose(event))
        return;
    Form_Unload();
    event->accept();
}

bool SetupScreenfrm::eventFilter(QObject* watched, QEvent* event)
{
    // Only the lists are watched: they never see the wheel.
    return event->type() == QEvent::Wheel || QWidget::eventFilter(watched, event);
}

void SetupScreenfrm::Form_Unload()
{
    SetTimerInterval(0);
    // The main window comes back first; its port list is built while this
    // window's port is still open.
    if (QWidget* mainWindow = Forms::Load(QStringLiteral("CommSetup")))
        mainWindow->show();
    if (CommsFrm::IsLoaded()) {
        SerialControl& port = CommsFrm::SerialPort();
        if (port.PortOpen())
            port.SetPortOpen(false);
    }
    Forms::MarkUnloaded(this);
}
