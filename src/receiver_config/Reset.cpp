#include "receiver_config/VarnexCommsRoutines.h"

#include "receiver_config/Payloads.h"
#include "receiver_config/ResetList.h"
#include "support/SupportFunctions.h"

namespace VarnexCommsRoutines {
bool ResetToKnownState()
{
    if (!OpenPortAtBaud(kKnownLinkRate))
        return false;
    if (!WriteConfiguration(kKnownMeasurementPeriod, kKnownNavigationRate))
        return false;
    // Each CFG-MSG carries the rate of all four ports, so the first pass
    // already turns everything off everywhere; the later passes repeat it.
    for (std::int32_t port = 0; port < Payloads::kReceiverPortCount; ++port) {
        if (!ResetAllMessages(port))
            return false;
    }
    return true;
}

bool ResetAllMessages(std::int32_t receiverPort)
{
    SupportFunctions::ShowStatus(kResetAllMessagesStatus);
    bool allAcknowledged = true;
    for (const MessageId& message : kResetMessages) {
        if (!SetMessageRate(message.msgClass, message.msgId, 0, receiverPort)) {
            allAcknowledged = false;
            break;
        }
    }
    SupportFunctions::ClearStatus();
    return allAcknowledged;
}

} // namespace VarnexCommsRoutines
