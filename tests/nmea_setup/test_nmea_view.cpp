// What the live NMEA view keeps of its text (the 13 carriage returns counted
// back from the second-last character, and the length bound on a line without
// them) and what its box shows of it.
#include "nmea_setup/NmeaView.h"

#include <QtTest>

namespace {

QString Sentence(int n) { return QStringLiteral("$GPTXT,%1*00\r\n").arg(n, 2, 10, QLatin1Char('0')); }

QString Sentences(int first, int last)
{
    QString text;
    for (int n = first; n <= last; ++n)
        text += Sentence(n);
    return text;
}

} // namespace

class TestNmeaView : public QObject {
    Q_OBJECT
private slots:
    void trimming_data();
    void trimming();
    void shown_data();
    void shown();
};

void TestNmeaView::trimming_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("kept");

    QTest::newRow("20 sentences: from the CR ending the 8th")
        << Sentences(1, 20) << QStringLiteral("\r\n") + Sentences(9, 20);
    QTest::newRow("20 sentences and one arriving: the same cut, the partial one kept")
        << Sentences(1, 20) + QStringLiteral("$GPGGA,12")
        << QStringLiteral("\r\n") + Sentences(9, 20) + QStringLiteral("$GPGGA,12");
    QTest::newRow("exactly 13 CRs, the first one not first: from that CR")
        << QStringLiteral("x") + QStringLiteral("\r\n").repeated(13) << QStringLiteral("\r\n").repeated(13);
    QTest::newRow("12 sentences: fewer than 13 CRs, all kept") << Sentences(1, 12) << Sentences(1, 12);
    QTest::newRow("last character is never examined")
        << QStringLiteral("ab\r").repeated(13) << QStringLiteral("ab\r").repeated(13);
    QTest::newRow("a 14th CR as the last character does not count")
        << QStringLiteral("ab\r").repeated(14) << QStringLiteral("\rab").repeated(13) + QStringLiteral("\r");
    QTest::newRow("lone CRs count as well as CR LF")
        << QStringLiteral("L\r").repeated(20) << QStringLiteral("\rL").repeated(13) + QStringLiteral("\r");
    QTest::newRow("empty text stays empty") << QString() << QString();
    const QString longLine = QString(8000, QLatin1Char('x')) + QStringLiteral("\r\n");
    QTest::newRow("lines beyond the length bound: only the CR rule cuts")
        << longLine.repeated(20) + QStringLiteral("tail") << QStringLiteral("\r\n") + longLine.repeated(12) + QStringLiteral("tail");
    // Without CRs the length bound cuts: at the bound nothing goes, beyond it the oldest.
    const QString atBound = QLatin1Char('F') + QString(NmeaView::kMaxLength - 1, QLatin1Char('a'));
    QTest::newRow("no CR, at the length bound: all kept") << atBound << atBound;
    QTest::newRow("no CR, one beyond the bound: the oldest goes")
        << atBound + QLatin1Char('Z') << atBound.mid(1) + QLatin1Char('Z');
    // Binary bytes without a CR after sentences: the line arriving is bounded
    // alone, the sentences before it stay.
    QTest::newRow("a line beyond the bound after sentences: its oldest go")
        << Sentences(1, 3) + atBound + QLatin1Char('Z') << Sentences(1, 3) + atBound.mid(1) + QLatin1Char('Z');
}

void TestNmeaView::shown_data()
{
    QTest::addColumn<QString>("kept");
    QTest::addColumn<QString>("shown");
    const QString box = Sentences(9, 20).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QTest::newRow("empty first line, twelve sentences, the one arriving")
        << QStringLiteral("\r\n") + Sentences(9, 20) + QStringLiteral("$GPGGA,12")
        << QStringLiteral("\n") + box + QStringLiteral("$GPGGA,12");
    QTest::newRow("a CR still waiting for its LF is not shown")
        << Sentences(1, 2) + QStringLiteral("$GPGGA*00\r")
        << Sentence(1).chopped(2) + u'\n' + Sentence(2).chopped(2) + QStringLiteral("\n$GPGGA*00");
    // Lone CRs and LFs, NUL and the high control bytes of binary frames: one
    // line, a dot for each.
    QTest::newRow("binary bytes") << QString::fromLatin1("\xB5" "b\x01\x02\r\x00\n\x7F\x85\xA0$", 11)
                                  << QString::fromUtf8("\u00B5b\u00B7\u00B7\u00B7\u00B7\u00B7\u00B7\u00B7\u00A0$");
    QTest::newRow("more than 14 lines: the newest 14, the last one empty")
        << Sentences(1, 20) << Sentences(8, 20).replace(u'\r', QString());
    const QString longLine(NmeaView::kShownWidth + 1, QLatin1Char('x'));
    QTest::newRow("long lines: their start") << longLine + QStringLiteral("\r\n") + longLine
                                             << longLine.chopped(1) + QLatin1Char('\n') + longLine.chopped(1);
}

void TestNmeaView::shown()
{
    QFETCH(QString, kept);
    QTEST(NmeaView::Shown(kept), "shown");
}

void TestNmeaView::trimming()
{
    QFETCH(QString, text);
    QFETCH(QString, kept);
    QCOMPARE(NmeaView::Trim(text), kept);
}

QTEST_APPLESS_MAIN(TestNmeaView)
#include "test_nmea_view.moc"
