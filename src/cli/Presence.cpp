#include "cli/Presence.h"

#include "cli/Console.h"
#include "cli/Interrupts.h"
#include "cli/Texts.h"
#include "cli/UnitRun.h"
#include "link/CommsFrm.h"
#include "link/PortNames.h"
#include "profiles/Presence.h"
#include "support/Clock.h"
#include "support/EventPump.h"
#include "support/Timing.h"

#include <QFileInfo>

namespace Cli {
namespace {

bool DeviceThere(const QString& path)
{
#ifdef _WIN32
    Q_UNUSED(path);
    return true; // COMn names are no files; the opening tells
#else
    return QFileInfo::exists(path); // a dangling link is not there
#endif
}

// The receiver answers the fast runner's link search at some rate. The port is closed again.
bool Answers()
{
    const bool found = SetupOutputs::FindReceiver(CommsFrm::SerialPort()).has_value();
    CommsFrm::SerialPort().SetPortOpen(false);
    return found;
}

} // namespace

Presence::Presence(const Arguments& a, const QString& path, Console& console, std::function<bool()> deviceKept)
    : a_(a), path_(path), console_(console), deviceKept_(std::move(deviceKept)), there_(DeviceThere(path))
{
}

Presence::After Presence::UntilGone(int number, std::int32_t rate, bool passed)
{
    Look();
    if (!opens_ || !deviceKept_()) {
        if (there_)
            return After::Ended;
        console_.Line(QStringLiteral("Unit %1 on port %2 is gone").arg(number).arg(a_.port));
        return After::Gone;
    }
    SerialControl& port = CommsFrm::SerialPort();
    port.SetRate(rate);
    port.SetPortOpen(true);
    const QString waiting = QStringLiteral("Unit %1 done: remove it").arg(number);
    start_ = Clock::Now();
    shown_ = -1;
    console_.SetProbing(true);
    bool ended = false;
    // A unit that failed may answer anything: only its going counts.
    const ::Presence::LeftUnit left{rate, passed ? std::optional(::Presence::CheapRead(*a_.device)) : std::nullopt};
    const ::Presence::Verdict verdict = ::Presence::Watch(port, left, [&] {
        Show(waiting);
        EventPump::PumpEvents();
        ended = Interrupts::Count() || !deviceKept_();
        return ended || !DeviceThere(path_);
    });
    console_.SetProbing(false);
    port.SetPortOpen(false);
    if (ended)
        return After::Ended;
    if (verdict == ::Presence::Verdict::NewBoard) {
        console_.Line(QStringLiteral("A new board is on port %1 in place of unit %2").arg(a_.port).arg(number));
        return After::NewBoard;
    }
    console_.Line(QStringLiteral("Unit %1 on port %2 is gone").arg(number).arg(a_.port));
    return After::Gone;
}

bool Presence::UntilPresent(int number)
{
    return Loop(QStringLiteral("Waiting for unit %1").arg(number), [&] { return opens_ && Answers(); });
}

template <typename Done>
bool Presence::Loop(const QString& waiting, Done done)
{
    start_ = Clock::Now();
    shown_ = -1;
    console_.SetProbing(true);
    bool reached = false;
    while (!Interrupts::Count() && deviceKept_()) {
        Look();
        if (done()) {
            reached = true;
            break;
        }
        Show(waiting);
        // One pause, not Delay's slices: a wait of hours on the virtual
        // clock must not shrink its steps below the clock's resolution.
        EventPump::PumpEvents();
        Clock::Sleep(Timing::InSeconds(Timing::kBenchLoopLook));
    }
    console_.SetProbing(false);
    return reached;
}

void Presence::Look()
{
    const bool there = DeviceThere(path_);
    if (there != there_)
        console_.Line(QStringLiteral("Port %1 (%2) is %3").arg(a_.port, path_, there ? QStringLiteral("back") : QStringLiteral("gone")));
    there_ = there;
    TargetPort(a_, path_);
    // A device that is there but will not open (another program holds it)
    // is said once, not taken for an empty port.
    const QString error = there ? TryOpen() : QString();
    opens_ = there && error.isEmpty();
    if (!error.isEmpty() && error != openError_)
        console_.Line(Texts::CannotOpenPort(a_.port, PortNames::OpenFailure(path_, error)));
    openError_ = error;
}

void Presence::Show(const QString& waiting)
{
    const int waited = int(Clock::Now() - start_);
    if (waited == shown_)
        return;
    console_.Waiting(QStringLiteral("%1 on port %2 (%3): %4 s (Ctrl-C ends)").arg(waiting, a_.port, path_).arg(waited),
                     shown_ < 0);
    shown_ = waited;
}

} // namespace Cli
