// The acknowledgement and poll-reply waits in virtual time, over a line that
// hands over scripted bytes at scripted moments: when each wait ends and what
// it returns.
#include "harness/ScriptedLine.h"
#include "link/CommsFrm.h"
#include "link/uBloxLowLevelComms.h"

#include <QtTest>

using namespace uBloxLowLevelComms;
using Bytes = std::vector<std::uint8_t>;
using Chunks = QList<QPair<double, QByteArray>>;

Q_DECLARE_METATYPE(Bytes)

namespace {
const QByteArray kGga = "$GPGGA,120000.00,5130.0000,N,00007.0000,W,1,08,1.0,45.0,M,47.0,M,,*4A\r\n";
const QByteArray kAck = QByteArray::fromHex("B5620501020006081" "63F");
QByteArray Hex(const char* hex) { return QByteArray::fromHex(hex); }
const QByteArray kRateReply = Hex("B56206080600E80301000100" "0000");

struct Line {
    Clock::VirtualClock clock;
    Clock::ScopedClock use{&clock};
    ScriptedLine line{clock};
    double start = 0;
    explicit Line(const Chunks& chunks)
    {
        SerialControl::SetDeviceFactory(line.Factory());
        CommsFrm::SerialPort().SetPortOpen(true);
        start = clock.Now();
        for (const auto& [at, bytes] : chunks)
            line.Arrive(start + at, bytes);
    }
    ~Line()
    {
        CommsFrm::SerialPort().SetPortOpen(false);
        SerialControl::SetDeviceFactory({});
    }
    double Elapsed() { return clock.Now() - start; }
};
} // namespace

class TestReplyWaits : public QObject {
    Q_OBJECT
private slots:
    void ackWait_data();
    void ackWait();
    void pollReply_data();
    void pollReply();
    void lineGoneDuringWait();
};

void TestReplyWaits::ackWait_data()
{
    QTest::addColumn<Chunks>("chunks");
    QTest::addColumn<bool>("found");
    QTest::addColumn<double>("endsAt");

    QTest::newRow("ack split over reads inside NMEA text")
        << Chunks{{0.10, kGga + Hex("B56205")}, {0.20, Hex("01020006")}, {0.30, Hex("08")}, {0.40, Hex("16") + kGga}}
        << true << 0.40;
    QTest::newRow("ends on the byte after the pattern, not the whole ack")
        << Chunks{{0.10, kAck.left(8)}, {0.70, kAck.mid(8, 1)}, {0.90, kAck.mid(9)}} << true << 0.70;
    QTest::newRow("pattern without its following byte: true after the limit")
        << Chunks{{0.10, kGga + kAck.left(8)}} << true << 5.0;
    QTest::newRow("two acks, the first counts") << Chunks{{0.25, kAck + kGga + kAck}} << true << 0.25;
    QTest::newRow("ack of another id") << Chunks{{0.10, Hex("B5620501020006010F38") + kGga}} << false << 5.0;
    QTest::newRow("NAK never ends the wait early") << Chunks{{0.10, Hex("B562050002000608153A") + kGga}} << false << 5.0;
    QTest::newRow("stale ack before the flush is never seen") << Chunks{{-1.0, kAck}} << false << 5.0;
    QTest::newRow("no answer") << Chunks{{0.50, kGga}} << false << 5.0;
}

void TestReplyWaits::ackWait()
{
    QFETCH(Chunks, chunks);
    QFETCH(bool, found);
    QFETCH(double, endsAt);
    Line line(chunks);
    FlushSerialInput();
    QCOMPARE(WaitForUbxAck(0x06, 0x08), found);
    QVERIFY2(qAbs(line.Elapsed() - endsAt) < 0.003,
             qPrintable(QStringLiteral("ended after %1 s").arg(line.Elapsed())));
}

void TestReplyWaits::pollReply_data()
{
    QTest::addColumn<Chunks>("chunks");
    QTest::addColumn<Bytes>("callerPassed");
    QTest::addColumn<Bytes>("payload");
    QTest::addColumn<double>("endsAt");

    const Bytes rate{0xE8, 0x03, 0x01, 0x00, 0x01, 0x00};
    const QByteArray after37(37, 'x');
    QTest::newRow("reply followed by 37 bytes returns at once")
        << Chunks{{0.30, kGga.left(10) + kRateReply}, {0.35, after37}} << Bytes{} << rate << 0.35;
    QTest::newRow("36 bytes after the reply are not enough")
        << Chunks{{0.30, kRateReply + after37.left(36)}} << Bytes{} << rate << 5.0;
    QTest::newRow("reply with nothing after it waits out the limit")
        << Chunks{{0.30, kRateReply}} << Bytes{} << rate << 5.0;
    QTest::newRow("reply cut short: missing bytes are 0")
        << Chunks{{0.30, Hex("B56206080600E80301")}} << Bytes{} << Bytes{0xE8, 0x03, 0x01, 0, 0, 0} << 5.0;
    QTest::newRow("length bytes never arrived: caller's array untouched")
        << Chunks{{0.30, Hex("B5620608")}} << Bytes{7, 7} << Bytes{7, 7} << 5.0;
    QTest::newRow("length 0: caller's array untouched")
        << Chunks{{0.30, Hex("B56206080000") + after37 + after37}} << Bytes{9} << Bytes{9} << 0.30;
    QTest::newRow("no reply: one byte 0") << Chunks{{0.30, kGga}} << Bytes{1, 2, 3} << Bytes{0} << 5.0;

    QByteArray big = Hex("B56206082C01");
    Bytes bigPayload;
    for (int i = 0; i < 300; ++i) {
        big.append(char(i * 7));
        bigPayload.push_back(std::uint8_t(i * 7));
    }
    QTest::newRow("300-byte payload read whole")
        << Chunks{{0.30, big + Hex("0000") + after37}} << Bytes{} << bigPayload << 0.30;
    // The wait stops 51 bytes after the header, so the tail of a long reply
    // still on the line by then is read as zeros.
    Bytes truncated(bigPayload.begin(), bigPayload.begin() + 94);
    truncated.resize(300, 0);
    QTest::newRow("long reply arriving in pieces: what came by the early stop")
        << Chunks{{0.30, big.left(100)}, {0.40, big.mid(100)}} << Bytes{} << truncated << 0.30;
}

void TestReplyWaits::pollReply()
{
    QFETCH(Chunks, chunks);
    QFETCH(Bytes, callerPassed);
    QFETCH(Bytes, payload);
    QFETCH(double, endsAt);
    Line line(chunks);
    Bytes result = callerPassed;
    ReadUbxPollReply(result, 0x06, 0x08);
    QCOMPARE(result, payload);
    QVERIFY2(qAbs(line.Elapsed() - endsAt) < 0.003,
             qPrintable(QStringLiteral("ended after %1 s").arg(line.Elapsed())));
}

void TestReplyWaits::lineGoneDuringWait()
{
    Line line(Chunks{{2.0, kAck}});
    line.line.GoneAt(line.start + 1.0);
    QVERIFY(!WaitForUbxAck(0x06, 0x08));
    QVERIFY(line.Elapsed() >= 5.0 && line.Elapsed() < 5.01);
}

QTEST_MAIN(TestReplyWaits)
#include "test_reply_waits.moc"
