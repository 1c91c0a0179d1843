#include "app/StationPanel.h"

#include <QJsonDocument>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#ifndef _WIN32
#include <csignal>
#endif
#ifdef __linux__
#include <sys/prctl.h>
#endif

namespace {

using StationView::Look;

constexpr int kLastWords = 4;

// Background and text colour of each state; the word beside it says the same.
QString Colours(Look look)
{
    switch (look) {
    case Look::Pass: return QStringLiteral("background:#1b7f3a; color:white;");
    case Look::Fail: return QStringLiteral("background:#b3261e; color:white;");
    case Look::Running: return QStringLiteral("background:#1f5fa8; color:white;");
    case Look::Scan: return QStringLiteral("background:#f2c200; color:black;");
    case Look::Blocked:
    case Look::Stopped: return QStringLiteral("background:#6d4c41; color:white;");
    case Look::Insert:
    case Look::Idle: break;
    }
    return QStringLiteral("background:#e0e0e0; color:black;");
}

QLabel* Label(QWidget* parent, const char* name, int pointSize, bool bold = false)
{
    auto* label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    QFont font = label->font();
    font.setPointSize(pointSize);
    font.setBold(bold);
    label->setFont(font);
    label->setWordWrap(true);
    return label;
}

} // namespace

StationPanel::StationPanel(const QString& port, const QString& tool, const QStringList& arguments, QWidget* parent)
    : QFrame(parent), tool_(tool), arguments_(arguments)
{
    setObjectName(QStringLiteral("StationPanel"));
    setProperty("port", port);
    setFrameShape(QFrame::Box);
    model_.port = port;
    child_.setParent(this); // found among the panel's children, as the station of that panel
    child_.setObjectName(QStringLiteral("Station"));
    title_ = Label(this, "PortTitle", 14, true);
    device_ = Label(this, "Device", 11);
    state_ = Label(this, "State", 30, true);
    state_->setAlignment(Qt::AlignCenter);
    state_->setMinimumHeight(90);
    detail_ = Label(this, "Detail", 13);
    serial_ = Label(this, "Serial", 14);
    counts_ = Label(this, "Counts", 14);
    last_ = new QListWidget(this);
    last_->setObjectName(QStringLiteral("LastUnits"));
    last_->setFocusPolicy(Qt::NoFocus);
    QFont listFont = last_->font();
    listFont.setPointSize(12);
    last_->setFont(listFont);
    restart_ = new QPushButton(QStringLiteral("Restart the station"), this);
    restart_->setObjectName(QStringLiteral("Restart"));
    restart_->hide();
    auto* layout = new QVBoxLayout(this);
    for (QWidget* w : std::initializer_list<QWidget*>{title_, device_, state_, detail_, serial_, counts_, last_, restart_})
        layout->addWidget(w);
#ifdef __linux__
    // A window that dies without closing (killed) still ends its stations,
    // as a first Ctrl-C would: the unit in progress finishes and records.
    child_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGINT); });
#endif
    connect(&child_, &QProcess::readyReadStandardOutput, this, &StationPanel::ReadEvents);
    connect(&child_, &QProcess::readyReadStandardError, this, &StationPanel::ReadWords);
    connect(&child_, &QProcess::finished, this, &StationPanel::Finished);
    connect(restart_, &QPushButton::clicked, this, &StationPanel::Start);
    Draw();
}

StationPanel::~StationPanel()
{
    // A window torn down with its children still running leaves none behind.
    if (Running()) {
        child_.kill();
        child_.waitForFinished(5000);
    }
}

void StationPanel::Start()
{
    restart_->hide();
    lastWords_.clear();
    pending_.clear();
    StationView::Show(model_, Look::Idle, QStringLiteral("Starting"));
    child_.start(tool_, arguments_);
    Draw();
}

void StationPanel::Interrupt()
{
#ifndef _WIN32
    if (Running())
        ::kill(pid_t(child_.processId()), SIGINT);
#else
    child_.kill(); // a console program on Windows gets no Ctrl-C from here
#endif
}

void StationPanel::GiveSerial(const QString& serial)
{
    model_.waitsForSerial = false;
    child_.write((serial + u'\n').toLocal8Bit());
    StationView::Show(model_, Look::Insert, QStringLiteral("Insert a unit"), QStringLiteral("serial %1").arg(serial));
    model_.serial = serial;
    Draw();
}

void StationPanel::ReadEvents()
{
    pending_ += child_.readAllStandardOutput();
    bool asked = false;
    for (qsizetype end = pending_.indexOf('\n'); end >= 0; end = pending_.indexOf('\n')) {
        const QJsonObject event = QJsonDocument::fromJson(pending_.left(end)).object();
        pending_.remove(0, end + 1);
        if (event.isEmpty())
            continue;
        StationView::Apply(model_, event);
        asked = asked || event["event"].toString() == QLatin1String("serial");
    }
    Draw();
    if (asked)
        emit asksForSerial();
}

void StationPanel::ReadWords()
{
    for (const QString& line : QString::fromLocal8Bit(child_.readAllStandardError()).split(u'\n', Qt::SkipEmptyParts)) {
        const QString words = line.section(u'\r', -1).trimmed(); // a terminal's progress redraws its line
        if (!words.isEmpty())
            lastWords_ << words;
    }
    while (lastWords_.size() > kLastWords)
        lastWords_.removeFirst();
}

void StationPanel::Finished()
{
    ReadEvents();
    ReadWords();
    if (!closing_) {
        StationView::Stopped(model_, lastWords_.join(u'\n'));
        restart_->show();
    } else {
        StationView::Show(model_, Look::Stopped, QStringLiteral("Closed"));
    }
    Draw();
    emit ended();
}

void StationPanel::Draw()
{
    const StationView::PanelModel& m = model_;
    title_->setText(QStringLiteral("Port %1%2").arg(m.port, m.path.isEmpty() ? QString() : QStringLiteral("  (%1)").arg(m.path)));
    device_->setText(m.sha256.isEmpty() ? m.device : QStringLiteral("%1  sha256 %2").arg(m.device, m.sha256.left(16)));
    state_->setText(m.word);
    state_->setStyleSheet(Colours(m.look));
    state_->setAccessibleName(m.word);
    detail_->setText(m.detail);
    serial_->setText(m.serial.isEmpty() ? QStringLiteral("Serial: -") : QStringLiteral("Serial: %1").arg(m.serial));
    counts_->setText(QStringLiteral("Passed %1   Failed %2   Yield %3").arg(m.passed).arg(m.failed).arg(StationView::Yield(m)));
    last_->clear();
    for (const StationView::LastUnit& u : m.last)
        last_->addItem(QStringLiteral("%1  %2  %3  %4")
                           .arg(u.time.toLocalTime().toString(QStringLiteral("HH:mm:ss")),
                                u.serial.isEmpty() ? QStringLiteral("-") : u.serial,
                                u.passed ? QStringLiteral("PASS") : QStringLiteral("FAIL"), u.reason));
    emit changed();
}
