#pragma once

#include "link/UbxFrame.h"
#include "receiver_config/KeyPayloads.h"
#include "receiver_config/ResetForm.h"
#include "receiver_config/VarnexCommsRoutines.h"

#include <array>
#include <cstdint>
#include <functional>
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

// The messages the reset turns off on every receiver port, in the order the
// CFG-MSG commands go out.
inline constexpr std::array<MessageId, 38> kResetMessages = {{
    // class  id        No.
    {0x01, 0x01},    //  1  navigation (NAV)
    {0x01, 0x02},    //  2
    {0x01, 0x03},    //  3
    {0x01, 0x04},    //  4
    {0x01, 0x06},    //  5
    {0x01, 0x08},    //  6
    {0x01, 0x11},    //  7
    {0x01, 0x12},    //  8
    {0x01, 0x20},    //  9
    {0x01, 0x21},    // 10
    {0x01, 0x22},    // 11
    {0x01, 0x30},    // 12
    {0x01, 0x31},    // 13
    {0x02, 0x10},    // 14  receiver manager (RXM)
    {0x02, 0x20},    // 15
    {0x02, 0x22},    // 16
    {0x0A, 0x00},    // 17  monitoring (MON)
    {0x0A, 0x01},    // 18
    {0x0A, 0x02},    // 19
    {0x0A, 0x03},    // 20
    {0x0A, 0x06},    // 21
    {0x0A, 0x07},    // 22
    {0x0A, 0x08},    // 23
    {0x0B, 0x30},    // 24  aiding (AID)
    {0x0B, 0x31},    // 25
    {0xF0, 0x00},    // 26  standard NMEA: GGA
    {0xF0, 0x01},    // 27  GLL
    {0xF0, 0x02},    // 28  GSA
    {0xF0, 0x03},    // 29  GSV
    {0xF0, 0x04},    // 30  RMC
    {0xF0, 0x05},    // 31  VTG
    {0xF0, 0x06},    // 32  GRS
    {0xF0, 0x07},    // 33  GST
    {0xF0, 0x08},    // 34  ZDA
    {0xF1, 0x00},    // 35  proprietary NMEA: PUBX,00
    {0xF1, 0x01},    // 36  PUBX,01
    {0xF1, 0x03},    // 37  PUBX,03
    {0xF1, 0x04},    // 38  PUBX,04
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
