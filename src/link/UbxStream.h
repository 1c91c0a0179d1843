#pragma once

#include <QByteArray>

#include <cstdint>

// Whole UBX frames picked out of what a receiver sends while it also streams
// NMEA text or binary navigation output. Only a frame whose checksum holds is
// taken, so a B5 62 inside a sentence or inside another frame's payload is
// never read as the start of a reply.
namespace UbxStream {

struct Frame {
    std::uint8_t msgClass = 0;
    std::uint8_t msgId = 0;
    QByteArray payload;
};

// Longest payload taken for a frame (a receiver's transmit buffer holds no
// more): a sync pair announcing more is a coincidence in the stream, not a
// frame. Raw measurements of many satellites run past a kilobyte.
inline constexpr qsizetype kMaxPayload = 4096;

class Reader {
public:
    void Append(const QByteArray& bytes) { text_.append(bytes); }
    // The next complete frame with a good checksum, removing it and everything
    // before it; false when none is complete yet (an unfinished frame is kept).
    bool Next(Frame& frame);
    void Clear() { text_.clear(); }
    // Bytes still to come of the unfinished frame kept after Next() returned
    // false (its sync pair and a length it may carry); 0 when none is kept.
    qsizetype Missing() const;

private:
    QByteArray text_;
};

// True when `text` holds a whole NMEA sentence ("$...*hh") with a good checksum.
bool HoldsNmeaSentence(const QByteArray& text);

// True when `bytes` hold the start of a message as a sender at the PC's own
// rate writes it: an NMEA sentence's "$" and address ("$GPGGA,") or the UBX
// sync characters. A sign, long before the whole message, that the sender
// talks at this rate; framing errors never spell it.
bool HoldsMessageStart(const QByteArray& bytes);

// True when `bytes` read as a UART's framing errors: a PC listening at
// another rate than the sender's reads a meaningless byte (0x00, 0xFF, 0x80,
// 0xF8, ...: ones from the top, then zeros) for each byte on the line. Judged
// on enough bytes that a receiver's binary output, whose values spread wide,
// is never taken for it.
bool LooksLikeFramingErrors(const QByteArray& bytes);

} // namespace UbxStream
