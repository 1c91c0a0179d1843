#include "receiver_config/VarnexCommsRoutines.h"

#include "link/CommsFrm.h"
#include "link/SelectedPort.h"
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
bool PrepareAndOpen()
{
    SerialControl& port = CommsFrm::SerialPort();
    const bool numbered = port.SetCommPort(SelectedPort);
    port.SetHandshaking(0);
    port.SetInputMode(0);
    if (numbered && port.SetPortOpen(true))
        return true;
    MessageBox::Show(QStringLiteral("Cannot open serial port"));
    return false;
}

// Closes the port (if open), sets the rate, pauses, and opens it again.
void ReopenAt(std::int32_t rate)
{
    SerialControl& port = CommsFrm::SerialPort();
    if (port.PortOpen())
        port.SetPortOpen(false);
    port.SetSettings(LineSettings(rate));
    Delay(Timing::kReopenPause);
    port.SetPortOpen(true);
}

// One poll, then up to four retries, each after closing the port for a moment.
bool DetectReceiver()
{
    SerialControl& port = CommsFrm::SerialPort();
    bool answered = ReadConfiguration().has_value();
    for (int retries = 0; !answered && retries < kDetectionRetries && !Cancel::Requested(); ++retries) {
        port.SetPortOpen(false);
        Delay(Timing::kRetryPause);
        port.SetPortOpen(true);
        answered = ReadConfiguration().has_value();
    }
    return answered;
}

} // namespace

std::optional<float> ReadConfiguration()
{
    // A search given up sends nothing more.
    if (Cancel::Requested())
        return std::nullopt;
    ShowStatus(kReadConfigurationStatus);
    const std::vector<std::uint8_t> payload = Poll(Payloads::CfgRatePoll());
    std::optional<float> period;
    // Payload offsets 0-1: the measurement period, ms.
    if (payload.size() == 6 && (payload[0] != 0 || payload[1] != 0))
        period = static_cast<float>(payload[0] + 256 * payload[1]);
    ClearStatus();
    return period;
}

bool FindBaudAndOpenPort()
{
    SerialControl& port = CommsFrm::SerialPort();
    if (port.PortOpen())
        port.SetPortOpen(false);
    if (!PrepareAndOpen())
        return false;
    for (const std::int32_t rate : kSearchRates) {
        if (Cancel::Requested())
            break;
        ReopenAt(rate);
        if (DetectReceiver())
            return true;
    }
    // Nothing answered: the port stays open at the last rate tried.
    return false;
}

bool OpenPortAtBaud(std::int32_t baudRate)
{
    // The callers hand the port over closed.
    if (!PrepareAndOpen())
        return false;
    for (const std::int32_t rate : kCommandRates) {
        ReopenAt(rate);
        // Each frame is on the line before the next close: the control drains first.
        for (std::int32_t receiverPort = 0; receiverPort < Payloads::kReceiverPortCount; ++receiverPort)
            SetBaudRate(baudRate, BaudMode::SendOnly, receiverPort);
    }
    SerialControl& port = CommsFrm::SerialPort();
    port.SetPortOpen(false);
    port.SetSettings(LineSettings(baudRate));
    port.SetPortOpen(true);
    return DetectReceiver();
}

} // namespace VarnexCommsRoutines
