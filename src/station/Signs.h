#pragma once

#include "profiles/FastLink.h"
#include "profiles/Verification.h"

#include <cstdint>
#include <optional>
#include <span>

class SerialControl;

// The signs a bench station tells a unit by. A unit is there while its own
// output (whole UBX frames or NMEA sentences with good checksums, at the rate
// it is at) keeps arriving or it answers; a board swapped under an adapter
// that stays shows as a quiet moment followed by a board whose state differs
// from what was just saved.
namespace Station {

// The cheap read for a unit configured with `profile`: the first of its own
// messages it turns on, else its measurement rate.
Verification::Expectation CheapRead(const SetupOutputs::Profile& profile);

// Opens `port` at `rate` afresh when it is not open or its device went away
// under it (an adapter pulled and put back). False when it cannot be opened.
bool Reopen(SerialControl& port, FastLink::Line& line, std::int32_t rate);

// What one look heard.
enum class Sign {
    Nothing, // no byte
    Talks,   // whole messages: something talks at the line's rate
    Noise,   // bytes no whole message was made of (a unit at another rate)
};
// Forgets what was heard before, then listens until `until` on the program's clock.
Sign Listen(FastLink::Line& line, double until);

// The cheap read, polled: true when the board reads as the unit was left,
// false when it reads otherwise; nothing when it does not answer.
std::optional<bool> Same(FastLink::Line& line, const Verification::Expectation& check);

// Asks at each of `rates` in turn which port the PC is wired to; the rate
// that answered, the line left there. Nothing when none did.
std::optional<std::int32_t> AnswersAt(FastLink::Line& line, std::span<const std::int32_t> rates);

} // namespace Station
