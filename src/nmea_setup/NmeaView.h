#pragma once

#include <QString>

// The text kept by the live NMEA view of the NMEA setup window.
namespace NmeaView {

// Carriage returns counted back from the end of the text: with sentences
// ending in CR LF the view shows an empty first line, twelve whole sentences
// and the one still arriving.
inline constexpr int kCarriageReturnsKept = 13;

// Longest text without a carriage return that the view holds. Such text (a
// receiver sending UBX only, or noise at a wrong rate) would otherwise grow the
// view for ever; 64 KiB is far beyond 13 NMEA sentences (at most 82
// characters each) and still cheap to redraw every 100 ms. Text with carriage
// returns is bounded by the 13 it keeps.
inline constexpr qsizetype kMaxLength = 64 * 1024;

// What the view keeps of `text` (its previous content followed by what has
// just arrived): the text from the 13th carriage return counted backwards
// from the second-last character, that carriage return included, to the end.
// The last character is never examined, so a carriage return that ends the
// text does not count. With fewer such carriage returns, all of the text
// stays. A result without carriage returns longer than kMaxLength keeps only
// its last kMaxLength characters.
QString Trim(const QString& text);

} // namespace NmeaView
