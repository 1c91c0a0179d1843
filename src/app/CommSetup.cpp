#include "app/CommSetup.h"

#include "app/DropDownList.h"
#include "app/MainActions.h"
#include "link/CommsFrm.h"
#include "link/PortNames.h"
#include "profiles/SetupOutputs.h"
#include "support/Cancel.h"
#include "support/Forms.h"
#include "support/MessageBox.h"
#include "support/Twips.h"
#include "support/WindowSetup.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>

namespace {

const QString kFormName = QStringLiteral("CommSetup");

constexpr int kFirstPort = 1;
constexpr int kLastPort = 8;

// Layout in twips: client area, frames (left, top, width, height) and the
// buttons inside each frame (button i at top 240 + 360 * i).
constexpr int kClientWidth = 2790;
constexpr int kClientHeight = 7680;
constexpr int kButtonLeft = 360;
constexpr int kButtonTop = 240;
constexpr int kButtonPitch = 360;
constexpr int kButtonWidth = 1815;
constexpr int kButtonHeight = 315;

// Button i of each group is device i of the device table.
const char* SetupCaption(const SetupOutputs::Profile& device) { return device.setupCaption; }
const char* NmeaCaption(const SetupOutputs::Profile& device) { return device.nmeaCaption; }

} // namespace

// The icon is a resource of the static library, and a linker keeps a library's
// resources only when something names them. Outside any namespace: the macro
// declares the resource's registration function at global scope.
static QIcon ProgramIcon()
{
    Q_INIT_RESOURCE(resources);
    return QIcon(QStringLiteral(":/icon.png"));
}

CommSetup::CommSetup() : actions_(new WindowSetup::ActionGuard(this))
{
    WindowSetup::MakeFixedSize(this, kFormName, QStringLiteral("GPS Configuration Tool"), kClientWidth,
                               kClientHeight, 8.0);
    // The application's icon is also the one of the message boxes and the NMEA Setup window.
    QApplication::setWindowIcon(ProgramIcon());
    setWindowIcon(QApplication::windowIcon());
    BuildControls();
    SetFocusOrder();
}

CommSetup* CommSetup::Load()
{
    QPointer<CommSetup> window = new CommSetup;
    window->Form_Load();
    if (!window || Forms::IsUnloaded(window))
        return nullptr;
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        window->move(screen->availableGeometry().center() - window->rect().center());
    return window;
}

