#include "receiver_config/Payloads.h"

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

namespace Payloads {

namespace {

constexpr std::size_t kPayloadStart = 6; // buffer index of payload offset 0

// Navigation engine parameters, sent as they are.
constexpr std::array<std::uint8_t, 28> kNavParameters = {
    // value      offset (decimal)
    0x07,      //  0  (7)
    0x01,      //  1  (1)
    0x0A,      //  2  (10)
    0x1C,      //  3  (28)
    0x1C,      //  4  (28)
    0x05,      //  5  (5)
    0x00,      //  6
    0x3C,      //  7  (60)
    0x3C,      //  8  (60)
    0x14,      //  9  (20)
    0xE8,      // 10  (232)   offsets 10-11: 1000
    0x03,      // 11  (3)
    0x00,      // 12
    0x00,      // 13
    0x05,      // 14  (5)
    0x07,      // 15  (7)
    0xC8,      // 16  (200)   offsets 16-17: 200
    0x00,      // 17
    0xC8,      // 18  (200)   offsets 18-19: 200
    0x00,      // 19
    0x32,      // 20  (50)    offsets 20-21: 50
    0x00,      // 21
    0x2C,      // 22  (44)    offsets 22-23: 300
    0x01,      // 23  (1)
    0x0F,      // 24  (15)
    0x00,      // 25
    0x00,      // 26
    0x00,      // 27
};

// First payload byte of a frame made by NewUbxBuffer.
std::uint8_t* Payload(UbxBuffer& frame) { return frame.data() + kPayloadStart; }

// A 32-bit field, least significant byte first. Negative values give 0 bytes.
void PutFourBytes(std::uint8_t* field, std::int32_t value)
{
    for (std::int32_t n = 0; n < 4; ++n)
        field[n] = ByteOfValue(value, n);
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
    UbxBuffer frame = NewUbxBuffer(kClassCfg, kIdCfgPrt, 20);
    std::uint8_t* p = Payload(frame);
    if (receiverPort >= 0 && receiverPort <= 255)
        p[0] = static_cast<std::uint8_t>(receiverPort); // receiver port identifier
    p[1] = 0x00;                                        // reserved
    p[2] = 0x00;                                        // reserved, 16 bits
    p[3] = 0x00;
    // Port mode 0x000008C0: bits 6-7 = 11 (8 data bits), bits 9-11 = 100
    // (no parity), bits 12-13 = 00 (1 stop bit).
    p[4] = 0xC0;
    p[5] = 0x08;
    p[6] = 0x00;
    p[7] = 0x00;
    PutFourBytes(p + 8, baudRate);                      // baud rate, bit/s
    p[12] = 0x03;                                       // input protocols: bit 0 UBX, bit 1 NMEA
    p[13] = 0x00;
    p[14] = 0x03;                                       // output protocols: bit 0 UBX, bit 1 NMEA
    p[15] = 0x00;
    p[16] = 0x00;                                       // port flags: none
    p[17] = 0x00;
    p[18] = 0x00;                                       // reserved, 16 bits
    p[19] = 0x00;
    CalcUbxChecksum(frame);
    return frame;
}

UbxBuffer CfgRatePoll()
{
    UbxBuffer frame = NewUbxBuffer(kClassCfg, kIdCfgRate, 0);
    CalcUbxChecksum(frame);
    return frame;
}

UbxBuffer CfgRate(float measurementPeriod, std::uint8_t navigationRate)
{
    const std::int32_t period = RoundHalfToEven(measurementPeriod);
    UbxBuffer frame = NewUbxBuffer(kClassCfg, kIdCfgRate, 6);
    std::uint8_t* p = Payload(frame);
    p[0] = LowByte(period);   // measurement period, ms
    p[1] = HighByte(period);
    p[2] = navigationRate;    // measurement cycles per navigation solution
    p[3] = 0x00;
    p[4] = 0x00;              // time reference: 0 = UTC
    p[5] = 0x00;
    CalcUbxChecksum(frame);
    return frame;
}

UbxBuffer CfgNav()
{
    UbxBuffer frame = NewUbxBuffer(kClassCfg, kIdCfgNav, static_cast<std::uint16_t>(kNavParameters.size()));
    std::copy(kNavParameters.begin(), kNavParameters.end(), Payload(frame));
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

UbxBuffer CfgMsg(std::uint8_t msgClass, std::uint8_t msgId, std::uint8_t rate, std::int32_t receiverPort)
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

} // namespace Payloads
