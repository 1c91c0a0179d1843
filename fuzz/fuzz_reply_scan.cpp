// Feeds arbitrary received text to the reply scanner and arbitrary buffers to
// the checksum, and aborts when a result breaks the scanner's rules.
//
// Input layout: byte 0 = class, byte 1 = id, byte 2 = how many leading bytes
// of the text to scan first (a wait sees the text grow), the rest = the text.

#include "link/ReplyScan.h"
#include "link/UbxFrame.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

void Require(bool condition)
{
    if (!condition)
        std::abort();
}

void CheckScan(const QByteArray& text, const QByteArray& pattern, qsizetype earlyStop)
{
    const qsizetype position = ReplyScan::FindFirst(text, pattern);
    Require(position == -1 || (position >= 0 && position + pattern.size() <= text.size()));
    if (position >= 0)
        Require(text.mid(position, pattern.size()) == pattern);
    else
        Require(!text.contains(pattern));

    const bool stop = ReplyScan::EarlyStopReached(text, position, earlyStop);
    Require(stop == (position >= 0 && text.size() >= position + earlyStop));

    const std::vector<std::uint8_t> before{0xA5, 0x5A, 0xA5};
    std::vector<std::uint8_t> payload = before;
    ReplyScan::ExtractPollPayload(text, position, payload);
    if (position < 0) {
        Require(payload == std::vector<std::uint8_t>{0});
        return;
    }
    if (text.size() < position + 6) {
        Require(payload == before);
        return;
    }
    const std::size_t length = std::uint8_t(text[position + 4]) + 256u * std::uint8_t(text[position + 5]);
    if (length == 0) {
        Require(payload == before);
        return;
    }
    Require(payload.size() == length);
    for (std::size_t k = 0; k < length; ++k) {
        const qsizetype at = position + 6 + qsizetype(k);
        Require(payload[k] == (at < text.size() ? std::uint8_t(text[at]) : 0));
    }
}

void CheckChecksum(const std::uint8_t* data, std::size_t size)
{
    uBloxLowLevelComms::UbxBuffer buffer(data, data + size);
    uBloxLowLevelComms::CalcUbxChecksum(buffer);
    Require(buffer.size() == size);
    if (size < 4) {
        Require(std::equal(buffer.begin(), buffer.end(), data));
        return;
    }
    // Everything but the two checksum bytes stays as it was, and a second
    // pass over the completed frame gives the same checksum.
    Require(std::equal(buffer.begin(), buffer.end() - 2, data));
    uBloxLowLevelComms::UbxBuffer again = buffer;
    uBloxLowLevelComms::CalcUbxChecksum(again);
    Require(again == buffer);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    CheckChecksum(data, size);
    if (size < 3)
        return 0;

    const std::uint8_t msgClass = data[0];
    const std::uint8_t msgId = data[1];
    const QByteArray text(reinterpret_cast<const char*>(data + 3), qsizetype(size - 3));
    const qsizetype firstRead = std::min<qsizetype>(data[2], text.size());

    for (const QByteArray& seen : {text.left(firstRead), text}) {
        CheckScan(seen, ReplyScan::AckPattern(msgClass, msgId), ReplyScan::kAckEarlyStop);
        CheckScan(seen, ReplyScan::ReplyHeader(msgClass, msgId), ReplyScan::kPollEarlyStop);
    }
    return 0;
}
