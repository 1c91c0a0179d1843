#include "receiver_config/VarnexCommsRoutines.h"

#include "link/uBloxLowLevelComms.h"
#include "receiver_config/Payloads.h"
#include "support/SupportFunctions.h"

using namespace uBloxLowLevelComms;
using SupportFunctions::ClearStatus;
using SupportFunctions::ShowStatus;

namespace VarnexCommsRoutines {
namespace {

// Every acknowledged command: show the step, send the frame after a flush,
// wait for the ACK-ACK of its own class and id, clear the step.
bool SendAcknowledged(const QString& status, UbxBuffer frame)
{
    ShowStatus(status);
    FlushSerialInput();
    SendUbxMessage(frame);
    const bool acknowledged = WaitForUbxAck(frame[2], frame[3]);
    ClearStatus();
    return acknowledged;
}

// What GetUpdateRate reports for a rate byte: the index of the rate list
// ("Disabled", "1Hz", "5Hz"), or -1 for a rate that list cannot show.
constexpr std::int32_t kUnsupportedRate = -1;
std::int32_t RateChoice(std::uint8_t rateByte)
{
    switch (rateByte) {
    case 0: return 0; // off
    case 5: return 1; // once every five solutions
    case 1: return 2; // every solution
    default: return kUnsupportedRate;
    }
}

} // namespace

bool WriteConfiguration(float measurementPeriod, std::uint8_t navigationRate)
{
    return SendAcknowledged(QStringLiteral("Writing Configuration"),
                            Payloads::CfgRate(measurementPeriod, navigationRate));
}

bool SetDynamicNavigationParameters()
{
    return SendAcknowledged(QStringLiteral("Set Dynamic Navigation Parameters"), Payloads::CfgNav());
}

bool SetTimePulse(std::int32_t pulseInterval, std::int32_t pulseLength)
{
    return SendAcknowledged(Payloads::SetTimePulseStatus(pulseInterval), Payloads::CfgTp(pulseInterval, pulseLength));
}

bool SetMessageRate(std::uint8_t msgClass, std::uint8_t msgId, std::uint8_t rate, std::int32_t receiverPort)
{
    return SendAcknowledged(Payloads::SetMessageRateStatus(msgClass, msgId, rate, receiverPort),
                            Payloads::CfgMsg(msgClass, msgId, rate, receiverPort));
}

bool WriteSetupToFlash()
{
    return SendAcknowledged(QStringLiteral("Writing Setup To Flash"), Payloads::CfgCfgSaveAll());
}

std::int32_t GetUpdateRate(std::uint8_t msgClass, std::uint8_t msgId, std::int32_t receiverPort)
{
    ShowStatus(Payloads::GetUpdateRateStatus(msgClass, msgId));
    UbxBuffer request = Payloads::CfgMsgPoll(msgClass, msgId);
    FlushSerialInput();
    SendUbxMessage(request);
    std::vector<std::uint8_t> payload;
    ReadUbxPollReply(payload, Payloads::kClassCfg, Payloads::kIdCfgMsg);
    std::int32_t result = -1;
    if (payload.size() == 6 && receiverPort >= 0 && receiverPort <= 3) {
        result = RateChoice(payload[receiverPort + 2]);
        if (result == kUnsupportedRate) {
            // A rate the window cannot show is switched off on that port.
            SetMessageRate(msgClass, msgId, 0, receiverPort);
            result = 0;
        }
    }
    ClearStatus();
    return result;
}

} // namespace VarnexCommsRoutines
