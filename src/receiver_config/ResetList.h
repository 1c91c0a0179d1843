#pragma once

#include "link/UbxFrame.h"
#include "link/UbxMessages.h"
#include "receiver_config/KeyPayloads.h"
#include "receiver_config/ResetForm.h"
#include "receiver_config/VarnexCommsRoutines.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

namespace VarnexCommsRoutines {

// The known state the reset leaves behind, besides the messages below: every
// receiver port at this rate, this measurement period (ms) and navigation rate.
inline constexpr std::int32_t kKnownLinkRate = 115200;
inline constexpr float kKnownMeasurementPeriod = 1000.0f;
inline constexpr std::uint8_t kKnownNavigationRate = 1;

struct MessageId {
    std::uint8_t msgClass;
    std::uint8_t msgId;
};
// The class and id of the output message called `name` in the message table.
consteval MessageId Named(std::string_view name)
{
    const UbxMessages::Message& m = UbxMessages::OutputNamed(name);
    return {m.msgClass, m.msgId};
}

// The messages the reset turns off on every receiver port, in the order the
// CFG-MSG commands go out.
inline constexpr std::array<MessageId, 38> kResetMessages = {{
    Named("NAV-POSECEF"), //  1  navigation
    Named("NAV-POSLLH"),  //  2
    Named("NAV-STATUS"),  //  3
    Named("NAV-DOP"),     //  4
    Named("NAV-SOL"),     //  5
    Named("NAV-POSUTM"),  //  6
    Named("NAV-VELECEF"), //  7
    Named("NAV-VELNED"),  //  8
    Named("NAV-TIMEGPS"), //  9
    Named("NAV-TIMEUTC"), // 10
    Named("NAV-CLOCK"),   // 11
    Named("NAV-SVINFO"),  // 12
    Named("NAV-DGPS"),    // 13
    Named("RXM-RAW"),     // 14  receiver manager
    Named("RXM-SVSI"),    // 15
    {0x02, 0x22},         // 16  (a message this tool has no name for)
    {0x0A, 0x00},         // 17  monitoring (no name known here either)
    Named("MON-SCHD"),    // 18
    Named("MON-IO"),      // 19
    Named("MON-IPC"),     // 20
    Named("MON-MSGPP"),   // 21
    Named("MON-RXBUF"),   // 22
    Named("MON-TXBUF"),   // 23
    Named("AID-ALM"),     // 24  aiding
    Named("AID-EPH"),     // 25
    Named("NMEA-GGA"),    // 26  standard NMEA
    Named("NMEA-GLL"),    // 27
    Named("NMEA-GSA"),    // 28
    Named("NMEA-GSV"),    // 29
    Named("NMEA-RMC"),    // 30
    Named("NMEA-VTG"),    // 31
    Named("NMEA-GRS"),    // 32
    Named("NMEA-GST"),    // 33
    Named("NMEA-ZDA"),    // 34
    Named("PUBX-00"),     // 35  proprietary NMEA
    Named("PUBX-01"),     // 36
    Named("PUBX-03"),     // 37
    Named("PUBX-04"),     // 38
}};

// The reset's recipe: its parts in the order both runners walk them, each with
// the status it shows. The exact run carries each part out through the
// window's operations (the ports commanded blind at every rate, the CFG-MSG
// pass once for each receiver port); the fast run sends each part's frames
// once, every command confirmed, the ports' CFG-PRT as the exact run sends
// them: blind, unjudged.
enum class ResetPart {
    LinkAtKnownRate, // CFG-PRT at kKnownLinkRate to receiver ports 0..3, then the link found at that rate
    KnownRate,       // CFG-RATE: kKnownMeasurementPeriod and kKnownNavigationRate, acknowledged
    MessagesOff,     // CFG-MSG rate 0 for each of kResetMessages in order, each acknowledged
};
struct ResetStage {
    ResetPart part;
    QLatin1String status;
};
inline constexpr ResetStage kResetRecipe[] = {
    {ResetPart::LinkAtKnownRate, kReadConfigurationStatus},
    {ResetPart::KnownRate, kWriteConfigurationStatus},
    {ResetPart::MessagesOff, kResetAllMessagesStatus},
};

// The frames of one part, each once, in the order they go out, in `form`:
// the link moved with CFG-PRT (or the UART baud-rate items), the rate with
// CFG-RATE (or the rate items), the messages turned off with CFG-MSG of
// either form (or the output-rate items of every message the key table
// knows, on every port the generation has).
std::vector<uBloxLowLevelComms::UbxBuffer> ResetFrames(ResetPart part, ResetForm form = ResetForm::FourTargets);
// A part of the reset as key-value items: the link's UART (both UARTs
// unless `oneUart`) at kKnownLinkRate, the known rate, and every output the
// key table knows off on every port the unit has (UART1 alone with `oneUart`).
std::vector<Payloads::KeyValue> ResetItems(ResetPart part, bool oneUart);
// Walks the recipe in order through `run`, stopping at the first part that fails.
bool WalkReset(const std::function<bool(const ResetStage&)>& run);

} // namespace VarnexCommsRoutines
