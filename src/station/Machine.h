#pragma once

#include <optional>
#include <span>

// A bench station's life as one state machine: where the port's device is,
// whether a unit is on it, running or left there, and when it has gone. The
// machine only counts: it sends nothing, opens nothing and reads no clock;
// the station feeds it what it saw and when, and the console, the record and
// the events read what it says back.
namespace Station {

enum class State {
    NoDevice, // the port's stable name leads to no device
    Waiting,  // a device is there, no unit has answered yet
    Running,  // a unit's run is under way
    Left,     // the unit's run has ended (done or failed): waiting for its removal
    Gone,     // the unit has left; the next event starts the wait for the next one
};

enum class Event {
    DeviceAppeared, // the stable name leads to a device (again)
    DeviceVanished, // the stable name leads to nothing
    Opened,         // the device opened
    OpenFailed,     // the device is there but cannot be opened (another program has it)
    Answered,       // the unit answered a poll
    Talks,          // the unit's own whole messages were heard
    Quiet,          // nothing from the unit, not even an answer, for the gone limit
    NewBoard,       // what answers reads otherwise than the unit just configured
    RunPassed,      // the unit's run ended done
    RunFailed,      // the unit's run ended in any other way
    Tick,           // time passed with nothing else seen
};

const char* Name(State state);
const char* Name(Event event);

// When a row holds: always, or only when the left unit's device has been
// missing for the gone limit, or only while a device is there.
enum class When { Always, MissingPastLimit, DevicePresent };

// One row of the table: in `from`, `event` leads to `to` when `when` holds.
struct Row {
    State from;
    Event event;
    State to;
    When when = When::Always;
};
// Every transition the station makes, the first row that holds taken; an
// event a state has no row for changes nothing. A device missing for less
// than the gone limit is the same unit.
std::span<const Row> Table();

// What a step of the machine changed.
struct Change {
    State from;
    State to;
    Event event;
    int unit; // the unit the change is about (0 before the first)
};

class Machine {
public:
    // `goneLimit`: seconds a unit may be missing or silent and still be the same unit.
    explicit Machine(double goneLimit) : goneLimit_(goneLimit) {}

    // Feeds what was seen at `now` (seconds on any steady clock). The change
    // when the state moved, nothing otherwise.
    std::optional<Change> On(Event event, double now);

    State Current() const { return state_; }
    // The unit in the state (running, left or gone), numbered from 1.
    int Unit() const { return unit_; }
    // The left unit passed its run: only then can a new board be told by its state.
    bool Passed() const { return passed_; }
    // The device is there but cannot be opened, since `UnopenableSince()`.
    bool Unopenable() const { return unopenable_; }
    double UnopenableSince() const { return unopenableSince_; }
    // The left unit's device is missing, since `MissingSince()`.
    bool Missing() const { return missing_; }
    double MissingSince() const { return missingSince_; }
    // The left unit has given no sign since `LastSign()`; a sign after a
    // quiet or missing moment needs the cheap read before it counts as the unit.
    double LastSign() const { return lastSign_; }
    bool NeedsCheck() const { return needsCheck_; }
    // True when the left unit has given no sign for the gone limit.
    bool SilentTooLong(double now) const { return now - lastSign_ >= goneLimit_; }
    // The left unit has been quiet for a moment: what it sends next may be
    // another board's.
    void MarkQuiet() { needsCheck_ = true; }

private:
    bool Holds(When when, double now) const;
    void Note(Event event, double now);
    void Enter(State to, Event event, double now);

    double goneLimit_;
    State state_ = State::NoDevice;
    bool present_ = false;
    int unit_ = 0;
    bool passed_ = false;
    bool unopenable_ = false;
    double unopenableSince_ = 0;
    bool missing_ = false;
    double missingSince_ = 0;
    double lastSign_ = 0;
    bool needsCheck_ = false;
};

} // namespace Station
