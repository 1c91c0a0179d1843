#pragma once

#include <QLatin1String>
#include <QString>

#include <cstdint>
#include <optional>
#include <span>

class SerialControl;

// The receiver operations: finding and setting the link's rate, the
// configuration commands, the reset to a known state and the firmware reflash.
// Each shows its step in the status bar and returns whether the receiver
// acknowledged or answered; none raises an error to its caller.
namespace VarnexCommsRoutines {

// Every operation that sends takes the port it works on; the forms without a
// port are the windows', on the program's one serial control (CommsFrm),
// which the port opening numbers as the main window selected (SelectedPort).
// Port opening and baud detection: those given a port keep its number, or
// take the `number` given.
// The receiver's measurement period in ms; none when no valid reply came (a
// period of 0 counts as none: no receiver measures that way).
std::optional<float> ReadConfiguration();
std::optional<float> ReadConfiguration(SerialControl& port);
bool FindBaudAndOpenPort();          // searches the receiver's rate; receiver untouched
// Commands all four ports to the rate blind from every rate, then checks.
bool OpenPortAtBaud(std::int32_t baudRate);
bool OpenPortAtBaud(SerialControl& port, std::int32_t baudRate);
bool OpenPortAtBaud(SerialControl& port, int number, std::int32_t baudRate);

// How a baud change is sent.
enum class BaudMode {
    // CFG-PRT only: the receiver may be listening at another rate, nothing is awaited.
    SendOnly,
    // CFG-PRT, then polls until the receiver answers; where the PC's own link
    // moved, the PC port follows to the new rate.
    Confirming,
};
// CFG-PRT for one receiver port; true unless a confirming change never got an answer.
bool SetBaudRate(std::int32_t baudRate, BaudMode mode, std::int32_t receiverPort);
bool SetBaudRate(SerialControl& port, std::int32_t baudRate, BaudMode mode, std::int32_t receiverPort);

// Configuration commands, each acknowledged.
bool WriteConfiguration(float measurementPeriod, std::uint16_t navigationRate);
bool WriteConfiguration(SerialControl& port, float measurementPeriod, std::uint16_t navigationRate);
// `block`: a navigation parameter block of the device's own; empty, the fixed one.
bool SetDynamicNavigationParameters(std::span<const std::uint8_t> block = {});
bool SetDynamicNavigationParameters(SerialControl& port, std::span<const std::uint8_t> block = {});
bool SetTimePulse(std::int32_t pulseInterval, std::int32_t pulseLength);
bool SetTimePulse(SerialControl& port, std::int32_t pulseInterval, std::int32_t pulseLength);
// The same in µs, for a pulse that whole ms cannot give (a unit's own values).
bool SetTimePulseUs(SerialControl& port, std::int32_t pulseIntervalUs, std::int32_t pulseLengthUs);
// `portRates`: the rates of ports 0..3 at once (see Payloads::CfgMsg).
bool SetMessageRate(std::uint8_t msgClass, std::uint8_t msgId, std::uint8_t rate, std::int32_t receiverPort,
                    std::span<const std::uint8_t> portRates = {});
bool SetMessageRate(SerialControl& port, std::uint8_t msgClass, std::uint8_t msgId, std::uint8_t rate,
                    std::int32_t receiverPort, std::span<const std::uint8_t> portRates = {});

// The output rate of one message on one receiver port, as the NMEA setup
// window offers it. The rate byte of CFG-MSG counts navigation solutions per
// output: 0 off, 5 every fifth solution, 1 every solution.
enum class OutputRate {
    NoReply,            // the receiver did not answer the poll
    Off,
    EveryFifthSolution,
    EverySolution,
};
// The CFG-MSG rate byte of `rate` (0 for NoReply).
std::uint8_t RateByte(OutputRate rate);
// Polls the rate of one message; a rate other than 0, 5 or 1 is switched off
// on that port and reported as Off.
OutputRate GetUpdateRate(std::uint8_t msgClass, std::uint8_t msgId, std::int32_t receiverPort);
bool WriteSetupToFlash();
bool WriteSetupToFlash(SerialControl& port);

// Reset to a known state: 115200 bit/s, one measurement a second, and the
// 38 listed messages off on every port. The port's opening is numbered
// SelectedPort, or `number`, as OpenPortAtBaud's.
bool ResetToKnownState();
bool ResetToKnownState(SerialControl& port, int number);
bool ResetAllMessages(std::int32_t receiverPort);
bool ResetAllMessages(SerialControl& port, std::int32_t receiverPort);

// Replaces the firmware through the external flashing program.
bool ReflashGps(std::int32_t comPort);

// Status bar texts of the operations whose step is fixed.
inline constexpr QLatin1String kReadConfigurationStatus{"Reading Configuration"};
inline constexpr QLatin1String kWriteConfigurationStatus{"Writing Configuration"};
inline constexpr QLatin1String kSetDynamicNavigationParametersStatus{"Set Dynamic Navigation Parameters"};
inline constexpr QLatin1String kResetAllMessagesStatus{"Resetting All Messages To Known State"};
inline constexpr QLatin1String kWriteSetupToFlashStatus{"Writing Setup To Flash"};
// Status bar texts of the operations whose step names a value.
QString SetMessageRateStatus(std::uint8_t msgClass, std::uint8_t msgId, std::uint8_t rate,
                             std::int32_t receiverPort);                     // "Setting 240004 port 1"
QString GetUpdateRateStatus(std::uint8_t msgClass, std::uint8_t msgId);      // "Get Update Rate 240004"
QString SetBaudRateStatus(std::int32_t baudRate, std::int32_t receiverPort); // "Setting Baud Rate=4800 Port=2"
QString SetTimePulseStatus(std::int32_t pulseIntervalMs);                    // "Set Time Pulse=1000"
QString SetTimePulseStatusUs(std::int32_t pulseIntervalUs);                  // "Set Time Pulse=1000.5"

} // namespace VarnexCommsRoutines
