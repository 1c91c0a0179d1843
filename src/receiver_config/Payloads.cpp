#include "receiver_config/Payloads.h"

#include "link/UbxMessages.h"
#include "link/UbxProtocol.h"
#include "support/SupportFunctions.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>
#include <optional>

using uBloxLowLevelComms::CalcUbxChecksum;
using uBloxLowLevelComms::NewUbxBuffer;
using uBloxLowLevelComms::UbxBuffer;
using SupportFunctions::ByteOfValue;
namespace Msg = UbxMessages;

namespace Payloads {

namespace {

// Every field is written where the message table says it is, as wide as it
// says; a name the table lacks does not build.
constexpr const Msg::Field& kPortId = Msg::FieldNamed(Msg::kPrtFields, "portId");
constexpr const Msg::Field& kMode = Msg::FieldNamed(Msg::kPrtFields, "mode");
constexpr const Msg::Field& kBaudRate = Msg::FieldNamed(Msg::kPrtFields, "baudRate");
constexpr const Msg::Field& kInProtoMask = Msg::FieldNamed(Msg::kPrtFields, "inProtoMask");
constexpr const Msg::Field& kOutProtoMask = Msg::FieldNamed(Msg::kPrtFields, "outProtoMask");
constexpr const Msg::Field& kFlags = Msg::FieldNamed(Msg::kPrtFields, "flags");
constexpr const Msg::Field& kMeasRate = Msg::FieldNamed(Msg::kRateFields, "measRate");
constexpr const Msg::Field& kNavRate = Msg::FieldNamed(Msg::kRateFields, "navRate");
constexpr const Msg::Field& kRateTimeRef = Msg::FieldNamed(Msg::kRateFields, "timeRef");
constexpr const Msg::Field& kInterval = Msg::FieldNamed(Msg::kTpFields, "interval");
constexpr const Msg::Field& kLength = Msg::FieldNamed(Msg::kTpFields, "length");
constexpr const Msg::Field& kStatus = Msg::FieldNamed(Msg::kTpFields, "status");
constexpr const Msg::Field& kPulseTimeRef = Msg::FieldNamed(Msg::kTpFields, "timeRef");
constexpr const Msg::Field& kCableDelay = Msg::FieldNamed(Msg::kTpFields, "antennaCableDelay");
constexpr const Msg::Field& kRfGroupDelay = Msg::FieldNamed(Msg::kTpFields, "rfGroupDelay");
constexpr const Msg::Field& kUserDelay = Msg::FieldNamed(Msg::kTpFields, "userDelay");
constexpr const Msg::Field& kMsgClass = Msg::FieldNamed(Msg::kMsgFields, "msgClass");
constexpr const Msg::Field& kMsgId = Msg::FieldNamed(Msg::kMsgFields, "msgId");
static_assert(std::size(Msg::kMsgPortRate) == kReceiverPortCount);
constexpr const Msg::Field& kClearMask = Msg::FieldNamed(Msg::kCfgFields, "clearMask");
constexpr const Msg::Field& kSaveMask = Msg::FieldNamed(Msg::kCfgFields, "saveMask");
constexpr const Msg::Field& kLoadMask = Msg::FieldNamed(Msg::kCfgFields, "loadMask");

// The navigation parameter block the devices were qualified with, one value
// per field of CFG-NAV's row, in its order; nothing here depends on the
// meaning of the engine's settings.
constexpr std::int32_t kQualifiedNav[] = {
    7, 1, 10, 28, 28, 5, 0, 60, 60, 20, // offsets 0-9: the engine's platform, satellite and signal settings
    1000,                               // offsets 10-11
    0, 0, 5, 7,                         // offsets 12-15
    200,                                // position DOP mask, 0.1 steps: 20.0
    200,                                // time DOP mask, 0.1 steps: 20.0
    50,                                 // position accuracy mask, m
    300,                                // time accuracy mask, m
    15,                                 // engine setting, as qualified
    0, 0, 0,                            // reserved
};
static_assert(std::size(kQualifiedNav) == std::size(Msg::kNavFields));

// A new frame of `message` with `size` payload bytes (its settings' size unless told).
UbxBuffer New(const Msg::Message& message, std::size_t size) { return NewUbxBuffer(message.msgClass, message.msgId, std::uint16_t(size)); }
UbxBuffer New(const Msg::Message& message) { return New(message, message.payloadSize); }

// One field, least significant byte first. Negative values give 0 bytes.
void Put(UbxBuffer& frame, const Msg::Field& field, std::int32_t value)
{
    for (int n = 0; n < field.width; ++n)
        frame[UbxProtocol::kPayloadStart + field.offset + std::size_t(n)] = ByteOfValue(value, n);
}

UbxBuffer Finished(UbxBuffer frame)
{
    CalcUbxChecksum(frame);
    return frame;
}

// Milliseconds as microseconds in a 32-bit signed field; none when the
// product does not fit.
std::optional<std::int32_t> Microseconds(std::int32_t milliseconds)
{
    const std::int64_t product = std::int64_t{milliseconds} * 1000;
    if (product > std::numeric_limits<std::int32_t>::max() || product < std::numeric_limits<std::int32_t>::min())
        return std::nullopt;
    return static_cast<std::int32_t>(product);
}

// Nearest integer, a half going to the even neighbour (the default rounding
// mode, which the program never changes). 0 when the value has no int32 form.
std::int32_t RoundHalfToEven(float value)
{
    const double rounded = std::nearbyint(static_cast<double>(value));
    if (!(rounded >= std::numeric_limits<std::int32_t>::min() && rounded <= std::numeric_limits<std::int32_t>::max()))
        return 0;
    return static_cast<std::int32_t>(rounded);
}

} // namespace

UbxBuffer CfgPrt(std::int32_t baudRate, std::int32_t receiverPort)
{
    UbxBuffer frame = New(Msg::kCfgPrt);
    // Offsets 1-3 and 18-19 are reserved and stay 0.
    if (receiverPort >= 0 && receiverPort <= 255)
        Put(frame, kPortId, receiverPort); // receiver port identifier
    // Port mode 0x000008C0: bits 6-7 = 11 (8 data bits), bits 9-11 = 100
    // (no parity), bits 12-13 = 00 (1 stop bit).
    Put(frame, kMode, 0x08C0);
    Put(frame, kBaudRate, baudRate);  // baud rate, bit/s
    Put(frame, kInProtoMask, 0x03);   // input protocols: bit 0 UBX, bit 1 NMEA
    Put(frame, kOutProtoMask, 0x03);  // output protocols: bit 0 UBX, bit 1 NMEA
    Put(frame, kFlags, 0x00);         // port flags: none
    return Finished(std::move(frame));
}

UbxBuffer Poll(const Msg::Message& message, std::span<const std::uint8_t> asked)
{
    return uBloxLowLevelComms::MakeFrame(message.msgClass, message.msgId, asked);
}

UbxBuffer CfgPrtPoll(std::int32_t receiverPort)
{
    // The poll carries the port only.
    UbxBuffer frame = New(Msg::kCfgPrt, kPortId.width);
    Put(frame, kPortId, receiverPort);
    return Finished(std::move(frame));
}

UbxBuffer CfgRatePoll() { return Poll(Msg::kCfgRate); }

UbxBuffer CfgRate(float measurementPeriod, std::uint16_t navigationRate)
{
    // A float holds every 16-bit period exactly; one out of the field's range is sent as 0.
    const std::int32_t rounded = RoundHalfToEven(measurementPeriod);
    const std::int32_t period = rounded >= 0 && rounded <= 65535 ? rounded : 0;
    UbxBuffer frame = New(Msg::kCfgRate);
    Put(frame, kMeasRate, period);         // measurement period, ms
    Put(frame, kNavRate, navigationRate);  // measurement cycles per navigation solution
    Put(frame, kRateTimeRef, 0);           // time reference: 0 = UTC
    return Finished(std::move(frame));
}

UbxBuffer CfgNav(std::span<const std::uint8_t> block)
{
    UbxBuffer frame = New(Msg::kCfgNav);
    for (std::size_t i = 0; i < std::size(kQualifiedNav); ++i)
        Put(frame, Msg::kNavFields[i], kQualifiedNav[i]);
    if (block.size() == kNavBlockSize)
        std::copy(block.begin(), block.end(), frame.begin() + UbxProtocol::kPayloadStart);
    return Finished(std::move(frame));
}

UbxBuffer CfgTp(std::int32_t pulseIntervalMs, std::int32_t pulseLengthMs)
{
    return CfgTpUs(Microseconds(pulseIntervalMs).value_or(0), Microseconds(pulseLengthMs).value_or(0));
}

UbxBuffer CfgTpUs(std::int32_t pulseIntervalUs, std::int32_t pulseLengthUs)
{
    UbxBuffer frame = New(Msg::kCfgTp);
    Put(frame, kInterval, pulseIntervalUs); // time between pulses, µs
    Put(frame, kLength, pulseLengthUs);     // pulse length, µs
    Put(frame, kStatus, 0x01);            // polarity: positive
    Put(frame, kPulseTimeRef, 0x01);      // time reference: GPS time
    // Offsets 10-11 are reserved and stay 0.
    Put(frame, kCableDelay, 50);          // antenna cable delay, ns
    Put(frame, kRfGroupDelay, 820);       // RF group delay, ns
    Put(frame, kUserDelay, 0);            // user delay, ns
    return Finished(std::move(frame));
}

UbxBuffer CfgMsg(std::uint8_t msgClass, std::uint8_t msgId, std::uint8_t rate, std::int32_t receiverPort,
                 std::span<const std::uint8_t> portRates)
{
    UbxBuffer frame = New(Msg::kCfgMsg);
    Put(frame, kMsgClass, msgClass);
    Put(frame, kMsgId, msgId);
    // The rate on receiver ports 0..3, in navigation solutions per output,
    // 0 = off. One command sets every port, so the message is turned off on
    // the ports not addressed.
    if (receiverPort >= 0 && receiverPort < kReceiverPortCount)
        Put(frame, *Msg::kMsgPortRate[receiverPort], rate);
    if (portRates.size() == std::size_t(kReceiverPortCount))
        for (std::int32_t port = 0; port < kReceiverPortCount; ++port)
            Put(frame, *Msg::kMsgPortRate[port], portRates[std::size_t(port)]);
    return Finished(std::move(frame));
}

UbxBuffer CfgMsgPoll(std::uint8_t msgClass, std::uint8_t msgId)
{
    // The poll carries the message only.
    UbxBuffer frame = New(Msg::kCfgMsg, kMsgClass.width + kMsgId.width);
    Put(frame, kMsgClass, msgClass);
    Put(frame, kMsgId, msgId);
    return Finished(std::move(frame));
}

UbxBuffer CfgCfgSaveAll()
{
    UbxBuffer frame = New(Msg::kCfgCfg);
    Put(frame, kClearMask, 0);       // no section cleared
    Put(frame, kSaveMask, 0xFFFF);   // every section saved
    Put(frame, kLoadMask, 0);        // no section loaded
    return Finished(std::move(frame));
}

UbxBuffer CfgCfgLoadAll()
{
    UbxBuffer frame = New(Msg::kCfgCfg);
    Put(frame, kClearMask, 0);       // no section cleared
    Put(frame, kSaveMask, 0);        // nothing saved
    Put(frame, kLoadMask, 0xFFFF);   // every section loaded from flash
    return Finished(std::move(frame));
}

} // namespace Payloads
