#include "link/UbxFrame.h"

#include <QtTest>

using uBloxLowLevelComms::UbxBuffer;

namespace {
UbxBuffer FromHex(const char* hex)
{
    const QByteArray bytes = QByteArray::fromHex(hex);
    return UbxBuffer(bytes.begin(), bytes.end());
}
QByteArray ToHex(const UbxBuffer& buffer)
{
    return QByteArray(reinterpret_cast<const char*>(buffer.data()), qsizetype(buffer.size())).toHex(' ').toUpper();
}
} // namespace

class TestUbxFrame : public QObject {
    Q_OBJECT
private slots:
    void checksum_data()
    {
        QTest::addColumn<QByteArray>("given");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("CFG-RATE poll") << QByteArray("B5 62 06 08 00 00 00 00") << QByteArray("B5 62 06 08 00 00 0E 30");
        QTest::newRow("ACK-ACK for CFG-RATE")
            << QByteArray("B5 62 05 01 02 00 06 08 00 00") << QByteArray("B5 62 05 01 02 00 06 08 16 3F");
        QTest::newRow("payload of FF bytes wraps at every step")
            << QByteArray("B5 62 06 01 08 00 FF FF FF FF FF FF FF FF 00 00")
            << QByteArray("B5 62 06 01 08 00 FF FF FF FF FF FF FF FF 07 7F");
        QTest::newRow("end taken from the size, not the length field")
            << QByteArray("B5 62 06 01 06 00 F0 04 00 00") << QByteArray("B5 62 06 01 06 00 F0 04 01 25");
        QTest::newRow("three bytes left alone") << QByteArray("B5 62 06") << QByteArray("B5 62 06");
        QTest::newRow("empty buffer left alone") << QByteArray("") << QByteArray("");
    }
    void checksum()
    {
        QFETCH(QByteArray, given);
        QFETCH(QByteArray, expected);
        UbxBuffer buffer = FromHex(given.constData());
        uBloxLowLevelComms::CalcUbxChecksum(buffer);
        QCOMPARE(ToHex(buffer), expected);
    }

    void newBufferHasHeaderAndZeros()
    {
        const UbxBuffer buffer = uBloxLowLevelComms::NewUbxBuffer(0x06, 0x01, 300);
        QCOMPARE(buffer.size(), std::size_t{308});
        QCOMPARE(ToHex(UbxBuffer(buffer.begin(), buffer.begin() + 6)), QByteArray("00 00 06 01 2C 01"));
        QVERIFY(std::all_of(buffer.begin() + 6, buffer.end(), [](std::uint8_t b) { return b == 0; }));
    }
};

QTEST_APPLESS_MAIN(TestUbxFrame)
#include "test_ubx_frame.moc"