void CommSetup::BuildControls()
{
    SelectPort = new DropDownList(this);
    SelectPort->setObjectName(QStringLiteral("SelectPort"));
    SelectPort->setEditable(false);
    Twips::Place(SelectPort, 120, 120, 2535, 315);
    connect(SelectPort, &DropDownList::dropDown, this, &CommSetup::SelectPort_DropDown);

    Frame3 = new QGroupBox(QStringLiteral("Reflash GPS"), this);
    Frame3->setObjectName(QStringLiteral("Frame3"));
    Twips::Place(Frame3, 120, 480, 2535, 2175);
    BuildButtonGroup(Frame3, ReflashBtn, "ReflashBtn", SetupCaption);

    Frame2 = new QGroupBox(QStringLiteral("Set up GPS system for"), this);
    Frame2->setObjectName(QStringLiteral("Frame2"));
    Twips::Place(Frame2, 120, 2760, 2535, 2175);
    BuildButtonGroup(Frame2, SetAllOutputs, "SetAllOutputs", SetupCaption);

    Frame1 = new QGroupBox(QStringLiteral("Setup NMEA output"), this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Twips::Place(Frame1, 120, 5040, 2535, 2175);
    BuildButtonGroup(Frame1, SetNmeaOuputBtn, "SetNmeaOuputBtn", NmeaCaption);

    StatusBar = new QStatusBar(this);
    StatusBar->setObjectName(QStringLiteral("StatusBar"));
    StatusBar->setSizeGripEnabled(false);
    Twips::Place(StatusBar, 0, 7305, 2790, 375);
    Panel1 = new QLabel(StatusBar);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    StatusBar->addWidget(Panel1, 1);

    // All connections of the three button arrays in one place: each button
    // passes its index to its array's handler.
    for (int i = 0; i < kButtons; ++i) {
        connect(SetAllOutputs[i], &QPushButton::clicked, this, [this, i] { SetAllOutputs_Click(i); });
        connect(SetNmeaOuputBtn[i], &QPushButton::clicked, this, [this, i] { SetNmeaOuputBtn_Click(i); });
        connect(ReflashBtn[i], &QPushButton::clicked, this, [this, i] { ReflashBtn_Click(i); });
    }
}

void CommSetup::BuildButtonGroup(QGroupBox* frame, std::array<QPushButton*, kButtons>& buttons,
                                 const char* name, const char* (*caption)(const SetupOutputs::Profile&))
{
    const auto devices = SetupOutputs::Profiles();
    for (int i = 0; i < kButtons; ++i) {
        auto* button = new QPushButton(QString::fromLatin1(caption(devices[static_cast<std::size_t>(i)])), frame);
        button->setObjectName(QString::fromLatin1(name));
        button->setProperty("Index", i);
        button->setAutoDefault(false);
        Twips::Place(button, kButtonLeft, kButtonTop + kButtonPitch * i, kButtonWidth, kButtonHeight);
        buttons[i] = button;
    }
}

void CommSetup::SetFocusOrder()
{
    // The list first; then the three groups' buttons but the bottom one, group
    // by group; the three bottom buttons come last, in the order they were added.
    constexpr int last = kButtons - 1;
    QList<QWidget*> order{SelectPort};
    for (int i = 0; i < last; ++i)
        order << SetAllOutputs[i];
    for (int i = 0; i < last; ++i)
        order << SetNmeaOuputBtn[i];
    for (int i = 0; i < last; ++i)
        order << ReflashBtn[i];
    order << ReflashBtn[last] << SetAllOutputs[last] << SetNmeaOuputBtn[last];
    for (qsizetype i = 0; i + 1 < order.size(); ++i)
        setTabOrder(order[i], order[i + 1]);
    SelectPort->setFocus();
}

void CommSetup::Form_Load()
{
    FillPortList();
    if (Forms::IsUnloaded(this))
        return;
    for (QPushButton* button : ReflashBtn)
        button->setEnabled(false);
}

void CommSetup::FillPortList()
{
    SelectPort->clear();
    SerialControl& port = CommsFrm::SerialPort();
    const QList<PortNames::Entry> mapping = PortNames::Mapping();
    for (int n = kFirstPort; n <= kLastPort; ++n) {
        // Both steps always run; the port counts only when neither failed.
        const bool numbered = port.SetCommPort(n);
        const bool opened = port.SetPortOpen(true);
        if (numbered && opened) {
            SelectPort->addItem(QStringLiteral("Serial Port %1").arg(n));
            // Hovering an entry tells which device it is.
            for (const PortNames::Entry& entry : mapping)
                if (entry.number == n)
                    SelectPort->setItemData(SelectPort->count() - 1, PortNames::Summary(entry), Qt::ToolTipRole);
        }
        port.SetPortOpen(false);
    }
    if (SelectPort->count() > 0)
        SelectPort->setCurrentIndex(0);
    else
        NoPortsCanOpen();
}

void CommSetup::NoPortsCanOpen()
{
    MessageBox::Show(QStringLiteral("Cannot open any serial ports!"));
    CommsFrm::Unload();
    Forms::Unload(this);
    // Ends the event loop without closing the remaining windows one by one
    // (which quit() would do): the program has nothing left to show.
    QCoreApplication::exit(0);
}

void CommSetup::SelectPort_DropDown() { FillPortList(); }

void CommSetup::Form_QueryUnload() { CommsFrm::Unload(); }

void CommSetup::closeEvent(QCloseEvent* event)
{
    if (actions_->HoldClose(event)) {
        // A search for the receiver's rate is given up at its next wait;
        // any other action runs to its end before the window closes.
        Cancel::Request();
        return;
    }
    Form_QueryUnload();
    Forms::MarkUnloaded(this);
    event->accept();
}

void CommSetup::RunAction(const std::function<void()>& action)
{
    if (actions_->Run(action))
        actions_->CloseIfHeld();
}

void CommSetup::SetAllOutputs_Click(int index)
{
    RunAction([this, index] { MainActions::SetAllOutputs(SelectPort->currentText(), index); });
}

void CommSetup::SetNmeaOuputBtn_Click(int index)
{
    RunAction([this, index] {
        MainActions::SetNmeaOutput(SelectPort->currentText(), index, [this] { return actions_->CloseHeld(); });
    });
}

void CommSetup::ReflashBtn_Click(int index)
{
    RunAction([this, index] { MainActions::Reflash(SelectPort->currentText(), index); });
}
