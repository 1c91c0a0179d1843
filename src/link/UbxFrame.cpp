#include "link/UbxFrame.h"

#include "link/UbxProtocol.h"

namespace uBloxLowLevelComms {

using namespace UbxProtocol;

UbxBuffer NewUbxBuffer(std::uint8_t msgClass, std::uint8_t msgId, std::uint16_t payloadLength)
{
    UbxBuffer buffer(payloadLength + kFrameOverhead, 0);
    buffer[kClassIndex] = msgClass;
    buffer[kIdIndex] = msgId;
    buffer[kLengthIndex] = static_cast<std::uint8_t>(payloadLength & 0xFF); // payload length, low byte
    buffer[kLengthIndex + 1] = static_cast<std::uint8_t>(payloadLength >> 8);   // payload length, high byte
    return buffer;
}

void CalcUbxChecksum(UbxBuffer& buffer)
{
    if (buffer.size() < 4)
        return;
    // The sync bytes are not summed, nor the checksum's own two bytes.
    const std::size_t checksumAt = buffer.size() - kChecksumSize;
    const Checksum sum = ChecksumOf(std::span(buffer).subspan(kClassIndex, checksumAt - kClassIndex));
    buffer[checksumAt] = sum.a;
    buffer[checksumAt + 1] = sum.b;
}

} // namespace uBloxLowLevelComms
