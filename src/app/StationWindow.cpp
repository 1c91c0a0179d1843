#include "app/StationWindow.h"

#include "app/StationPanel.h"
#include "link/PortNames.h"
#include "profiles/SetupOutputs.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCommandLineParser>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSocketNotifier>
#include <QVBoxLayout>

#ifndef _WIN32
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {

constexpr const char* kUsage =
    "varnexconfig station [--port PORT]... DEVICE|--profile FILE [--fast] [--verify] [--report FILE] [--record URL]\n"
    "                     [--serial-from-scanner]\n"
    "Opens the station window: one panel per bench port (up to eight), each running the bench loop of\n"
    "configure --repeat on its port. Without --port the ports are chosen in the window.\n";

#ifndef _WIN32
int signalPipe[2] = {-1, -1};

void OnSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto n = ::write(signalPipe[1], &byte, 1);
}
#endif

} // namespace

void StationWindow::CloseOnSignals(StationWindow& window)
{
#ifndef _WIN32
    if (signalPipe[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &window);
    QObject::connect(notifier, &QSocketNotifier::activated, &window, [&window] {
        char byte = 0;
        [[maybe_unused]] const auto n = ::read(signalPipe[0], &byte, 1);
        window.Interrupted();
    });
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(signal, &action, nullptr);
#else
    Q_UNUSED(window);
#endif
}

std::optional<StationWindow::Options> StationWindow::Parse(const QStringList& args, QString& error)
{
    QCommandLineParser p;
    p.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    p.addOptions({{"port", "", "PORT"}, {"profile", "", "FILE"}, {"fast", ""}, {"verify", ""}, {"report", "", "FILE"},
                  {"record", "", "URL"}, {"serial-from-scanner", ""}, {{"h", "help"}, ""}});
    if (!p.parse(QStringList{QStringLiteral("varnexconfig")} + args)) {
        error = QStringLiteral("varnexconfig station: %1\n%2").arg(p.errorText(), QLatin1String(kUsage));
        return std::nullopt;
    }
    if (p.isSet(QStringLiteral("help"))) {
        error = QLatin1String(kUsage);
        return std::nullopt;
    }
    Options o;
    o.ports = p.values(QStringLiteral("port"));
    o.profile = p.value(QStringLiteral("profile"));
    o.fast = p.isSet(QStringLiteral("fast"));
    o.verify = p.isSet(QStringLiteral("verify"));
    o.scanner = p.isSet(QStringLiteral("serial-from-scanner"));
    o.report = p.value(QStringLiteral("report"));
    o.record = p.value(QStringLiteral("record"));
    o.tool = QCoreApplication::applicationFilePath();
    const QStringList rest = p.positionalArguments();
    if (rest.size() == 1 && o.profile.isEmpty() && SetupOutputs::FindProfile(rest[0]))
        o.device = rest[0];
    else if (!(rest.isEmpty() && !o.profile.isEmpty()))
        error = QStringLiteral("varnexconfig station: give one device (sculla, pemmet, molvane, garnock, trissel) or --profile FILE");
    if (o.ports.size() > kMaxPorts || o.ports.removeDuplicates() > 0)
        error = QStringLiteral("varnexconfig station: up to %1 different ports").arg(kMaxPorts);
    if (!error.isEmpty())
        return std::nullopt;
    return o;
}

QStringList StationWindow::StationArguments(const Options& o, const QString& port)
{
    QStringList args{QStringLiteral("configure")};
    if (o.profile.isEmpty())
        args << o.device;
    else
        args << QStringLiteral("--profile") << o.profile;
    args << QStringLiteral("--port") << port << QStringLiteral("--repeat") << QStringLiteral("--events");
    if (o.fast)
        args << QStringLiteral("--fast");
    if (o.verify)
        args << QStringLiteral("--verify");
    if (!o.report.isEmpty())
        args << QStringLiteral("--report") << o.report;
    if (!o.record.isEmpty())
        args << QStringLiteral("--record") << o.record;
    if (o.scanner)
        args << QStringLiteral("--serial") << QStringLiteral("-");
    return args;
}

StationWindow::StationWindow(Options options, QWidget* parent) : QWidget(parent), options_(std::move(options))
{
    setObjectName(QStringLiteral("StationWindow"));
    setWindowTitle(QStringLiteral("VarnexConfig Station"));
    auto* layout = new QVBoxLayout(this);
    if (options_.scanner) {
        auto* row = new QHBoxLayout;
        auto* label = new QLabel(QStringLiteral("Scan:"), this);
        scan_ = new QLineEdit(this);
        scan_->setObjectName(QStringLiteral("Scan"));
        scanWord_ = new QLabel(this);
        scanWord_->setObjectName(QStringLiteral("ScanWord"));
        QFont font = scanWord_->font();
        font.setPointSize(14);
        font.setBold(true);
        scanWord_->setFont(font);
        row->addWidget(label);
        row->addWidget(scan_, 1);
        row->addWidget(scanWord_, 2);
        layout->addLayout(row);
        connect(scan_, &QLineEdit::returnPressed, this, &StationWindow::Scanned);
    }
    grid_ = new QGridLayout;
    layout->addLayout(grid_, 1);
    if (options_.ports.isEmpty())
        BuildChooser();
    else
        StartPorts(options_.ports);
    resize(1200, 760);
}

// Without ports on the command line: one box per port the system has now, and Start.
void StationWindow::BuildChooser()
{
    chooser_ = new QWidget(this);
    chooser_->setObjectName(QStringLiteral("PortChooser"));
    auto* row = new QHBoxLayout(chooser_);
    row->addWidget(new QLabel(QStringLiteral("Bench ports:"), chooser_));
    QList<QCheckBox*> boxes;
    for (const PortNames::Entry& port : PortNames::Mapping()) {
        auto* box = new QCheckBox(QStringLiteral("Port %1").arg(port.number), chooser_);
        box->setProperty("port", QString::number(port.number));
        box->setToolTip(port.path);
        boxes << box;
        row->addWidget(box);
    }
    auto* start = new QPushButton(QStringLiteral("Start"), chooser_);
    start->setObjectName(QStringLiteral("Start"));
    row->addWidget(start);
    grid_->addWidget(chooser_, 0, 0);
    connect(start, &QPushButton::clicked, this, [this, boxes] {
        QStringList ports;
        for (QCheckBox* box : boxes)
            if (box->isChecked())
                ports << box->property("port").toString();
        if (ports.isEmpty() || ports.size() > kMaxPorts)
            return;
        chooser_->hide();
        StartPorts(ports);
    });
}

void StationWindow::StartPorts(const QStringList& ports)
{
    const int columns = ports.size() <= 4 ? int(ports.size()) : 4;
    for (int i = 0; i < ports.size(); ++i) {
        auto* panel = new StationPanel(ports[i], options_.tool, StationArguments(options_, ports[i]), this);
        panels_ << panel;
        grid_->addWidget(panel, 1 + i / columns, i % columns);
        connect(panel, &StationPanel::asksForSerial, this, [this, panel] {
            if (!asking_.contains(panel))
                asking_ << panel;
        });
        connect(panel, &StationPanel::ended, this, &StationWindow::Ended);
        panel->Start();
    }
}

void StationWindow::Scanned()
{
    const QString serial = scan_->text().trimmed();
    scan_->clear();
    asking_.erase(std::remove_if(asking_.begin(), asking_.end(), [](StationPanel* p) { return !p->WaitsForSerial(); }),
                  asking_.end());
    if (serial.isEmpty())
        return Refuse(QStringLiteral("An empty scan is no serial number"));
    if (asking_.isEmpty())
        return Refuse(QStringLiteral("Scan refused: no unit waits for a serial number"));
    StationPanel* panel = asking_.first();
    for (const StationPanel* p : panels_)
        if (p->Model().serial == serial && !p->Model().last.isEmpty() && p->Model().last.first().serial == serial)
            return Refuse(QStringLiteral("Scan refused: \"%1\" is the last unit's serial number on port %2").arg(serial, p->Model().port));
    asking_.removeFirst();
    panel->GiveSerial(serial);
    scanWord_->setText(QStringLiteral("%1 to port %2").arg(serial, panel->Model().port));
}

void StationWindow::Refuse(const QString& why)
{
    QApplication::beep();
    scanWord_->setText(why);
}

// Ctrl-C, SIGTERM or SIGHUP from the terminal that started the window: a
// close that asks nothing, since whoever sent it asked already; the question
// of a close by hand that is still up is taken as its yes.
void StationWindow::Interrupted()
{
    fromSignal_ = true;
    if (question_) {
        question_->done(QMessageBox::Yes);
        return;
    }
    close();
}

void StationWindow::Ended()
{
    if (closeRequests_ > 0 && std::none_of(panels_.begin(), panels_.end(), [](StationPanel* p) { return p->Running(); }))
        close();
}

// The first close lets each running unit finish and record, as a first
// Ctrl-C does, after asking once when units are running; a second close
// abandons them, as a second Ctrl-C does. The window closes once every
// station has ended.
void StationWindow::closeEvent(QCloseEvent* event)
{
    if (std::none_of(panels_.begin(), panels_.end(), [](StationPanel* p) { return p->Running(); })) {
        event->accept();
        return;
    }
    event->ignore();
    if (question_)
        return; // a close while the question is up is that same close
    if (closeRequests_ == 0) {
        const qsizetype running = std::count_if(panels_.begin(), panels_.end(), [](StationPanel* p) { return p->UnitRunning(); });
        if (running > 0 && !fromSignal_) {
            QMessageBox question(QMessageBox::Question, QStringLiteral("VarnexConfig Station"),
                                 QStringLiteral("%1 unit(s) are running. Let them finish and record, then close?").arg(running),
                                 QMessageBox::Yes | QMessageBox::No, this);
            question_ = &question;
            const int answer = question.exec();
            question_ = nullptr;
            if (answer != QMessageBox::Yes && !fromSignal_)
                return;
        }
    }
    fromSignal_ = false;
    ++closeRequests_;
    for (StationPanel* panel : panels_) {
        panel->SetClosing(true);
        panel->Interrupt();
    }
}
