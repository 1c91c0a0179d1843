#include "receiver_config/VarnexCommsRoutines.h"

#include "link/CommsFrm.h"
#include "link/SelectedPort.h"
#include "link/UbxKeys.h"
#include "link/UbxProtocol.h"
#include "receiver_config/KeyPayloads.h"
#include "receiver_config/Payloads.h"
#include "receiver_config/ResetList.h"
#include "support/SupportFunctions.h"

namespace VarnexCommsRoutines {
namespace {

// Each CFG-MSG carries the rate of all four ports, so the first pass already
// turns everything off everywhere; the later passes repeat it.
bool EveryPortPass(SerialControl& port)
{
    for (std::int32_t receiverPort = 0; receiverPort < Payloads::kReceiverPortCount; ++receiverPort) {
        if (!ResetAllMessages(port, receiverPort))
            return false;
    }
    return true;
}

bool RunPart(SerialControl& port, int number, ResetPart part)
{
    switch (part) {
    case ResetPart::LinkAtKnownRate: return OpenPortAtBaud(port, number, kKnownLinkRate);
    case ResetPart::KnownRate: return WriteConfiguration(port, kKnownMeasurementPeriod, kKnownNavigationRate);
    case ResetPart::MessagesOff: return EveryPortPass(port);
    }
    return false;
}

constexpr std::uint8_t kClassRxm = 0x02;

} // namespace

// Raw measurements are left out: many units have none, and one key a unit
// does not know refuses the whole message.
std::vector<Payloads::KeyValue> ResetItems(ResetPart part, bool oneUart)
{
    std::vector<Payloads::KeyValue> items;
    switch (part) {
    case ResetPart::LinkAtKnownRate:
        items.push_back({UbxKeys::Named("CFG-UART1-BAUDRATE"), kKnownLinkRate});
        if (!oneUart)
            items.push_back({UbxKeys::Named("CFG-UART2-BAUDRATE"), kKnownLinkRate});
        break;
    case ResetPart::KnownRate:
        items.push_back({UbxKeys::Named("CFG-RATE-MEAS"), std::int64_t(kKnownMeasurementPeriod)});
        items.push_back({UbxKeys::Named("CFG-RATE-NAV"), kKnownNavigationRate});
        break;
    case ResetPart::MessagesOff:
        for (const UbxKeys::Output& o : UbxKeys::Outputs())
            for (int port = 0; o.msgClass != kClassRxm && port < int(std::size(UbxKeys::kOutputPorts)); ++port)
                if (!oneUart || port == 1)
                    items.push_back({UbxKeys::OutputKey(o, port), 0});
        break;
    }
    return items;
}

namespace {

// CFG-MSG as the u-blox 5 to 8 generations document it: the message, then
// its rate on each of six ports.
uBloxLowLevelComms::UbxBuffer OffOnSixPorts(const MessageId& m)
{
    const std::uint8_t payload[] = {m.msgClass, m.msgId, 0, 0, 0, 0, 0, 0};
    return uBloxLowLevelComms::MakeFrame(UbxProtocol::kClassCfg, UbxProtocol::kIdCfgMsg, payload);
}

} // namespace

std::vector<uBloxLowLevelComms::UbxBuffer> ResetFrames(ResetPart part, ResetForm form)
{
    if (form == ResetForm::Keys || form == ResetForm::KeysOneUart)
        // The known state is the running one, as the older reset's: saved
        // only by the save at the end, so a run that fails saves nothing.
        return Payloads::CfgValset(ResetItems(part, form == ResetForm::KeysOneUart), Payloads::kLayerRam);
    if (form == ResetForm::SixPorts && part == ResetPart::MessagesOff) {
        std::vector<uBloxLowLevelComms::UbxBuffer> frames;
        for (const MessageId& m : kResetMessages)
            frames.push_back(OffOnSixPorts(m));
        return frames;
    }
    std::vector<uBloxLowLevelComms::UbxBuffer> frames;
    switch (part) {
    case ResetPart::LinkAtKnownRate:
        for (std::int32_t port = 0; port < Payloads::kReceiverPortCount; ++port)
            frames.push_back(Payloads::CfgPrt(kKnownLinkRate, port));
        break;
    case ResetPart::KnownRate: frames.push_back(Payloads::CfgRate(kKnownMeasurementPeriod, kKnownNavigationRate)); break;
    case ResetPart::MessagesOff:
        for (const MessageId& m : kResetMessages)
            frames.push_back(Payloads::CfgMsg(m.msgClass, m.msgId, 0, 0));
        break;
    }
    return frames;
}

bool WalkReset(const std::function<bool(const ResetStage&)>& run)
{
    for (const ResetStage& stage : kResetRecipe)
        if (!run(stage))
            return false;
    return true;
}

// The exact run: each part through the window's operations, which show the
// part's status themselves.
bool ResetToKnownState() { return ResetToKnownState(CommsFrm::SerialPort(), SelectedPort); }

bool ResetToKnownState(SerialControl& port, int number)
{
    return WalkReset([&](const ResetStage& stage) { return RunPart(port, number, stage.part); });
}

bool ResetAllMessages(std::int32_t receiverPort) { return ResetAllMessages(CommsFrm::SerialPort(), receiverPort); }

bool ResetAllMessages(SerialControl& port, std::int32_t receiverPort)
{
    SupportFunctions::ShowStatus(kResetAllMessagesStatus);
    bool allAcknowledged = true;
    for (const MessageId& message : kResetMessages) {
        if (!SetMessageRate(port, message.msgClass, message.msgId, 0, receiverPort)) {
            allAcknowledged = false;
            break;
        }
    }
    SupportFunctions::ClearStatus();
    return allAcknowledged;
}

} // namespace VarnexCommsRoutines
