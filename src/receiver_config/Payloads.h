#pragma once

#include "link/UbxFrame.h"
#include "link/UbxMessages.h"

#include <cstddef>
#include <cstdint>
#include <span>

// The configuration messages the tool sends, one builder per message. Each
// returns the whole frame: class, id, length and payload filled and the
// checksum computed. The sync bytes are left 0; the sender writes B5 62.
namespace Payloads {

// The receiver's ports 0..3 (UBX port identifiers); CFG-MSG carries one rate for each.
inline constexpr std::int32_t kReceiverPortCount = 4;

// CFG-PRT: moves receiver port `receiverPort` (0..3) to `baudRate` bit/s,
// 8N1, UBX and NMEA in and out. 28-byte frame.
uBloxLowLevelComms::UbxBuffer CfgPrt(std::int32_t baudRate, std::int32_t receiverPort);
// A poll of `message`: its class and id, and `asked`, what names the instance
// asked for (nothing, or a port, or a message); the reply is the message itself.
uBloxLowLevelComms::UbxBuffer Poll(const UbxMessages::Message& message, std::span<const std::uint8_t> asked = {});
// CFG-PRT poll of receiver port `receiverPort` (0..3); Poll(kCfgPrt) asks the link's own.
uBloxLowLevelComms::UbxBuffer CfgPrtPoll(std::int32_t receiverPort);
// CFG-RATE poll (no payload); the reply tells the measurement period.
uBloxLowLevelComms::UbxBuffer CfgRatePoll();
// CFG-RATE: measurement period in ms (rounded, halves to even; every period
// of 0..65535 ms exactly, 0 outside it) and the number of measurement cycles
// per navigation solution.
uBloxLowLevelComms::UbxBuffer CfgRate(float measurementPeriod, std::uint16_t navigationRate);
// CFG-NAV: the fixed navigation parameter set, or `block` when it holds a
// whole parameter block of its own (kNavBlockSize bytes).
inline constexpr std::size_t kNavBlockSize = 28;
uBloxLowLevelComms::UbxBuffer CfgNav(std::span<const std::uint8_t> block = {});
// CFG-TP: pulse interval and pulse length in ms, sent in µs. A value above
// 2147483 ms does not fit the field and leaves its four bytes 0.
uBloxLowLevelComms::UbxBuffer CfgTp(std::int32_t pulseIntervalMs, std::int32_t pulseLengthMs);
// CFG-TP with the interval and the length in µs, as the frame carries them.
uBloxLowLevelComms::UbxBuffer CfgTpUs(std::int32_t pulseIntervalUs, std::int32_t pulseLengthUs);
// CFG-MSG: output rate of one message on one receiver port (0..3), and off on
// the other three. A port outside 0..3 turns the message off everywhere.
// With `portRates` (one rate for each of ports 0..3) those rates go out
// instead, so that one message can run on several ports.
uBloxLowLevelComms::UbxBuffer CfgMsg(std::uint8_t msgClass, std::uint8_t msgId, std::uint8_t rate,
                                     std::int32_t receiverPort, std::span<const std::uint8_t> portRates = {});
// CFG-MSG poll: asks for the rates of one message on all four ports.
uBloxLowLevelComms::UbxBuffer CfgMsgPoll(std::uint8_t msgClass, std::uint8_t msgId);
// CFG-CFG: saves every section of the running configuration to flash.
uBloxLowLevelComms::UbxBuffer CfgCfgSaveAll();
// CFG-CFG: copies every section of the saved configuration into the running
// one, as the next power-up does; nothing cleared, nothing saved.
uBloxLowLevelComms::UbxBuffer CfgCfgLoadAll();

} // namespace Payloads
