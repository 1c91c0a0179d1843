#include "station/Station.h"

#include "link/SerialControl.h"
#include "station/Signs.h"
#include "support/Clock.h"
#include "support/EventPump.h"
#include "support/Timing.h"

#include <QFileInfo>

#include <algorithm>

namespace Station {
namespace {

using Timing::InSeconds;

bool DeviceThere(const QString& path)
{
#ifdef _WIN32
    Q_UNUSED(path);
    return true; // COMn names are no files; the opening tells
#else
    return QFileInfo::exists(path); // a dangling link is not there
#endif
}

double Look() { return InSeconds(Timing::kBenchLoopLook); }

// Where the runs and the proof move a unit's link, so where one may be left
// when its last acknowledgement was lost.
constexpr std::int32_t kRunsRate = 115200;

} // namespace

Bench::Bench(SerialControl& port, const QString& path, const SetupOutputs::Profile& profile, Hooks hooks)
    : port_(port),
      path_(path),
      hooks_(std::move(hooks)),
      check_(CheapRead(profile)),
      savedRates_(Verification::LinkRates(Verification::ExpectedState(profile))),
      machine_(InSeconds(Timing::kUnitGoneAfter)),
      line_(port)
{
}

void Bench::Feed(Event event)
{
    if (const auto change = machine_.On(event, Clock::Now()); change && hooks_.changed)
        hooks_.changed(*change);
}

void Bench::Close() { port_.SetPortOpen(false); }

// One look's pause, not Delay's slices: a wait of hours on the virtual clock
// must not shrink its steps below the clock's resolution.
void Bench::Pause()
{
    EventPump::PumpEvents();
    Clock::Sleep(Look());
}

void Bench::Run()
{
    while (!ended_ && !hooks_.stop()) {
        LookAtDevice();
        const State state = machine_.Current();
        if ((state == State::NoDevice || state == State::Waiting) && !asked_) {
            // The next unit's serial number is asked once the last one has gone.
            if (!hooks_.beforeUnit(machine_.Unit() + 1))
                break;
            asked_ = true;
            continue;
        }
        switch (state) {
        case State::NoDevice: Progress(); Pause(); break;
        case State::Waiting: LookForUnit(); break;
        case State::Running: RunUnit(); break;
        case State::Left: WatchLeftUnit(); break;
        case State::Gone: Feed(Event::Tick); break;
        }
    }
    Close();
}

// The stable name is looked at before anything else: a vanished device is
// closed at once, so that the system can give the next board the same name.
void Bench::LookAtDevice()
{
    const bool there = DeviceThere(path_);
    if (there == there_ && machine_.Current() != State::NoDevice)
        return;
    if (!there)
        Close();
    // The first look finds the device as it is: only a change is news.
    if (there != there_ && looked_ && hooks_.noted)
        hooks_.noted(there ? Note::DeviceBack : Note::DeviceGone, path_, 0);
    there_ = there;
    looked_ = true;
    Feed(there ? Event::DeviceAppeared : Event::DeviceVanished);
}

void Bench::LookForUnit()
{
    Progress();
    if (!Opened(port_.SetPortOpen(true))) {
        Pause();
        return;
    }
    const bool found = SetupOutputs::FindReceiver(port_).has_value();
    Close();
    if (found)
        Feed(Event::Answered);
    else
        Pause();
}

void Bench::RunUnit()
{
    // A new board told by its state takes the place of the last one at once:
    // its serial number is asked now.
    asked_ = asked_ || hooks_.beforeUnit(machine_.Unit());
    if (!asked_) {
        ended_ = true;
        return;
    }
    const UnitEnd end = hooks_.runUnit(machine_.Unit(), path_);
    asked_ = false;
    // Where the unit may be now: where the PC last heard it, where its
    // saved link puts it after a load (a lost ACK leaves the PC behind),
    // and the rate the runs move it to.
    listenRate_ = end.rate > 0 ? end.rate : savedRates_.empty() ? 9600 : savedRates_.front();
    rates_ = {listenRate_};
    std::vector<std::int32_t> others = savedRates_;
    others.push_back(kRunsRate);
    for (const std::int32_t rate : others)
        if (std::find(rates_.begin(), rates_.end(), rate) == rates_.end())
            rates_.push_back(rate);
    Feed(end.passed ? Event::RunPassed : Event::RunFailed);
    Close();
}

void Bench::WatchLeftUnit()
{
    Progress();
    if (!there_) {
        Pause();
        Feed(Event::Tick); // missing for the gone limit: gone
        return;
    }
    if (!Opened(Reopen(port_, line_, listenRate_))) {
        Close();
        Pause();
        return;
    }
    if (line_.Rate() != listenRate_)
        line_.MoveTo(listenRate_);
    const double start = Clock::Now();
    const Sign sign = Listen(line_, start + Look());
    if (Vanished())
        return;
    if (sign == Sign::Talks)
        return Heard(Event::Talks);
    if (Clock::Now() - machine_.LastSign() >= 2 * Look())
        machine_.MarkQuiet();
    // Framing errors: something talks at another rate, as a unit whose link
    // moved without the PC does. Silence for the gone limit: a unit whose
    // output is all off shows itself only by answering.
    if (sign == Sign::Noise && Relocate(true))
        return;
    if (!machine_.SilentTooLong(Clock::Now()))
        return;
    if (!Relocate(false) && !Vanished()) {
        Close();
        Feed(Event::Quiet);
    }
}

// The device went away under the open port during a look or an ask: not a
// silence of the unit. The port is closed at once; the next look at the
// stable name tells whether it is missing (the same unit for the gone
// limit) or back already, in which case what answers next is checked.
bool Bench::Vanished()
{
    if (!port_.PortGone() && DeviceThere(path_))
        return false;
    Close();
    machine_.MarkQuiet();
    return true;
}

bool Bench::Relocate(bool skipCurrent)
{
    std::vector<std::int32_t> rates;
    for (const std::int32_t rate : rates_)
        if (!skipCurrent || rate != listenRate_)
            rates.push_back(rate);
    const auto rate = AnswersAt(line_, rates);
    if (!rate)
        return false;
    if (*rate != listenRate_ && hooks_.noted)
        hooks_.noted(Note::FoundAtRate, QString::number(*rate), 0);
    listenRate_ = *rate;
    rates_.erase(std::remove(rates_.begin(), rates_.end(), *rate), rates_.end());
    rates_.insert(rates_.begin(), *rate);
    Heard(Event::Answered);
    return true;
}

// Whether the port opened, fed to the machine; a spell of not opening is
// said once at its start and once at its end, with how long it lasted.
bool Bench::Opened(bool opened)
{
    const bool unopenable = machine_.Unopenable();
    const double since = machine_.UnopenableSince();
    Feed(opened ? Event::Opened : Event::OpenFailed);
    if (!hooks_.noted || opened != unopenable)
        return opened;
    if (opened)
        hooks_.noted(Note::OpensAgain, {}, Clock::Now() - since);
    else
        hooks_.noted(Note::CannotOpen, port_.LastError(), 0);
    return opened;
}

// A sign of the left unit (its output, or an answer). After a quiet or
// missing moment it may be another board's: one poll of what was just
// saved tells.
void Bench::Heard(Event sign)
{
    if (machine_.NeedsCheck() && machine_.Passed() && Same(line_, check_) == false) {
        Close();
        Feed(Event::NewBoard);
        return;
    }
    Feed(sign);
}

void Bench::Progress()
{
    if (!hooks_.waiting)
        return;
    const State state = machine_.Current();
    const bool unopenable = machine_.Unopenable();
    if (state != shownState_) {
        shownState_ = state;
        shownSince_ = Clock::Now();
        shownSeconds_ = -1;
    }
    const double waited = Clock::Now() - (unopenable ? machine_.UnopenableSince() : shownSince_);
    if (int(waited) == shownSeconds_)
        return;
    shownSeconds_ = int(waited);
    hooks_.waiting(state, state == State::Left ? machine_.Unit() : machine_.Unit() + 1, waited);
}

} // namespace Station
