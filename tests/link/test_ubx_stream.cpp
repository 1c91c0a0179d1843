#include "link/UbxStream.h"
#include "sim/UbxCodec.h"

#include <QtTest>

// The frame reader fed in the pieces reads would return, as the fast runner's
// waits feed it: which frames come out, and which bytes of a streaming
// receiver must not.
namespace {

// Frames built by the simulator's own codec, not the tool's.
using VarnexSim::EncodeUbx;

const QByteArray kAck = EncodeUbx(0x05, 0x01, QByteArray("\x06\x01", 2));
const QByteArray kNmea = "$GPGGA,,,,,,0,00,99.99,,,,,,*48\r\n";

QByteArray BadChecksum(QByteArray frame)
{
    frame[frame.size() - 1] = char(frame[frame.size() - 1] ^ 0x01);
    return frame;
}

} // namespace

class TestUbxStream : public QObject {
    Q_OBJECT
private slots:
    void frames_data();
    void frames();
    void nmeaSentences();
};

void TestUbxStream::frames_data()
{
    QTest::addColumn<QByteArrayList>("pieces");
    QTest::addColumn<QStringList>("frames"); // "cls id payload" in hex
    QTest::newRow("ack behind NMEA, split over reads")
        << QByteArrayList{kNmea.left(20), kNmea.mid(20) + kAck.left(3), kAck.mid(3, 4), kAck.mid(7)}
        << QStringList{"0501 0601"};
    QTest::newRow("an ack inside another frame's payload is not taken")
        << QByteArrayList{EncodeUbx(0x01, 0x02, kAck + QByteArray(4, '\0'))}
        << QStringList{"0102 " + (kAck + QByteArray(4, '\0')).toHex()};
    QTest::newRow("a sync pair announcing a long payload does not hold the ack back")
        << QByteArrayList{QByteArray("\xB5\x62\x01\x02\xFF\x03", 6), kAck} << QStringList{"0501 0601"};
    QTest::newRow("a bad checksum drops the frame, not the next")
        << QByteArrayList{BadChecksum(kAck) + kAck} << QStringList{"0501 0601"};
    QTest::newRow("binary output at 5 Hz around a NAK")
        << QByteArrayList{EncodeUbx(0x01, 0x02, QByteArray(28, '\xB5')) + EncodeUbx(0x05, 0x00, QByteArray("\x06\x07", 2))}
        << QStringList{"0102 " + QByteArray(28, '\xB5').toHex(), "0500 0607"};
}

void TestUbxStream::frames()
{
    QFETCH(QByteArrayList, pieces);
    QFETCH(QStringList, frames);
    UbxStream::Reader reader;
    QStringList seen;
    for (const QByteArray& piece : pieces) {
        reader.Append(piece);
        UbxStream::Frame f;
        while (reader.Next(f))
            seen << QString::fromLatin1(QByteArray(1, char(f.msgClass)).toHex() + QByteArray(1, char(f.msgId)).toHex()
                                        + ' ' + f.payload.toHex());
    }
    QCOMPARE(seen, frames);
}

void TestUbxStream::nmeaSentences()
{
    QVERIFY(UbxStream::HoldsNmeaSentence(QByteArray("\x01\xFE", 2) + kNmea));
    QVERIFY(!UbxStream::HoldsNmeaSentence(QByteArray(kNmea).replace("*48", "*49")));
    QVERIFY(!UbxStream::HoldsNmeaSentence(kNmea.left(kNmea.indexOf('*') + 2)));
    QVERIFY(!UbxStream::HoldsNmeaSentence(kAck + kAck));
}

QTEST_MAIN(TestUbxStream)
#include "test_ubx_stream.moc"
