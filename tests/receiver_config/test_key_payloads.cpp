// The key-value messages against frames captured from real units and the
// protocol's own examples, and the key table's names and value types.
#include "link/UbxKeys.h"
#include "receiver_config/KeyPayloads.h"

#include <QtTest>

using namespace Payloads;

namespace {
QByteArray Bytes(const uBloxLowLevelComms::UbxBuffer& frame)
{
    QByteArray bytes(reinterpret_cast<const char*>(frame.data()), qsizetype(frame.size()));
    bytes[0] = char(0xB5); // the sender writes the sync bytes
    bytes[1] = char(0x62);
    return bytes;
}
} // namespace

class TestKeyPayloads : public QObject {
    Q_OBJECT
private slots:
    void valsetAsTheUnitsTakeIt()
    {
        const KeyValue baud[] = {{UbxKeys::Named("CFG-UART1-BAUDRATE"), 115200}};
        QCOMPARE(Bytes(CfgValset(baud, kLayerRam).at(0)),
                 QByteArray::fromHex("B5 62 06 8A 0C 00 00 01 00 00 01 00 52 40 00 C2 01 00 F3 A5"));
        // A frame captured on its way to an M10: GGA and RMC on UART1, in RAM.
        const auto gga = UbxKeys::OutputKey(*UbxKeys::FindOutput(0xF0, 0x00), 1);
        const auto rmc = UbxKeys::OutputKey(*UbxKeys::FindOutput(0xF0, 0x04), 1);
        const KeyValue outputs[] = {{gga, 1}, {rmc, 1}};
        const auto frames = CfgValset(outputs, kLayerRam);
        QCOMPARE(frames.size(), std::size_t(1));
        QCOMPARE(Bytes(frames[0]), QByteArray::fromHex("B5 62 06 8A 0E 00 00 01 00 00 BB 00 91 20 01 AC 00 91 20 01 6A 8F"));
    }

    // More items than a message holds go as one transaction, applied by its last message.
    void valsetOverSeveralMessages()
    {
        std::vector<KeyValue> items(130, KeyValue{UbxKeys::Named("CFG-RATE-MEAS"), 200});
        const auto frames = CfgValset(items, kAllLayers);
        QCOMPARE(frames.size(), std::size_t(3));
        const int transactions[] = {1, 2, 3};
        const std::size_t counts[] = {64, 64, 2};
        for (std::size_t i = 0; i < frames.size(); ++i) {
            const auto& f = frames[i];
            QCOMPARE(int(f[6]), 1);    // version 1 carries the transaction
            QCOMPARE(int(f[7]), int(kAllLayers));
            QCOMPARE(int(f[8]), transactions[i]);
            QCOMPARE(f.size(), 8 + 4 + counts[i] * 6);
        }
    }

    void valgetPollAndReply()
    {
        const std::uint32_t keys[] = {UbxKeys::GroupWildcard(0x52)};
        QCOMPARE(Bytes(CfgValget(ReadLayer::Flash, 64, keys)).toHex(' '),
                 QByteArray("b5 62 06 8b 08 00 00 02 40 00 ff ff 52 00 2b bc"));
        // Version 1, RAM, position 0: UART1 at 38400, cable delay -5 ns, the UBX output on.
        const QByteArray reply = QByteArray::fromHex("01 00 00 00  01 00 52 40 00 96 00 00  01 00 05 30 FB FF"
                                                     "  01 00 74 10 FF");
        const auto read = ParseValget(reply);
        QVERIFY(read);
        const std::vector<KeyValue> want = {{0x40520001, 38400}, {0x30050001, -5}, {0x10740001, 1}};
        QCOMPARE(read->items, want);
        QVERIFY(!ParseValget(reply.left(reply.size() - 1)));          // the last item cut short
        QVERIFY(!ParseValget(QByteArray::fromHex("01 00 00 00 01 00 00 00 05"))); // a key of no size
        QCOMPARE(ParseValget(QByteArray::fromHex("01 02 40 00"))->position, std::uint16_t(64));
    }

    void keyNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<quint32>("id");
        QTest::newRow("a setting") << "CFG-NAVSPG-DYNMODEL" << quint32(0x20110021);
        QTest::newRow("an NMEA output") << "CFG-MSGOUT-NMEA_ID_GGA_UART1" << quint32(0x209100bb);
        QTest::newRow("a UBX output on USB") << "CFG-MSGOUT-UBX_NAV_PVT_USB" << quint32(0x20910009);
        QTest::newRow("outside the table") << "0x10a20001" << quint32(0x10a20001);
    }
    void keyNames()
    {
        QFETCH(QString, name);
        QFETCH(quint32, id);
        QCOMPARE(QString::fromStdString(UbxKeys::NameOf(id)), name);
        QCOMPARE(UbxKeys::Parse(name.toStdString()), std::optional<std::uint32_t>(id));
    }

    void valuesByType()
    {
        QVERIFY(!UbxKeys::Parse("CFG-NO-SUCH"));
        QVERIFY(!UbxKeys::Parse("0x00000001")); // size bits of no size
        QVERIFY(UbxKeys::Fits(UbxKeys::Named("CFG-TP-ANT_CABLEDELAY"), -32768));
        QVERIFY(!UbxKeys::Fits(UbxKeys::Named("CFG-TP-ANT_CABLEDELAY"), 32768));
        QVERIFY(!UbxKeys::Fits(UbxKeys::Named("CFG-UART1-ENABLED"), 2));
        QVERIFY(!UbxKeys::Fits(UbxKeys::Named("CFG-RATE-MEAS"), -1));
        QVERIFY(UbxKeys::Fits(UbxKeys::Named("CFG-UART1-BAUDRATE"), 921600));
        QCOMPARE(UbxKeys::Decode(UbxKeys::Named("CFG-NAVSPG-INFIL_MINELEV"), 0xF6), std::int64_t(-10));
    }
};

QTEST_GUILESS_MAIN(TestKeyPayloads)
#include "test_key_payloads.moc"
