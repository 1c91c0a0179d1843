#include "nmea_setup/NmeaView.h"

#include <QStringList>

namespace NmeaView {
namespace {

const QChar kCr = QLatin1Char('\r');
const QChar kLf = QLatin1Char('\n');
const QChar kControlShown = QChar(0x00B7);

bool IsControl(QChar c) { return c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() < 0xA0); }

bool IsLineEnd(QChar c) { return c == kCr || c == kLf; }

// The newest kShownWidth characters of a line, control characters as dots.
QString ShownLine(QStringView line)
{
    QString shown = line.right(kShownWidth).toString();
    for (QChar& c : shown)
        if (IsControl(c))
            c = kControlShown;
    return shown;
}

} // namespace

QString Trim(const QString& text)
{
    // n walks back over positions counted from 1; the first position looked
    // at is the second-last character.
    qsizetype n = text.size();
    int found = 0;
    while (n > 1 && found < kCarriageReturnsKept) {
        --n;
        if (text.at(n - 1) == kCr)
            ++found;
    }
    --n;
    // Everything from position n + 1 on, i.e. from index n; an empty text
    // leaves n at -1.
    const QString kept = n > 0 ? text.mid(n) : text;
    // The line arriving starts after the last CR and the LF that follows it.
    qsizetype lineStart = kept.lastIndexOf(kCr) + 1;
    if (lineStart > 0 && lineStart < kept.size() && kept.at(lineStart) == kLf)
        ++lineStart;
    // Beyond the bound the oldest characters go first: those of the lines
    // before it, then the oldest of the line itself.
    return kept.size() - lineStart > kMaxLength ? kept.right(kMaxLength) : kept;
}

QString Shown(const QString& kept)
{
    const QStringView text = kept.endsWith(kCr) ? QStringView(kept).chopped(1) : QStringView(kept);
    // Lines are taken from the newest back, so only those shown are walked.
    QStringList lines;
    qsizetype end = text.size();
    while (lines.size() < kLinesShown) {
        qsizetype start = end;
        while (start > 0 && !IsLineEnd(text[start - 1]))
            --start;
        lines.prepend(ShownLine(text.mid(start, end - start)));
        if (start == 0)
            break;
        // Past the line end: CR LF is one, a lone CR or LF another.
        end = start - 1;
        if (text[end] == kLf && end > 0 && text[end - 1] == kCr)
            --end;
    }
    return lines.join(kLf);
}

} // namespace NmeaView
