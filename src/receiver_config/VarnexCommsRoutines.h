#pragma once

#include <cstdint>

// The receiver operations: finding and setting the link's rate, the
// configuration commands, the reset to a known state and the firmware reflash.
// Each shows its step in the status bar and returns whether the receiver
// acknowledged or answered; none raises an error to its caller.
namespace VarnexCommsRoutines {

// Port opening and baud detection.
float ReadConfiguration();           // measurement period in ms, 0 when no valid reply
bool FindBaudAndOpenPort();          // searches the receiver's rate; receiver untouched
bool OpenPortAtBaud(std::int32_t baudRate); // commands all four ports to the rate, then checks

// CFG-PRT for one receiver port; in confirming mode the PC port follows.
bool SetBaudRate(std::int32_t baudRate, bool portFlag, bool confirm, std::int32_t receiverPort);

// Configuration commands, each acknowledged.
bool WriteConfiguration(float measurementPeriod, std::uint8_t navigationRate);
bool SetDynamicNavigationParameters();
bool SetTimePulse(std::int32_t pulseInterval, std::int32_t pulseLength);
bool SetMessageRate(std::uint8_t msgClass, std::uint8_t msgId, std::uint8_t rate, std::int32_t receiverPort);
// 0 off, 1 for rate 5, 2 for rate 1 (other rates are switched off: 0); -1 no reply.
std::int32_t GetUpdateRate(std::uint8_t msgClass, std::uint8_t msgId, std::int32_t receiverPort);
bool WriteSetupToFlash();

// Reset to a known state: 115200 bit/s, one measurement a second, and the
// 38 listed messages off on every port.
bool ResetToKnownState();
bool ResetAllMessages(std::int32_t receiverPort);

// Replaces the firmware through the external flashing program.
bool ReflashGps(std::int32_t comPort);

} // namespace VarnexCommsRoutines
