#include "support/SupportFunctions.h"

#include "support/Cancel.h"
#include "support/Clock.h"
#include "support/EventPump.h"
#include "support/Forms.h"

#include <QLabel>
#include <QLocale>
#include <QStatusBar>
#include <QWidget>

#include <algorithm>

namespace SupportFunctions {
namespace {

// The first panel of the main window's status bar, or nullptr.
QLabel* StatusPanel()
{
    QWidget* mainWindow = Forms::Find(QStringLiteral("CommSetup"));
    if (!mainWindow)
        return nullptr;
    auto* bar = mainWindow->findChild<QStatusBar*>(QStringLiteral("StatusBar"));
    return bar ? bar->findChild<QLabel*>(QStringLiteral("Panel1")) : nullptr;
}

StatusSink& CurrentStatusSink()
{
    static StatusSink sink;
    return sink;
}

void SetStatusText(const QString& text)
{
    if (CurrentStatusSink())
        CurrentStatusSink()(text);
    if (!IsFormLoaded(QStringLiteral("CommSetup")))
        return;
    if (QLabel* panel = StatusPanel()) {
        panel->setText(text);
        // Painted now: the thread may go straight on to wait for the receiver.
        panel->repaint();
    }
}

} // namespace

void ShowStatus(const QString& text) { SetStatusText(text); }

void ClearStatus() { SetStatusText(QString()); }

void SetStatusSink(StatusSink sink) { CurrentStatusSink() = std::move(sink); }

bool IsFormLoaded(const QString& formName) { return Forms::Find(formName) != nullptr; }

namespace {
constexpr double kRoundingSlack = 1e-6;
} // namespace

void Delay(float seconds)
{
    const double start = Clock::Now();
    for (;;) {
        const double now = Clock::Now();
        EventPump::PumpEvents();
        const double elapsed = now - start;
        // What is left below a microsecond is rounding: a clock far from
        // zero cannot advance by it, and waiting for it would never end.
        if (elapsed >= seconds - kRoundingSlack || Cancel::Requested())
            return;
        Clock::Sleep(std::min(Timing::InSeconds(Timing::kDelaySlice), seconds - elapsed));
    }
}

float ExtractNumber(const QString& text)
{
    QString kept;
    for (const QChar c : text) {
        if ((c >= u'0' && c <= u'9') || c == u'-' || c == u'.' || c == u',')
            kept.append(c);
    }
    if (kept.isEmpty())
        return 0.0f;
    bool ok = false;
    float value = QLocale::system().toFloat(kept, &ok);
    if (!ok)
        value = QLocale::c().toFloat(kept, &ok);
    return ok ? value : 0.0f;
}

} // namespace SupportFunctions
