#include "nmea_setup/NmeaView.h"

namespace NmeaView {

QString Trim(const QString& text)
{
    // n walks back over positions counted from 1; the first position looked
    // at is the second-last character.
    qsizetype n = text.size();
    int found = 0;
    while (n > 1 && found < kCarriageReturnsKept) {
        --n;
        if (text.at(n - 1) == QLatin1Char('\r'))
            ++found;
    }
    --n;
    // Everything from position n + 1 on, i.e. from index n; an empty text
    // leaves n at -1.
    QString kept = n > 0 ? text.mid(n) : text;
    if (kept.size() > kMaxLength && !kept.contains(QLatin1Char('\r')))
        kept = kept.right(kMaxLength);
    return kept;
}

} // namespace NmeaView
