#pragma once

#include <cstdint>

namespace VarnexCommsRoutines {

// How the reset reaches its known state: through the older set's messages
// (CFG-MSG's four-target form), through CFG-MSG's form of the u-blox 5 to 8
// generations (a rate for each of six ports), or as key-value items (u-blox
// 9 with every port, u-blox 10 with its one UART).
enum class ResetForm : std::uint8_t { FourTargets, SixPorts, Keys, KeysOneUart };

} // namespace VarnexCommsRoutines
