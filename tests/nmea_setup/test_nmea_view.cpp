// What the live NMEA view keeps of its text (the 13 carriage returns counted
// back from the second-last character, and the length bound on a line without
// them) and what its box shows of the text received.
#include "nmea_setup/NmeaView.h"

#include <QtTest>

namespace {

QString Sentence(int n, const char* end = "\r\n")
{
    return QStringLiteral("$GPTXT,%1*00").arg(n, 2, 10, QLatin1Char('0')) + QLatin1String(end);
}

QString Sentences(int first, int last, const char* end = "\r\n")
{
    QString text;
    for (int n = first; n <= last; ++n)
        text += Sentence(n, end);
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
    // Binary bytes without a CR after sentences.
    QTest::newRow("a line beyond the bound after sentences: the oldest go first, the sentences with them")
        << Sentences(1, 3) + atBound + QLatin1Char('Z') << atBound.mid(1) + QLatin1Char('Z');
}

void TestNmeaView::shown_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown");
    const QString box = Sentences(9, 20, "\n");
    QTest::newRow("empty first line, twelve sentences, the one arriving")
        << Sentences(1, 20) + QStringLiteral("$GPGGA,12") << QStringLiteral("\n") + box + QStringLiteral("$GPGGA,12");
    QTest::newRow("a CR still waiting for its LF is not shown")
        << Sentences(1, 2) + QStringLiteral("$GPGGA*00\r") << Sentences(1, 2, "\n") + QStringLiteral("$GPGGA*00");
    // NUL and the high control bytes of binary frames: a dot each; a lone CR
    // or LF ends a line.
    QTest::newRow("binary bytes") << QString::fromLatin1("\xB5" "b\x01\x02\r\x00\n\x7F\x85\xA0$", 11)
                                  << QString::fromUtf8("\u00B5b\u00B7\u00B7\n\u00B7\n\u00B7\u00B7\u00A0$");
    // A frame whose payload holds a CR, before each sentence: the frames' CRs
    // count, so the 13th from the end ends the 4th sentence.
    const QString frame = QString::fromLatin1("\xB5" "b\x01\x21\x04\x00\x01\r\x02\x03\x80\x81", 12);
    const QString frameShown = QString::fromUtf8("\u00B5b\u00B7!\u00B7\u00B7\u00B7\n\u00B7\u00B7\u00B7\u00B7");
    QString framed = Sentence(1), framedShown = QStringLiteral("\n");
    for (int n = 2; n <= 10; ++n) {
        framed += frame + Sentence(n);
        if (n >= 5)
            framedShown += frameShown + Sentence(n, "\n");
    }
    QTest::newRow("frames with CRs between sentences: the newest six sentences whole") << framed << framedShown;
    const QString binary = QString::fromLatin1("\x01\x00\x02\x85", 4).repeated(50);
    QTest::newRow("a sentence after 200 bytes of binary: whole, behind the newest of them")
        << Sentences(1, 3) + binary + Sentence(4)
        << Sentences(1, 3, "\n") + QString(NmeaView::kShownWidth - 12, QChar(0x00B7)) + Sentence(4, "\n");
    QTest::newRow("sentences ending in LF only, beyond the length bound: the newest, one a line")
        << Sentences(1, 400, "\n") + QStringLiteral("$GPGGA,12") << Sentences(388, 400, "\n") + QStringLiteral("$GPGGA,12");
    const QString longLine = QStringLiteral("$") + QString(NmeaView::kShownWidth, QLatin1Char('x'));
    QTest::newRow("long lines: their newest characters") << longLine + QStringLiteral("\r\n") + longLine
                                                         << longLine.mid(1) + QLatin1Char('\n') + longLine.mid(1);
}

void TestNmeaView::shown()
{
    QFETCH(QString, text);
    QTEST(NmeaView::Shown(NmeaView::Trim(text)), "shown");
}

void TestNmeaView::trimming()
{
    QFETCH(QString, text);
    QFETCH(QString, kept);
    QCOMPARE(NmeaView::Trim(text), kept);
}

QTEST_APPLESS_MAIN(TestNmeaView)
#include "test_nmea_view.moc"
