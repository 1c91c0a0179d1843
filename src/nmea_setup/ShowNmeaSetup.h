#pragma once

#include <cstdint>

namespace NmeaSetup {

// Opens the NMEA setup window for receiver port `receiverPort` (1 or 2) on the
// PC port that is already open, then unloads the main window. The serial
// control and its open port stay for the new window.
void ShowNmeaSetup(std::int32_t receiverPort);

} // namespace NmeaSetup
