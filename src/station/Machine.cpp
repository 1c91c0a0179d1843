#include "station/Machine.h"

#include <array>

namespace Station {
namespace {

using enum State;
using enum Event;

// clang-format off
constexpr std::array kTable{
    //  from      event           to        when
    Row{NoDevice, DeviceAppeared, Waiting},
    Row{Waiting,  DeviceVanished, NoDevice},
    Row{Waiting,  OpenFailed,     Waiting},
    Row{Waiting,  Opened,         Waiting},
    Row{Waiting,  Answered,       Running},
    Row{Running,  RunPassed,      Left},
    Row{Running,  RunFailed,      Left},
    Row{Left,     Talks,          Left},
    Row{Left,     Answered,       Left},
    Row{Left,     OpenFailed,     Left},
    Row{Left,     Opened,         Left},
    Row{Left,     DeviceVanished, Left},
    Row{Left,     DeviceAppeared, Gone,     When::MissingPastLimit},
    Row{Left,     DeviceAppeared, Left},
    Row{Left,     Tick,           Gone,     When::MissingPastLimit},
    Row{Left,     Quiet,          Gone},
    Row{Left,     NewBoard,       Running},
    Row{Gone,     DeviceVanished, NoDevice},
    Row{Gone,     DeviceAppeared, Waiting},
    Row{Gone,     Tick,           Waiting,  When::DevicePresent},
    Row{Gone,     Tick,           NoDevice},
};
// clang-format on

} // namespace

const char* Name(State state)
{
    switch (state) {
    case NoDevice: return "no device";
    case Waiting: return "waiting";
    case Running: return "running";
    case Left: return "left";
    case Gone: return "gone";
    }
    return "?";
}

const char* Name(Event event)
{
    switch (event) {
    case DeviceAppeared: return "device appeared";
    case DeviceVanished: return "device vanished";
    case Opened: return "opened";
    case OpenFailed: return "cannot be opened";
    case Answered: return "answered";
    case Talks: return "talks";
    case Quiet: return "quiet";
    case NewBoard: return "new board";
    case RunPassed: return "run passed";
    case RunFailed: return "run failed";
    case Tick: return "tick";
    }
    return "?";
}

std::span<const Row> Table() { return kTable; }

bool Machine::Holds(When when, double now) const
{
    switch (when) {
    case When::Always: return true;
    case When::MissingPastLimit: return missing_ && now - missingSince_ >= goneLimit_;
    case When::DevicePresent: return present_;
    }
    return false;
}

// What an event tells whatever the state: the device's presence and whether it opens.
void Machine::Note(Event event, double now)
{
    switch (event) {
    case DeviceAppeared:
        present_ = true;
        break;
    case DeviceVanished:
        present_ = false;
        unopenable_ = false;
        if (state_ == Left && !missing_) {
            missing_ = true;
            missingSince_ = now;
        }
        break;
    case OpenFailed:
        if (!unopenable_)
            unopenableSince_ = now;
        unopenable_ = true;
        break;
    case Opened:
        // While the port could not be opened nothing could be heard: the
        // silence is counted afresh, and what answers first is checked.
        if (unopenable_ && state_ == Left) {
            lastSign_ = now;
            needsCheck_ = true;
        }
        unopenable_ = false;
        break;
    default:
        break;
    }
}

std::optional<Change> Machine::On(Event event, double now)
{
    Note(event, now);
    for (const Row& row : kTable) {
        if (row.from != state_ || row.event != event || !Holds(row.when, now))
            continue;
        const State from = state_;
        if (from == Left && row.to == Left) {
            if (event == Talks || event == Answered) {
                lastSign_ = now;
                needsCheck_ = false;
            } else if (event == DeviceAppeared && missing_) {
                missing_ = false;
                lastSign_ = now;
                needsCheck_ = true;
            }
        }
        Enter(row.to, event, now);
        if (from == row.to)
            return std::nullopt;
        return Change{from, row.to, event, unit_};
    }
    return std::nullopt;
}

void Machine::Enter(State to, Event event, double now)
{
    if (to == state_)
        return;
    if (to == Running) {
        ++unit_;
        passed_ = false;
    }
    if (to == Left) {
        passed_ = event == RunPassed;
        lastSign_ = now;
        needsCheck_ = false;
        missing_ = !present_;
        missingSince_ = now;
    }
    state_ = to;
}

} // namespace Station
