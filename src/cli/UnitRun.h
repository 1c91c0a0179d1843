#pragma once

#include "cli/Arguments.h"
#include "cli/Report.h"

#include <QString>

#include <functional>

class SerialControl;

// One unit on the port: the run (configure) or the search (verify), the
// read-back when asked, the receiver's identity, the port closed afterwards.
namespace Cli {

class Console;

// Points `port` at the port of the arguments: PC port N, or a device path
// given outright; `path`, when given, in place of either.
void TargetPort(SerialControl& port, const Arguments& a, const QString& path);
// Opens and closes the targeted port once, so that a port that cannot be
// opened is told apart from a receiver that does not answer. Empty when it opened.
QString TryOpen(SerialControl& port);

// Lets an interruption see the unit in progress: `unit` is its record while
// it runs (null otherwise); `stepStarted` is told when it starts, at each
// step, and when it ends.
struct UnitWatch {
    UnitRecord* unit = nullptr;
    // The unit's outcome is known and final: only its identity is still asked.
    bool final = false;
    std::function<void()> stepStarted;
};

// Runs one unit on `port` and returns its record, reason and message filled.
// `path`, when given, is opened in place of the port's mapping (the bench
// loop's device).
UnitRecord RunUnit(SerialControl& port, const Arguments& a, Console& console, const QString& path, UnitWatch& watch);

// The record of a unit abandoned in the step it was in.
void MarkAbandoned(UnitRecord& unit);

} // namespace Cli
