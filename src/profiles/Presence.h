#pragma once

#include "profiles/Verification.h"

#include <functional>
#include <optional>

class SerialControl;

// Telling, on a bench, whether the unit a run left on the port is still
// there and still the same board. A unit is present while its own output
// (whole UBX frames or NMEA sentences with good checksums, at the rate it
// was left at) keeps arriving or it answers; a board swapped under an
// adapter that stays shows as a quiet moment followed by a board whose state
// differs from what was just saved.
namespace Presence {

enum class Verdict {
    Gone,     // neither output nor an answer for the gone limit, or the device vanished
    NewBoard, // something answers that is not the unit just configured
    Stopped,  // `stop` asked to end the watch
};

// The unit as a run left it: the rate of its link, and one cheap read that
// tells it from a fresh board (a poll and what it must read back); without
// one, only the unit's going is watched.
struct LeftUnit {
    std::int32_t rate = 0;
    std::optional<Verification::Expectation> check;
};

// The cheap read for a unit configured with `profile`: the first of its own
// messages it turns on, else its measurement rate.
Verification::Expectation CheapRead(const SetupOutputs::Profile& profile);

// Watches `port` (open at `unit.rate`, or opened there) until the unit is
// gone, a new board is on the line, or `stop` returns true.
Verdict Watch(SerialControl& port, const LeftUnit& unit, const std::function<bool()>& stop);

} // namespace Presence
