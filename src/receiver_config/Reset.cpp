#include "receiver_config/VarnexCommsRoutines.h"

#include "receiver_config/ResetList.h"
#include "support/SupportFunctions.h"

namespace VarnexCommsRoutines {
namespace {

using Payloads::kKnownLinkRate;
using Payloads::kKnownMeasurementPeriod;
using Payloads::kKnownNavigationRate;
constexpr std::int32_t kReceiverPorts[] = {0, 1, 2, 3};

} // namespace

bool ResetToKnownState()
{
    if (!OpenPortAtBaud(kKnownLinkRate))
        return false;
    if (!WriteConfiguration(kKnownMeasurementPeriod, kKnownNavigationRate))
        return false;
    // Each CFG-MSG carries the rate of all four ports, so the first pass
    // already turns everything off everywhere; the later passes repeat it.
    for (const std::int32_t port : kReceiverPorts) {
        if (!ResetAllMessages(port))
            return false;
    }
    return true;
}

bool ResetAllMessages(std::int32_t receiverPort)
{
    SupportFunctions::ShowStatus(QStringLiteral("Resetting All Messages To Known State"));
    bool allAcknowledged = true;
    for (const Payloads::MessageId& message : Payloads::kResetMessages) {
        if (!SetMessageRate(message.msgClass, message.msgId, 0, receiverPort)) {
            allAcknowledged = false;
            break;
        }
    }
    SupportFunctions::ClearStatus();
    return allAcknowledged;
}

} // namespace VarnexCommsRoutines
