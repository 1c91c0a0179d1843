#pragma once

#include <cstdint>

// The number N of the PC serial port COMN chosen in the main window. Written
// by the main window's buttons before each action, read by the port opening.
extern std::int32_t SelectedPort;
