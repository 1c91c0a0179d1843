// The simulator's own UBX framing, checked against frames written out by hand.
#include "sim/UbxCodec.h"

#include <QTest>

using namespace VarnexSim;

class TestSimCodec : public QObject {
    Q_OBJECT

private slots:
    void encodesFrames_data();
    void encodesFrames();
    void decodesStream_data();
    void decodesStream();
};

void TestSimCodec::encodesFrames_data()
{
    QTest::addColumn<int>("cls");
    QTest::addColumn<int>("id");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QByteArray>("frame");
    QTest::newRow("CFG-RATE poll") << 0x06 << 0x08 << QByteArray() << QByteArray::fromHex("B5 62 06 08 00 00 0E 30");
    QTest::newRow("CFG-RATE 1000 ms") << 0x06 << 0x08 << QByteArray::fromHex("E8 03 01 00 00 00")
                                      << QByteArray::fromHex("B5 62 06 08 06 00 E8 03 01 00 00 00 00 37");
    QTest::newRow("ACK of CFG-RATE") << 0x05 << 0x01 << QByteArray::fromHex("06 08")
                                     << QByteArray::fromHex("B5 62 05 01 02 00 06 08 16 3F");
    QTest::newRow("sums wrap at 256") << 0x06 << 0x09 << QByteArray(4, char(0xFF))
                                      << QByteArray::fromHex("B5 62 06 09 04 00 FF FF FF FF 0F 7D");
}

void TestSimCodec::encodesFrames()
{
    QFETCH(int, cls);
    QFETCH(int, id);
    QFETCH(QByteArray, payload);
    QFETCH(QByteArray, frame);
    QCOMPARE(EncodeUbx(quint8(cls), quint8(id), payload).toHex(' '), frame.toHex(' '));
}

void TestSimCodec::decodesStream_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("chunk");
    QTest::addColumn<QStringList>("frames");
    QTest::addColumn<int>("badChecksums");
    QTest::addColumn<QByteArray>("garbage");

    const QByteArray poll = QByteArray::fromHex("B5 62 06 08 00 00 0E 30");
    const QByteArray ack = QByteArray::fromHex("B5 62 05 01 02 00 06 08 16 3F");
    const QStringList both{"b5 62 06 08 00 00 0e 30", "b5 62 05 01 02 00 06 08 16 3f"};
    QTest::newRow("two frames whole") << poll + ack << 1000 << both << 0 << QByteArray();
    QTest::newRow("two frames byte by byte") << poll + ack << 1 << both << 0 << QByteArray();
    QTest::newRow("odd pieces") << poll + ack << 3 << both << 0 << QByteArray();
    QTest::newRow("NMEA text before") << "$GPGGA,x*00\r\n" + poll << 5 << QStringList{both[0]} << 0
                                      << QByteArray("$GPGGA,x*00\r\n");
    QTest::newRow("lone B5 before") << QByteArray::fromHex("B5 00 B5") + poll << 1 << QStringList{both[0]} << 0
                                    << QByteArray::fromHex("B5 00 B5");
    QTest::newRow("bad checksum dropped, next frame kept")
        << QByteArray::fromHex("B5 62 06 08 00 00 0E 31") + ack << 4 << QStringList{both[1]} << 1
        << QByteArray::fromHex("06 08 00 00 0E 31");
    QTest::newRow("false sync with huge length")
        << QByteArray::fromHex("B5 62 01") + poll << 2 << QStringList{both[0]} << 0 << QByteArray::fromHex("B5 62 01");
    QTest::newRow("false sync swallowing a real frame")
        << QByteArray::fromHex("B5 62 00 00 04 00") + poll << 1 << QStringList{both[0]} << 1
        << QByteArray::fromHex("00 00 04 00");
}

void TestSimCodec::decodesStream()
{
    QFETCH(QByteArray, input);
    QFETCH(int, chunk);
    QFETCH(QStringList, frames);
    QFETCH(int, badChecksums);
    QFETCH(QByteArray, garbage);

    UbxStreamDecoder decoder;
    QStringList decoded;
    QByteArray skipped;
    int bad = 0;
    for (qsizetype i = 0; i < input.size(); i += chunk) {
        decoder.Feed(input.mid(i, chunk));
        DecodedItem item;
        while (decoder.Next(item)) {
            if (item.kind == DecodedItem::Kind::Frame)
                decoded << QString::fromLatin1(item.raw.toHex(' '));
            else if (item.kind == DecodedItem::Kind::BadChecksum)
                ++bad;
            else
                skipped += item.raw;
        }
    }
    QCOMPARE(decoded, frames);
    QCOMPARE(bad, badChecksums);
    QCOMPARE(skipped.toHex(' '), garbage.toHex(' '));
}

QTEST_GUILESS_MAIN(TestSimCodec)
#include "tst_sim_codec.moc"
