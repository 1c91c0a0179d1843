#include "link/ReplyScan.h"

#include "link/UbxProtocol.h"

#include <algorithm>

namespace ReplyScan {

namespace {
constexpr char kSync1 = static_cast<char>(UbxProtocol::kSync1);
constexpr char kSync2 = static_cast<char>(UbxProtocol::kSync2);
constexpr qsizetype kHeaderSize = UbxProtocol::kLengthIndex;  // sync, sync, class, id
constexpr qsizetype kLengthSize = 2;  // payload length, low byte first

QByteArray AckOrNak(std::uint8_t ackId, std::uint8_t msgClass, std::uint8_t msgId)
{
    QByteArray pattern;
    pattern.reserve(8);
    pattern.append(kSync1).append(kSync2);
    pattern.append(static_cast<char>(UbxProtocol::kClassAck)).append(static_cast<char>(ackId));
    pattern.append(static_cast<char>(UbxProtocol::kAckPayloadLength)).append('\x00'); // the ACK's payload length, low first
    pattern.append(static_cast<char>(msgClass)).append(static_cast<char>(msgId));
    return pattern;
}

} // namespace

QByteArray AckPattern(std::uint8_t msgClass, std::uint8_t msgId)
{
    return AckOrNak(UbxProtocol::kIdAckAck, msgClass, msgId);
}

QByteArray NakPattern(std::uint8_t msgClass, std::uint8_t msgId)
{
    return AckOrNak(UbxProtocol::kIdAckNak, msgClass, msgId);
}

QByteArray ReplyHeader(std::uint8_t msgClass, std::uint8_t msgId)
{
    QByteArray header;
    header.reserve(kHeaderSize);
    header.append(kSync1).append(kSync2);
    header.append(static_cast<char>(msgClass)).append(static_cast<char>(msgId));
    return header;
}

qsizetype FindFirst(const QByteArray& text, const QByteArray& pattern)
{
    return text.indexOf(pattern);
}

bool EarlyStopReached(const QByteArray& text, qsizetype position, qsizetype earlyStop)
{
    return position >= 0 && text.size() - position >= earlyStop;
}

void ExtractPollPayload(const QByteArray& text, qsizetype position, std::vector<std::uint8_t>& payload)
{
    if (position < 0) {
        payload.assign(1, 0);
        return;
    }
    // The length bytes must have arrived; the test is written so that it
    // cannot overflow whatever position is passed.
    if (position > text.size() - kHeaderSize - kLengthSize)
        return;
    const qsizetype lengthAt = position + kHeaderSize;
    const auto low = static_cast<std::uint8_t>(text[lengthAt]);
    const auto high = static_cast<std::uint8_t>(text[lengthAt + 1]);
    const qsizetype length = low + 256 * high;
    if (length == 0)
        return;

    // A reply cut short by the time-out keeps its missing bytes at 0.
    const qsizetype payloadAt = lengthAt + kLengthSize;
    const qsizetype received = std::clamp<qsizetype>(text.size() - payloadAt, 0, length);
    payload.assign(static_cast<std::size_t>(length), 0);
    std::copy_n(text.constData() + payloadAt, received, payload.begin());
}

} // namespace ReplyScan
