#include "receiver_config/VarnexCommsRoutines.h"

#include "link/CommsFrm.h"
#include "link/SelectedPort.h"
#include "link/UbxMessages.h"
#include "link/uBloxLowLevelComms.h"
#include "receiver_config/Payloads.h"
#include "support/Cancel.h"
#include "support/MessageBox.h"
#include "support/SupportFunctions.h"
#include "support/Timing.h"

#include <array>

using namespace uBloxLowLevelComms;
using SupportFunctions::ClearStatus;
using SupportFunctions::Delay;
using SupportFunctions::ShowStatus;

namespace VarnexCommsRoutines {
namespace {

// Rates tried when looking for the receiver, likeliest first.
constexpr std::array<std::int32_t, 9> kSearchRates = {4800, 115200, 9600, 57600, 2400, 14400, 19200, 28800, 38400};
// Rates from which the receiver is commanded blind, in ascending order.
constexpr std::array<std::int32_t, 10> kCommandRates = {1200, 2400, 4800, 9600, 14400, 19200, 28800, 38400, 57600, 115200};
constexpr int kDetectionRetries = 4;

QString LineSettings(std::int32_t rate) { return QStringLiteral("%1,N,8,1").arg(rate); }

// Port number, no handshaking, text input, then the first opening, which is
// the one whose failure is reported. A number the control refuses (0 when no
// list entry was selected) fails the opening too: the control would otherwise
// open the port it was numbered for before.
bool PrepareAndOpen(SerialControl& port, int number)
{
    const bool numbered = port.SetCommPort(number);
    port.SetHandshaking(0);
    port.SetInputMode(0);
    if (numbered && port.SetPortOpen(true))
        return true;
    MessageBox::Show(QStringLiteral("Cannot open serial port"));
    return false;
}

// Closes the port (if open), sets the rate, pauses, and opens it again.
void ReopenAt(SerialControl& port, std::int32_t rate)
{
    if (port.PortOpen())
        port.SetPortOpen(false);
    port.SetSettings(LineSettings(rate));
    Delay(Timing::kReopenPause);
    port.SetPortOpen(true);
}

// One poll, then up to four retries, each after closing the port for a moment.
bool DetectReceiver(SerialControl& port)
{
    bool answered = ReadConfiguration(port).has_value();
    for (int retries = 0; !answered && retries < kDetectionRetries && !Cancel::Requested(); ++retries) {
        port.SetPortOpen(false);
        Delay(Timing::kRetryPause);
        port.SetPortOpen(true);
        answered = ReadConfiguration(port).has_value();
    }
    return answered;
}

// Every rate commanded blind on `port`, numbered `number`, then the check.
bool OpenAtBaud(SerialControl& port, int number, std::int32_t baudRate)
{
    // The callers hand the port over closed.
    if (!PrepareAndOpen(port, number))
        return false;
    for (const std::int32_t rate : kCommandRates) {
        ReopenAt(port, rate);
        // Each frame is on the line before the next close: the control drains first.
        for (std::int32_t receiverPort = 0; receiverPort < Payloads::kReceiverPortCount; ++receiverPort)
            SetBaudRate(port, baudRate, BaudMode::SendOnly, receiverPort);
    }
    port.SetPortOpen(false);
    port.SetSettings(LineSettings(baudRate));
    port.SetPortOpen(true);
    return DetectReceiver(port);
}

} // namespace

std::optional<float> ReadConfiguration() { return ReadConfiguration(CommsFrm::SerialPort()); }

std::optional<float> ReadConfiguration(SerialControl& port)
{
    // A search given up sends nothing more.
    if (Cancel::Requested())
        return std::nullopt;
    ShowStatus(kReadConfigurationStatus);
    const std::vector<std::uint8_t> payload = Poll(port, Payloads::CfgRatePoll());
    std::optional<float> period;
    if (payload.size() == UbxMessages::kCfgRate.payloadSize) {
        const std::uint32_t measRate = UbxMessages::ValueOf(payload, UbxMessages::FieldNamed(UbxMessages::kRateFields, "measRate"));
        if (measRate != 0)
            period = static_cast<float>(measRate);
    }
    ClearStatus();
    return period;
}

bool FindBaudAndOpenPort()
{
    SerialControl& port = CommsFrm::SerialPort();
    if (port.PortOpen())
        port.SetPortOpen(false);
    if (!PrepareAndOpen(port, SelectedPort))
        return false;
    for (const std::int32_t rate : kSearchRates) {
        if (Cancel::Requested())
            break;
        ReopenAt(port, rate);
        if (DetectReceiver(port))
            return true;
    }
    // Nothing answered: the port stays open at the last rate tried.
    return false;
}

bool OpenPortAtBaud(std::int32_t baudRate) { return OpenAtBaud(CommsFrm::SerialPort(), SelectedPort, baudRate); }

bool OpenPortAtBaud(SerialControl& port, std::int32_t baudRate) { return OpenAtBaud(port, port.CommPort(), baudRate); }

bool OpenPortAtBaud(SerialControl& port, int number, std::int32_t baudRate) { return OpenAtBaud(port, number, baudRate); }

} // namespace VarnexCommsRoutines
