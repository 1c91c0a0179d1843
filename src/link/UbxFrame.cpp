#include "link/UbxFrame.h"

namespace uBloxLowLevelComms {

namespace {
constexpr std::size_t kFrameOverhead = 8;   // sync 2, class 1, id 1, length 2, checksum 2
constexpr std::size_t kFirstSummedIndex = 2; // the sync bytes are not summed
} // namespace

UbxBuffer NewUbxBuffer(std::uint8_t msgClass, std::uint8_t msgId, std::uint16_t payloadLength)
{
    UbxBuffer buffer(payloadLength + kFrameOverhead, 0);
    buffer[2] = msgClass;
    buffer[3] = msgId;
    buffer[4] = static_cast<std::uint8_t>(payloadLength & 0xFF); // payload length, low byte
    buffer[5] = static_cast<std::uint8_t>(payloadLength >> 8);   // payload length, high byte
    return buffer;
}

void CalcUbxChecksum(UbxBuffer& buffer)
{
    if (buffer.size() < 4)
        return;
    const std::size_t last = buffer.size() - 1;
    // Both sums are kept modulo 256 by the 8-bit type: the receiver's checksum
    // wraps at every addition, never at the end.
    std::uint8_t ckA = 0;
    std::uint8_t ckB = 0;
    for (std::size_t i = kFirstSummedIndex; i + 1 < last; ++i) {
        ckA = static_cast<std::uint8_t>(ckA + buffer[i]);
        ckB = static_cast<std::uint8_t>(ckB + ckA);
    }
    buffer[last - 1] = ckA;
    buffer[last] = ckB;
}

} // namespace uBloxLowLevelComms
