#include "receiver_config/Payloads.h"

#include "link/UbxProtocol.h"
#include "support/SupportFunctions.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <optional>

using uBloxLowLevelComms::CalcUbxChecksum;
using uBloxLowLevelComms::NewUbxBuffer;
using uBloxLowLevelComms::UbxBuffer;
using SupportFunctions::ByteOfValue;
using SupportFunctions::HighByte;
using SupportFunctions::LowByte;
using namespace UbxProtocol;

namespace Payloads {

namespace {

// First payload byte of a frame made by NewUbxBuffer.
std::uint8_t* Payload(UbxBuffer& frame) { return frame.data() + kPayloadStart; }

// A 32-bit field, least significant byte first. Negative values give 0 bytes.
void PutFourBytes(std::uint8_t* field, std::int32_t value)
{
    for (std::int32_t n = 0; n < 4; ++n)
        field[n] = ByteOfValue(value, n);
}

// A 16-bit field (0..65535), least significant byte first.
void PutTwoBytes(std::uint8_t* field, std::int32_t value)
{
    field[0] = ByteOfValue(value, 0);
    field[1] = ByteOfValue(value, 1);
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
    UbxBuffer frame = NewUbxBuffer(kClassCfg, kIdCfgPrt, CfgPrtField::kPayloadLength);
    std::uint8_t* p = Payload(frame);
    // Offsets 1-3 and 18-19 are reserved and stay 0.
    if (receiverPort >= 0 && receiverPort <= 255)
        p[CfgPrtField::kPortId] = static_cast<std::uint8_t>(receiverPort); // receiver port identifier
    // Port mode 0x000008C0: bits 6-7 = 11 (8 data bits), bits 9-11 = 100
    // (no parity), bits 12-13 = 00 (1 stop bit).
    PutFourBytes(p + CfgPrtField::kMode, 0x08C0);
    PutFourBytes(p + CfgPrtField::kBaudRate, baudRate); // baud rate, bit/s
    PutTwoBytes(p + CfgPrtField::kInProtoMask, 0x03);   // input protocols: bit 0 UBX, bit 1 NMEA
    PutTwoBytes(p + CfgPrtField::kOutProtoMask, 0x03);  // output protocols: bit 0 UBX, bit 1 NMEA
    PutTwoBytes(p + CfgPrtField::kFlags, 0x00);         // port flags: none
    CalcUbxChecksum(frame);
    return frame;
}

UbxBuffer CfgRatePoll()
{
    UbxBuffer frame = NewUbxBuffer(kClassCfg, kIdCfgRate, 0);
    CalcUbxChecksum(frame);
    return frame;
}

UbxBuffer CfgRate(float measurementPeriod, std::uint16_t navigationRate)
{
    // A float holds every 16-bit period exactly; one out of the field's range is sent as 0.
    const std::int32_t rounded = RoundHalfToEven(measurementPeriod);
    const std::int32_t period = rounded >= 0 && rounded <= 65535 ? rounded : 0;
    UbxBuffer frame = NewUbxBuffer(kClassCfg, kIdCfgRate, 6);
    std::uint8_t* p = Payload(frame);
    PutTwoBytes(p, period);             // measurement period, ms
    PutTwoBytes(p + 2, navigationRate); // measurement cycles per navigation solution
    PutTwoBytes(p + 4, 0);              // time reference: 0 = UTC
    CalcUbxChecksum(frame);
    return frame;
}

UbxBuffer CfgNav(std::span<const std::uint8_t> block)
{
    UbxBuffer frame = NewUbxBuffer(kClassCfg, kIdCfgNav, 28);
    std::uint8_t* p = Payload(frame);
    // Offsets 0-15: the engine's platform, satellite and signal settings, one
    // byte each except offsets 10-11 (1000, low byte first). The devices were
    // qualified with exactly these bytes; nothing here depends on their meaning.
    const std::array<std::uint8_t, 16> engineSettings = {
        7, 1, 10, 28, 28, 5, 0, 60, 60, 20, LowByte(1000), HighByte(1000), 0, 0, 5, 7,
    };
    std::copy(engineSettings.begin(), engineSettings.end(), p);
    // The masks a solution must pass before it is reported:
    p[16] = LowByte(200);  // position DOP mask, 0.1 steps: 20.0
    p[17] = HighByte(200);
    p[18] = LowByte(200);  // time DOP mask, 0.1 steps: 20.0
    p[19] = HighByte(200);
    p[20] = LowByte(50);   // position accuracy mask, m
    p[21] = HighByte(50);
    p[22] = LowByte(300);  // time accuracy mask, m
    p[23] = HighByte(300);
    p[24] = 15;            // engine setting, as qualified
    p[25] = 0x00;          // reserved
    p[26] = 0x00;
    p[27] = 0x00;
    if (block.size() == kNavBlockSize)
        std::copy(block.begin(), block.end(), p);
    CalcUbxChecksum(frame);
    return frame;
}

UbxBuffer CfgTp(std::int32_t pulseIntervalMs, std::int32_t pulseLengthMs)
{
    UbxBuffer frame = NewUbxBuffer(kClassCfg, kIdCfgTp, 20);
    std::uint8_t* p = Payload(frame);
    if (const auto interval = Microseconds(pulseIntervalMs))
        PutFourBytes(p + 0, *interval);  // time between pulses, µs
    if (const auto length = Microseconds(pulseLengthMs))
        PutFourBytes(p + 4, *length);    // pulse length, µs
    p[8] = 0x01;                         // polarity: positive
    p[9] = 0x01;                         // time reference: GPS time
    p[10] = 0x00;                        // reserved, 16 bits
    p[11] = 0x00;
    p[12] = LowByte(50);                 // antenna cable delay, ns
    p[13] = HighByte(50);
    p[14] = LowByte(820);                // RF group delay, ns
    p[15] = HighByte(820);
    PutFourBytes(p + 16, 0);             // user delay, ns
    CalcUbxChecksum(frame);
    return frame;
}

UbxBuffer CfgMsg(std::uint8_t msgClass, std::uint8_t msgId, std::uint8_t rate, std::int32_t receiverPort,
                 std::span<const std::uint8_t> portRates)
{
    UbxBuffer frame = NewUbxBuffer(kClassCfg, kIdCfgMsg, 6);
    std::uint8_t* p = Payload(frame);
    p[0] = msgClass;
    p[1] = msgId;
    // Offsets 2..5: rate on receiver ports 0..3, in navigation solutions per
    // output, 0 = off. One command sets every port, so the message is turned
    // off on the ports not addressed.
    p[2] = p[3] = p[4] = p[5] = 0x00;
    if (receiverPort >= 0 && receiverPort < kReceiverPortCount)
        p[2 + receiverPort] = rate;
    if (portRates.size() == std::size_t(kReceiverPortCount))
        std::copy(portRates.begin(), portRates.end(), p + 2);
    CalcUbxChecksum(frame);
    return frame;
}

UbxBuffer CfgMsgPoll(std::uint8_t msgClass, std::uint8_t msgId)
{
    UbxBuffer frame = NewUbxBuffer(kClassCfg, kIdCfgMsg, 2);
    std::uint8_t* p = Payload(frame);
    p[0] = msgClass;
    p[1] = msgId;
    CalcUbxChecksum(frame);
    return frame;
}

UbxBuffer CfgCfgSaveAll()
{
    UbxBuffer frame = NewUbxBuffer(kClassCfg, kIdCfgCfg, 12);
    std::uint8_t* p = Payload(frame);
    PutFourBytes(p + 0, 0);       // clear mask: no section cleared
    PutFourBytes(p + 4, 0xFFFF);  // save mask: every section saved
    PutFourBytes(p + 8, 0);       // load mask: no section loaded
    CalcUbxChecksum(frame);
    return frame;
}

UbxBuffer CfgCfgLoadAll()
{
    UbxBuffer frame = NewUbxBuffer(kClassCfg, kIdCfgCfg, 12);
    std::uint8_t* p = Payload(frame);
    PutFourBytes(p + 0, 0);       // clear mask: no section cleared
    PutFourBytes(p + 4, 0);       // save mask: nothing saved
    PutFourBytes(p + 8, 0xFFFF);  // load mask: every section loaded from flash
    CalcUbxChecksum(frame);
    return frame;
}

} // namespace Payloads
