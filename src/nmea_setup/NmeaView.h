#pragma once

#include <QString>

// The text kept and shown by the live NMEA view of the NMEA setup window.
namespace NmeaView {

// Carriage returns counted back from the end of the text: with sentences
// ending in CR LF the view shows an empty first line, twelve whole sentences
// and the one still arriving.
inline constexpr int kCarriageReturnsKept = 13;
// Lines the box has room for: those three parts together.
inline constexpr int kLinesShown = kCarriageReturnsKept + 1;

// Longest line still arriving (the text after the last carriage return and
// its line feed, all of it when there is none) that the view holds, its
// newest characters. Such
// text (a receiver sending UBX only, or noise at a wrong rate) would
// otherwise grow the view for ever; 4 KiB is far beyond an NMEA sentence (at
// most 82 characters). Whole lines are bounded by the 13 carriage returns
// kept, and each was bounded while it arrived.
inline constexpr qsizetype kMaxLength = 4 * 1024;

// Characters of a line that the box shows, from its start: twice its width,
// enough for any NMEA sentence. A long run of binary bytes would otherwise be
// laid out in full at every refresh, for nothing the operator can see.
inline constexpr qsizetype kShownWidth = 160;

// What the view keeps of `text` (its previous content followed by what has
// just arrived): the text from the 13th carriage return counted backwards
// from the second-last character, that carriage return included, to the end.
// The last character is never examined, so a carriage return that ends the
// text does not count. With fewer such carriage returns, all of the text
// stays. A line still arriving longer than kMaxLength keeps only its last
// kMaxLength characters.
QString Trim(const QString& text);

// What the box shows of the kept text, one line for each CR LF: at most the
// last kLinesShown lines, each cut to its first kShownWidth characters. Other
// control characters (a lone CR or LF, NUL, the bytes of binary frames) are
// shown as a middle dot, so binary traffic neither breaks lines nor hides.
QString Shown(const QString& kept);

} // namespace NmeaView
