#include "link/UbxStream.h"

#include "link/UbxProtocol.h"

#include <algorithm>

namespace UbxStream {
namespace {

constexpr char kSync1 = static_cast<char>(UbxProtocol::kSync1);
constexpr char kSync2 = static_cast<char>(UbxProtocol::kSync2);
constexpr qsizetype kClassAt = UbxProtocol::kClassIndex;
constexpr qsizetype kIdAt = UbxProtocol::kIdIndex;
constexpr qsizetype kLengthAt = UbxProtocol::kLengthIndex;
constexpr qsizetype kPayloadAt = UbxProtocol::kPayloadStart;
constexpr qsizetype kOverhead = UbxProtocol::kFrameOverhead;
constexpr qsizetype kLongestSentence = 82;

std::uint8_t Byte(const QByteArray& text, qsizetype i) { return static_cast<std::uint8_t>(text[i]); }

// The checksum over class, id, length and payload of the frame at `at` holds.
bool ChecksumHolds(const QByteArray& text, qsizetype at, qsizetype length)
{
    const auto* summed = reinterpret_cast<const std::uint8_t*>(text.constData()) + at + kClassAt;
    const UbxProtocol::Checksum sum =
        UbxProtocol::ChecksumOf({summed, static_cast<std::size_t>(kPayloadAt - kClassAt + length)});
    const qsizetype checksumAt = at + kPayloadAt + length;
    return sum == UbxProtocol::Checksum{Byte(text, checksumAt), Byte(text, checksumAt + 1)};
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

bool Reader::Next(Frame& frame)
{
    // Where an unfinished frame may start. A later complete frame still counts:
    // a sync pair inside a payload must not hold the real reply back until
    // the length it seems to announce has gone by.
    qsizetype unfinished = -1;
    for (qsizetype at = text_.indexOf(kSync1); at >= 0; at = text_.indexOf(kSync1, at + 1)) {
        if (text_.size() - at < kPayloadAt) {
            if (unfinished < 0)
                unfinished = at;
            break;
        }
        const qsizetype length = Byte(text_, at + kLengthAt) + 256 * Byte(text_, at + kLengthAt + 1);
        if (text_[at + 1] != kSync2 || length > kMaxPayload)
            continue;
        if (text_.size() - at < length + kOverhead) {
            if (unfinished < 0)
                unfinished = at;
            continue;
        }
        if (!ChecksumHolds(text_, at, length))
            continue; // a sync pair by chance
        frame.msgClass = Byte(text_, at + kClassAt);
        frame.msgId = Byte(text_, at + kIdAt);
        frame.payload = text_.mid(at + kPayloadAt, length);
        text_.remove(0, at + length + kOverhead);
        return true;
    }
    if (unfinished < 0)
        text_.clear();
    else
        text_.remove(0, unfinished);
    return false;
}

qsizetype Reader::Missing() const
{
    if (text_.size() < 2 || text_[0] != kSync1 || text_[1] != kSync2)
        return 0;
    if (text_.size() < kPayloadAt)
        return kPayloadAt + 2 - text_.size();
    const qsizetype length = Byte(text_, kLengthAt) + 256 * Byte(text_, kLengthAt + 1);
    return std::max<qsizetype>(0, length + kOverhead - text_.size());
}

bool LooksLikeFramingErrors(const QByteArray& bytes)
{
    constexpr qsizetype kEnough = 32;
    if (bytes.size() < kEnough)
        return false;
    // A byte of ones from the top bit down, then zeros: 0x00, 0x80, 0xC0 ... 0xFF.
    const auto framingError = [](char c) {
        const auto inverted = std::uint8_t(~std::uint8_t(c));
        return (inverted & (inverted + 1)) == 0;
    };
    const auto errors = std::count_if(bytes.begin(), bytes.end(), framingError);
    return errors * 10 >= bytes.size() * 9;
}

bool HoldsMessageStart(const QByteArray& bytes)
{
    constexpr char kSync[] = {char(UbxProtocol::kSync1), char(UbxProtocol::kSync2)};
    if (bytes.contains(QByteArrayView(kSync, 2)))
        return true;
    // "$", an address of four ("PUBX") or five ("GPGGA") capitals or digits, a comma.
    const auto addressCharacter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); };
    for (qsizetype start = bytes.indexOf('$'); start >= 0; start = bytes.indexOf('$', start + 1)) {
        qsizetype end = start + 1;
        while (end < bytes.size() && end - start <= 5 && addressCharacter(bytes[end]))
            ++end;
        const qsizetype length = end - start - 1;
        if (end < bytes.size() && bytes[end] == ',' && (length == 4 || length == 5))
            return true;
    }
    return false;
}

bool HoldsNmeaSentence(const QByteArray& text)
{
    for (qsizetype start = text.indexOf('$'); start >= 0; start = text.indexOf('$', start + 1)) {
        const qsizetype star = text.indexOf('*', start);
        if (star < 0 || star - start > kLongestSentence || star + 2 >= text.size())
            continue;
        std::uint8_t sum = 0;
        bool printable = true;
        for (qsizetype i = start + 1; i < star; ++i) {
            printable = printable && text[i] >= ' ' && text[i] <= '~';
            sum ^= Byte(text, i);
        }
        const int high = HexValue(text[star + 1]), low = HexValue(text[star + 2]);
        if (printable && high >= 0 && low >= 0 && sum == high * 16 + low)
            return true;
    }
    return false;
}

} // namespace UbxStream
