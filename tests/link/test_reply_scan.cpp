#include "link/ReplyScan.h"

#include <QtTest>

// Each case feeds the received text in the pieces a read would return and runs
// the scan after every piece, as the waits do; "stops at" is the piece after
// which the wait may end early (-1: only the time-out ends it). The waits'
// own tests run the remaining cases (foreign ids, NAK, cut-short and long
// replies, no reply) through the wait loop in virtual time.
namespace {
QByteArray H(const char* hex) { return QByteArray::fromHex(hex); }

struct WaitResult {
    QByteArray text; // what the wait had received when it ended
    qsizetype position = -1;
    int stopsAt = -1;
};

WaitResult RunWait(const QByteArrayList& pieces, const QByteArray& pattern, qsizetype earlyStop)
{
    WaitResult result;
    for (int i = 0; i < pieces.size(); ++i) {
        result.text += pieces[i];
        result.position = ReplyScan::FindFirst(result.text, pattern);
        if (ReplyScan::EarlyStopReached(result.text, result.position, earlyStop)) {
            result.stopsAt = i;
            break;
        }
    }
    return result;
}

const QByteArray kNmea = "$GPGGA,,,,,,0,00,99.99,,,,,,*48\r\n"; // 33 bytes
const QByteArray kRateReply = H("B5 62 06 08 06 00 E8 03 01 00 00 00 00 37");
} // namespace

class TestReplyScan : public QObject {
    Q_OBJECT
private slots:
    void patterns()
    {
        QCOMPARE(ReplyScan::AckPattern(0x06, 0x08), H("B5 62 05 01 02 00 06 08"));
        QCOMPARE(ReplyScan::ReplyHeader(0xF0, 0x04), H("B5 62 F0 04"));
    }

    void ackWait_data()
    {
        QTest::addColumn<QByteArrayList>("pieces");
        QTest::addColumn<qsizetype>("position");
        QTest::addColumn<int>("stopsAt");
        QTest::newRow("ack split over reads, NMEA around it")
            << QByteArrayList{kNmea + H("B5 62 05"), H("01 02 00"), H("06 08"), H("16 3F") + kNmea}
            << qsizetype{33} << 3;
        QTest::newRow("two acks, first counts")
            << QByteArrayList{H("41 B5 62 05 01 02 00 06 08 16 3F") + kNmea + H("B5 62 05 01 02 00 06 08 16 3F")}
            << qsizetype{1} << 0;
    }
    void ackWait()
    {
        QFETCH(QByteArrayList, pieces);
        QFETCH(qsizetype, position);
        QFETCH(int, stopsAt);
        const WaitResult result = RunWait(pieces, ReplyScan::AckPattern(0x06, 0x08), ReplyScan::kAckEarlyStop);
        QCOMPARE(result.position, position);
        QCOMPARE(result.stopsAt, stopsAt);
    }

    void pollWait_data()
    {
        QTest::addColumn<QByteArrayList>("pieces");
        QTest::addColumn<int>("stopsAt");
        QTest::addColumn<QByteArray>("payload");

        QTest::newRow("reply then 37 bytes of NMEA")
            << QByteArrayList{kNmea, kRateReply, kNmea.left(30), kNmea.left(7)} << 3 << H("E8 03 01 00 00 00");
        QTest::newRow("reply then 36 bytes: wait goes on")
            << QByteArrayList{kRateReply + kNmea + "abc"} << -1 << H("E8 03 01 00 00 00");
        QTest::newRow("wrong checksum still taken")
            << QByteArrayList{H("B5 62 06 08 06 00 C8 00 01 00 00 00 00 00") + kNmea + kNmea} << 0 << H("C8 00 01 00 00 00");
        QTest::newRow("length 0: caller's array untouched")
            << QByteArrayList{H("B5 62 06 08 00 00 0E 30") + kNmea + kNmea} << 0 << H("AA");
    }
    void pollWait()
    {
        QFETCH(QByteArrayList, pieces);
        QFETCH(int, stopsAt);
        QFETCH(QByteArray, payload);
        const WaitResult result = RunWait(pieces, ReplyScan::ReplyHeader(0x06, 0x08), ReplyScan::kPollEarlyStop);
        QCOMPARE(result.stopsAt, stopsAt);

        std::vector<std::uint8_t> got{0xAA};
        ReplyScan::ExtractPollPayload(result.text, result.position, got);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(got.data()), qsizetype(got.size())), payload);
    }
};

QTEST_APPLESS_MAIN(TestReplyScan)
#include "test_reply_scan.moc"
