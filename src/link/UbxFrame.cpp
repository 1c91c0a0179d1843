#include "link/UbxFrame.h"

#include "link/UbxProtocol.h"

#include <algorithm>

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

UbxBuffer MakeFrame(std::uint8_t msgClass, std::uint8_t msgId, std::span<const std::uint8_t> payload)
{
    UbxBuffer frame = NewUbxBuffer(msgClass, msgId, static_cast<std::uint16_t>(payload.size()));
    frame[0] = UbxProtocol::kSync1;
    frame[1] = UbxProtocol::kSync2;
    std::copy(payload.begin(), payload.end(), frame.begin() + UbxProtocol::kPayloadStart);
    CalcUbxChecksum(frame);
    return frame;
}

} // namespace uBloxLowLevelComms
