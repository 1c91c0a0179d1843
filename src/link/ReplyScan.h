#pragma once

#include <QByteArray>

#include <cstdint>
#include <vector>

// Scanning of the text received after a request. The receiver keeps sending
// its NMEA output while it answers, so an acknowledgement or a poll reply
// arrives mixed into that text, often split over several reads. The waits
// gather everything into one growing text and look in it for the fixed start
// of the expected message. Nothing here decodes NMEA or verifies the checksum
// of what it finds.
namespace ReplyScan {

// First eight bytes of the ACK-ACK for a command: B5 62 05 01 02 00 cls id.
// The acknowledgement's own checksum is not part of it.
QByteArray AckPattern(std::uint8_t msgClass, std::uint8_t msgId);
// First eight bytes of the ACK-NAK refusing a command: B5 62 05 00 02 00 cls id.
QByteArray NakPattern(std::uint8_t msgClass, std::uint8_t msgId);
// Start of a poll reply: B5 62 cls id.
QByteArray ReplyHeader(std::uint8_t msgClass, std::uint8_t msgId);

// A wait may stop before its time-out once the text holds p + this many bytes:
// the acknowledgement pattern and one byte more (the first checksum byte) ...
inline constexpr qsizetype kAckEarlyStop = 9;
// ... or the reply header and 47 bytes more: a whole six-byte-payload reply
// (14 bytes) and 37 bytes of whatever the receiver sends after it.
inline constexpr qsizetype kPollEarlyStop = 51;

// Offset of the first occurrence of `pattern` in `text`, or -1.
qsizetype FindFirst(const QByteArray& text, const QByteArray& pattern);

// True when `position` is a found offset and the text holds at least
// `position` + `earlyStop` bytes.
bool EarlyStopReached(const QByteArray& text, qsizetype position, qsizetype earlyStop);

// Replaces `payload` by the payload of the reply whose header starts at
// `position`:
//  - no position (negative): one single byte 0;
//  - length bytes not yet received, or a length of 0: `payload` is left as it is;
//  - otherwise N = low + 256 * high bytes, byte k taken from position + 6 + k,
//    and 0 for the bytes that lie beyond the end of the text.
void ExtractPollPayload(const QByteArray& text, qsizetype position, std::vector<std::uint8_t>& payload);

} // namespace ReplyScan
