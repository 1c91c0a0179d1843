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
// its line feed, all of it when there is none) that the view holds. Such text
// (a receiver sending UBX only, sentences ending in a line feed only, noise at
// a wrong rate) would otherwise grow the view for ever; 4 KiB is far beyond an
// NMEA sentence (at most 82 characters). Beyond it the view keeps the newest
// kMaxLength characters of the text, all of them from that line. Whole lines
// are bounded by the 13 carriage returns kept, and each was bounded while it
// arrived.
inline constexpr qsizetype kMaxLength = 4 * 1024;

// Characters of a line that the box shows, the line's newest: the longest
// sentence NMEA 0183 allows, its line end included. A sentence that follows
// binary bytes on the same line is shown whole and in sight, behind at most a
// few of them; a long run of binary bytes is not laid out in full at every
// refresh, for nothing the operator can read.
inline constexpr qsizetype kShownWidth = 82;

// What the view keeps of `text` (its previous content followed by what has
// just arrived): the text from the 13th carriage return counted backwards
// from the second-last character, that carriage return included, to the end.
// The last character is never examined, so a carriage return that ends the
// text does not count. With fewer such carriage returns, all of the text
// stays. When the line still arriving is longer than kMaxLength, only the
// text's newest kMaxLength characters stay.
QString Trim(const QString& text);

// What the box shows of the kept text: its newest kLinesShown lines, each its
// newest kShownWidth characters. A line ends at CR LF, at a lone CR and at a
// lone LF, so sentences ending in a line feed only stand one a line; a CR
// that ends the text is the first half of a CR LF still arriving and is not
// shown. Other control characters (NUL and the bytes of binary frames) are
// shown as a middle dot.
QString Shown(const QString& kept);

} // namespace NmeaView
