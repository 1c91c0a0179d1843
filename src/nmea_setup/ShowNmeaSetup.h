#pragma once

#include <cstdint>
#include <functional>

namespace NmeaSetup {

// Opens the NMEA setup window for receiver port `receiverPort` (1 or 2) on the
// PC port that is already open, then unloads the main window. The serial
// control and its open port stay for the new window. When `abandoned` says so
// once loading is over (the operator closed the main window meanwhile), the
// window is unloaded unseen, the main window stays, and the result is false.
bool ShowNmeaSetup(std::int32_t receiverPort, const std::function<bool()>& abandoned = {});

} // namespace NmeaSetup
