#pragma once

#include "profiles/FastLink.h"
#include "profiles/SetupOutputs.h"
#include "profiles/Verification.h"
#include "station/Machine.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

class SerialControl;

// A bench station: one port, one unit after another, each configured once
// and counted once whatever the bench does (boards swapped under an adapter
// that stays, receivers that take their USB device with them, a connector
// jiggled, another program holding the port for a moment). The port is known
// by its most stable name (StableName.h) and followed to whatever device is
// behind it; what happens is fed to a Machine, and the readers (console,
// record, events) are told each change.
namespace Station {

// How a unit's run ended, and where the PC last heard it.
struct UnitEnd {
    bool passed = false;
    std::int32_t rate = 0; // the PC port's rate at the run's end
};

// What the station says beside the machine's changes.
enum class Note {
    DeviceGone,  // the stable name leads to nothing now
    DeviceBack,  // it leads to a device again
    CannotOpen,  // the device is there but cannot be opened; `detail` says why
    OpensAgain,  // it opens again, after `waited` seconds
    FoundAtRate, // the left unit answers at another rate than it was heard at (`detail`)
};

struct Hooks {
    // True once the station should end (a signal came); asked at every look.
    std::function<bool()> stop;
    // Before unit `number` is run (its serial number); false ends the station.
    std::function<bool(int number)> beforeUnit;
    // Runs unit `number` on the device behind `path`; the port closed afterwards.
    std::function<UnitEnd(int number, const QString& path)> runUnit;
    std::function<void(const Change& change)> changed;
    std::function<void(Note note, const QString& detail, double waited)> noted;
    // A wait in progress: what is waited for, and for how long so far.
    std::function<void(State state, int unit, double waited)> waiting;
};

class Bench {
public:
    // `path`: the stable name to keep to; `profile`: what each unit gets.
    Bench(SerialControl& port, const QString& path, const SetupOutputs::Profile& profile, Hooks hooks);

    // Runs until `stop` says so or `beforeUnit` declines; the port closed at the end.
    void Run();
    const Machine& Current() const { return machine_; }
    int UnitsRun() const { return machine_.Unit(); }

private:
    void Feed(Event event);
    void Close();
    void Pause();
    void LookAtDevice();
    void LookForUnit();
    void RunUnit();
    void WatchLeftUnit();
    // Asks where the left unit may be now; true when it answered (as itself
    // or as a new board, which Feed has been told).
    bool Relocate(bool skipCurrent);
    bool Vanished();
    bool Opened(bool opened);
    void Heard(Event sign);
    void Progress();

    SerialControl& port_;
    QString path_;
    Hooks hooks_;
    Verification::Expectation check_;
    std::vector<std::int32_t> savedRates_;
    Machine machine_;
    FastLink::Line line_;
    bool there_ = false;
    bool looked_ = false; // the stable name has been looked at once
    bool asked_ = false;           // beforeUnit has been asked for the next unit
    bool ended_ = false;
    std::int32_t listenRate_ = 0;  // where the left unit was last heard
    std::vector<std::int32_t> rates_; // where the left unit may be: listenRate_ first
    State shownState_ = State::Gone;
    int shownSeconds_ = -1;
    double shownSince_ = 0;
};

} // namespace Station
