#include "receiver_config/VarnexCommsRoutines.h"

#include "link/CommsFrm.h"
#include "link/UbxMessages.h"
#include "link/uBloxLowLevelComms.h"
#include "receiver_config/Payloads.h"
#include "support/SupportFunctions.h"

#include <QLocale>

using SupportFunctions::ClearStatus;
using SupportFunctions::ShowStatus;

namespace VarnexCommsRoutines {
namespace {

// An acknowledged command with its step shown in the status bar while it runs.
bool ShowAndSend(SerialControl& port, const QString& status, uBloxLowLevelComms::UbxBuffer frame)
{
    ShowStatus(status);
    const bool acknowledged = uBloxLowLevelComms::SendAcknowledged(port, std::move(frame));
    ClearStatus();
    return acknowledged;
}

QString ThreeDigits(std::uint8_t value) { return QStringLiteral("%1").arg(int{value}, 3, 10, QLatin1Char('0')); }

// The rates the window offers, by their CFG-MSG rate byte.
std::optional<OutputRate> FromRateByte(std::uint8_t rateByte)
{
    switch (rateByte) {
    case 0: return OutputRate::Off;
    case 5: return OutputRate::EveryFifthSolution;
    case 1: return OutputRate::EverySolution;
    default: return std::nullopt;
    }
}

} // namespace

QString SetMessageRateStatus(std::uint8_t msgClass, std::uint8_t msgId, std::uint8_t rate, std::int32_t receiverPort)
{
    const QString verb = rate != 0 ? QStringLiteral("Setting ") : QStringLiteral("Clearing ");
    return verb + ThreeDigits(msgClass) + ThreeDigits(msgId) + QStringLiteral(" port ") + QString::number(receiverPort);
}

QString GetUpdateRateStatus(std::uint8_t msgClass, std::uint8_t msgId)
{
    return QStringLiteral("Get Update Rate ") + ThreeDigits(msgClass) + ThreeDigits(msgId);
}

QString SetTimePulseStatus(std::int32_t pulseIntervalMs)
{
    return QStringLiteral("Set Time Pulse=%1").arg(pulseIntervalMs);
}

// The interval in ms, with as many decimals as its µs need.
QString SetTimePulseStatusUs(std::int32_t pulseIntervalUs)
{
    return QStringLiteral("Set Time Pulse=%1").arg(QString::number(pulseIntervalUs / 1000.0, 'g', QLocale::FloatingPointShortest));
}

// The windows' forms, on the program's one serial control.
bool WriteConfiguration(float measurementPeriod, std::uint16_t navigationRate)
{
    return WriteConfiguration(CommsFrm::SerialPort(), measurementPeriod, navigationRate);
}
bool SetDynamicNavigationParameters(std::span<const std::uint8_t> block)
{
    return SetDynamicNavigationParameters(CommsFrm::SerialPort(), block);
}
bool SetTimePulse(std::int32_t pulseInterval, std::int32_t pulseLength)
{
    return SetTimePulse(CommsFrm::SerialPort(), pulseInterval, pulseLength);
}
bool SetMessageRate(std::uint8_t msgClass, std::uint8_t msgId, std::uint8_t rate, std::int32_t receiverPort,
                    std::span<const std::uint8_t> portRates)
{
    return SetMessageRate(CommsFrm::SerialPort(), msgClass, msgId, rate, receiverPort, portRates);
}
bool WriteSetupToFlash() { return WriteSetupToFlash(CommsFrm::SerialPort()); }

bool WriteConfiguration(SerialControl& port, float measurementPeriod, std::uint16_t navigationRate)
{
    return ShowAndSend(port, kWriteConfigurationStatus, Payloads::CfgRate(measurementPeriod, navigationRate));
}

bool SetDynamicNavigationParameters(SerialControl& port, std::span<const std::uint8_t> block)
{
    return ShowAndSend(port, kSetDynamicNavigationParametersStatus, Payloads::CfgNav(block));
}

bool SetTimePulse(SerialControl& port, std::int32_t pulseInterval, std::int32_t pulseLength)
{
    return ShowAndSend(port, SetTimePulseStatus(pulseInterval), Payloads::CfgTp(pulseInterval, pulseLength));
}

bool SetTimePulseUs(SerialControl& port, std::int32_t pulseIntervalUs, std::int32_t pulseLengthUs)
{
    return ShowAndSend(port, SetTimePulseStatusUs(pulseIntervalUs), Payloads::CfgTpUs(pulseIntervalUs, pulseLengthUs));
}

bool SetMessageRate(SerialControl& port, std::uint8_t msgClass, std::uint8_t msgId, std::uint8_t rate,
                    std::int32_t receiverPort, std::span<const std::uint8_t> portRates)
{
    return ShowAndSend(port, SetMessageRateStatus(msgClass, msgId, rate, receiverPort),
                       Payloads::CfgMsg(msgClass, msgId, rate, receiverPort, portRates));
}

bool WriteSetupToFlash(SerialControl& port)
{
    return ShowAndSend(port, kWriteSetupToFlashStatus, Payloads::CfgCfgSaveAll());
}

std::uint8_t RateByte(OutputRate rate)
{
    switch (rate) {
    case OutputRate::EveryFifthSolution: return 5;
    case OutputRate::EverySolution: return 1;
    case OutputRate::NoReply:
    case OutputRate::Off: break;
    }
    return 0;
}

OutputRate GetUpdateRate(std::uint8_t msgClass, std::uint8_t msgId, std::int32_t receiverPort)
{
    ShowStatus(GetUpdateRateStatus(msgClass, msgId));
    const std::vector<std::uint8_t> payload = uBloxLowLevelComms::Poll(Payloads::CfgMsgPoll(msgClass, msgId));
    OutputRate result = OutputRate::NoReply;
    if (payload.size() == UbxMessages::kCfgMsg.payloadSize && receiverPort >= 0
        && receiverPort < Payloads::kReceiverPortCount) {
        const auto rateByte = std::uint8_t(UbxMessages::ValueOf(payload, *UbxMessages::kMsgPortRate[receiverPort]));
        const std::optional<OutputRate> offered = FromRateByte(rateByte);
        if (!offered) {
            // A rate the window cannot show is switched off on that port.
            SetMessageRate(msgClass, msgId, 0, receiverPort);
        }
        result = offered.value_or(OutputRate::Off);
    }
    ClearStatus();
    return result;
}

} // namespace VarnexCommsRoutines
