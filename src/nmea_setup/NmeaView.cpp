#include "nmea_setup/NmeaView.h"

#include <QStringList>

namespace NmeaView {
namespace {

const QChar kCr = QLatin1Char('\r');
const QChar kLf = QLatin1Char('\n');
const QChar kControlShown = QChar(0x00B7);

bool IsControl(QChar c) { return c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() < 0xA0); }

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
    QString kept = n > 0 ? text.mid(n) : text;
    // The line arriving starts after the last CR and the LF that follows it.
    qsizetype lineStart = kept.lastIndexOf(kCr) + 1;
    if (lineStart > 0 && lineStart < kept.size() && kept.at(lineStart) == kLf)
        ++lineStart;
    if (kept.size() - lineStart > kMaxLength)
        kept.remove(lineStart, kept.size() - lineStart - kMaxLength);
    return kept;
}

QString Shown(const QString& kept)
{
    // A CR at the very end is the first half of a CR LF still arriving.
    const QString whole = kept.endsWith(kCr) ? kept.chopped(1) : kept;
    QStringList lines = whole.split(QStringLiteral("\r\n"));
    if (lines.size() > kLinesShown)
        lines = lines.mid(lines.size() - kLinesShown);
    for (QString& line : lines) {
        line.truncate(kShownWidth);
        for (QChar& c : line)
            if (IsControl(c))
                c = kControlShown;
    }
    return lines.join(kLf);
}

} // namespace NmeaView
