#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

// The UBX protocol as this tool speaks it, in one place: the frame's layout,
// the classes and ids it sends and waits for, the checksum, and the fields of
// CFG-PRT that are read or written by offset.
//
//   index 0, 1      sync bytes B5 62
//   index 2, 3      message class, message id
//   index 4, 5      payload length N, low byte first
//   index 6..N+5    payload
//   index N+6, N+7  checksum CK_A, CK_B over indexes 2..N+5
namespace UbxProtocol {

inline constexpr std::uint8_t kSync1 = 0xB5;
inline constexpr std::uint8_t kSync2 = 0x62;

// Frame indexes and sizes.
inline constexpr std::size_t kClassIndex = 2;
inline constexpr std::size_t kIdIndex = 3;
inline constexpr std::size_t kLengthIndex = 4;   // two bytes, low first
inline constexpr std::size_t kPayloadStart = 6;  // index of payload offset 0
inline constexpr std::size_t kChecksumSize = 2;
inline constexpr std::size_t kFrameOverhead = kPayloadStart + kChecksumSize; // sync, class, id, length, checksum

// Acknowledgements: ACK-ACK or ACK-NAK, whose two-byte payload is the class
// and id of the command they answer.
inline constexpr std::uint8_t kClassAck = 0x05;
inline constexpr std::uint8_t kIdAckNak = 0x00;
inline constexpr std::uint8_t kIdAckAck = 0x01;
inline constexpr std::uint16_t kAckPayloadLength = 2;

// Configuration messages.
inline constexpr std::uint8_t kClassMon = 0x0A;
inline constexpr std::uint8_t kIdMonVer = 0x04;  // polled with no payload: the receiver's versions

inline constexpr std::uint8_t kClassCfg = 0x06;
inline constexpr std::uint8_t kIdCfgPrt = 0x00;
inline constexpr std::uint8_t kIdCfgMsg = 0x01;
inline constexpr std::uint8_t kIdCfgNav = 0x03;
inline constexpr std::uint8_t kIdCfgTp = 0x07;
inline constexpr std::uint8_t kIdCfgRate = 0x08;
inline constexpr std::uint8_t kIdCfgCfg = 0x09;
// Of later generations: the navigation settings and the time pulse by
// named fields, and configuration as key-value items.
inline constexpr std::uint8_t kIdCfgNav5 = 0x24;
inline constexpr std::uint8_t kIdCfgTp5 = 0x31;
inline constexpr std::uint8_t kIdCfgValset = 0x8A;
inline constexpr std::uint8_t kIdCfgValget = 0x8B;
inline constexpr std::uint8_t kIdCfgValdel = 0x8C;

// CFG-PRT payload offsets (20 bytes): the port identifier, the mode (data
// bits, parity, stop bits; on DDC its bus address), the rate in bit/s, the
// input and output protocol masks and the port flags, little-endian.
namespace CfgPrtField {
inline constexpr std::size_t kPortId = 0;       // U1
inline constexpr std::size_t kMode = 4;         // X4
inline constexpr std::size_t kBaudRate = 8;     // U4, bit/s
inline constexpr std::size_t kInProtoMask = 12; // X2
inline constexpr std::size_t kOutProtoMask = 14; // X2
inline constexpr std::size_t kFlags = 16;       // X2
inline constexpr std::size_t kPayloadLength = 20;
} // namespace CfgPrtField

// The unsigned little-endian field of `size` bytes (1 to 4) at `offset` of a
// payload held in any byte container (QByteArray, std::vector<std::uint8_t>).
template <typename Bytes>
constexpr std::uint32_t LittleEndianAt(const Bytes& payload, std::size_t offset, int size)
{
    std::uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = value << 8 | static_cast<std::uint8_t>(payload[static_cast<decltype(payload.size())>(offset + std::size_t(i))]);
    return value;
}

// The 8-bit Fletcher checksum. Both sums are kept modulo 256 by the 8-bit
// type: the receiver's checksum wraps at every addition, never at the end.
struct Checksum {
    std::uint8_t a = 0;
    std::uint8_t b = 0;
    friend constexpr bool operator==(const Checksum&, const Checksum&) = default;
};

// The checksum of `summed`: class, id, length and payload of one frame.
constexpr Checksum ChecksumOf(std::span<const std::uint8_t> summed)
{
    Checksum sum;
    for (const std::uint8_t byte : summed) {
        sum.a = static_cast<std::uint8_t>(sum.a + byte);
        sum.b = static_cast<std::uint8_t>(sum.b + sum.a);
    }
    return sum;
}

} // namespace UbxProtocol
