#include "receiver_config/Payloads.h"
#include "receiver_config/ResetList.h"
#include "receiver_config/VarnexCommsRoutines.h"

#include <QtTest>

using uBloxLowLevelComms::UbxBuffer;

namespace {
// The frame as it goes out: the sender writes the sync bytes.
QByteArray Sent(UbxBuffer frame)
{
    frame[0] = 0xB5;
    frame[1] = 0x62;
    return QByteArray(reinterpret_cast<const char*>(frame.data()), qsizetype(frame.size())).toHex(' ').toUpper();
}
// Bytes `first` .. `first` + `count` - 1 of a frame.
QByteArray Slice(const UbxBuffer& frame, int first, int count) { return Sent(frame).mid(first * 3, count * 3 - 1); }
} // namespace

class TestPayloads : public QObject {
    Q_OBJECT
private slots:
    void frames_data()
    {
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<QByteArray>("expected");
        const auto& reset = VarnexCommsRoutines::kResetMessages;
        QTest::newRow("CFG-RATE poll") << Sent(Payloads::CfgRatePoll()) << QByteArray("B5 62 06 08 00 00 0E 30");
        QTest::newRow("CFG-PRT 9600 port 1")
            << Sent(Payloads::CfgPrt(9600, 1))
            << QByteArray("B5 62 06 00 14 00 01 00 00 00 C0 08 00 00 80 25 00 00 03 00 03 00 00 00 00 00 8E 95");
        QTest::newRow("CFG-RATE 1000 ms, 1")
            << Sent(Payloads::CfgRate(1000.0f, 1)) << QByteArray("B5 62 06 08 06 00 E8 03 01 00 00 00 00 37");
        QTest::newRow("CFG-NAV")
            << Sent(Payloads::CfgNav())
            << QByteArray("B5 62 06 03 1C 00 07 01 0A 1C 1C 05 00 3C 3C 14 E8 03 00 00 05 07 C8 00 C8 00 32 00 2C 01 "
                          "0F 00 00 00 F5 5C");
        QTest::newRow("CFG-TP 200 ms, 50 ms")
            << Sent(Payloads::CfgTp(200, 50))
            << QByteArray("B5 62 06 07 14 00 40 0D 03 00 50 C3 00 00 01 01 00 00 32 00 34 03 00 00 00 00 EF 71");
        QTest::newRow("CFG-MSG F0 04 rate 1 port 1")
            << Sent(Payloads::CfgMsg(0xF0, 0x04, 1, 1)) << QByteArray("B5 62 06 01 06 00 F0 04 00 01 00 00 02 2C");
        QTest::newRow("reset pair 1 cleared")
            << Sent(Payloads::CfgMsg(reset[0].msgClass, reset[0].msgId, 0, 0))
            << QByteArray("B5 62 06 01 06 00 01 01 00 00 00 00 0F 80");
        QTest::newRow("reset pair 38 cleared")
            << Sent(Payloads::CfgMsg(reset[37].msgClass, reset[37].msgId, 0, 3))
            << QByteArray("B5 62 06 01 06 00 F1 04 00 00 00 00 02 2F");
        QTest::newRow("CFG-MSG poll F0 04") << Sent(Payloads::CfgMsgPoll(0xF0, 0x04)) << QByteArray("B5 62 06 01 02 00 F0 04 FD 15");
        QTest::newRow("CFG-CFG save all")
            << Sent(Payloads::CfgCfgSaveAll()) << QByteArray("B5 62 06 09 0C 00 00 00 00 00 FF FF 00 00 00 00 00 00 19 80");
    }
    void frames()
    {
        QFETCH(QByteArray, sent);
        QFETCH(QByteArray, expected);
        QCOMPARE(sent, expected);
    }

    // Single fields, where a conversion or a range matters.
    void fields_data()
    {
        QTest::addColumn<QByteArray>("field");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("CFG-PRT 115200 baud") << Slice(Payloads::CfgPrt(115200, 1), 14, 4) << QByteArray("00 C2 01 00");
        QTest::newRow("CFG-PRT port 256 does not fit") << Slice(Payloads::CfgPrt(9600, 256), 6, 1) << QByteArray("00");
        QTest::newRow("CFG-RATE 50 ms, 4") << Slice(Payloads::CfgRate(50.0f, 4), 6, 6) << QByteArray("32 00 04 00 00 00");
        QTest::newRow("CFG-RATE 200.5 to even") << Slice(Payloads::CfgRate(200.5f, 1), 6, 2) << QByteArray("C8 00");
        QTest::newRow("CFG-RATE 201.5 to even") << Slice(Payloads::CfgRate(201.5f, 1), 6, 2) << QByteArray("CA 00");
        QTest::newRow("CFG-TP 1000 ms interval") << Slice(Payloads::CfgTp(1000, 100), 6, 4) << QByteArray("40 42 0F 00");
        QTest::newRow("CFG-TP 100 ms length") << Slice(Payloads::CfgTp(1000, 100), 10, 4) << QByteArray("A0 86 01 00");
        QTest::newRow("CFG-TP largest interval") << Slice(Payloads::CfgTp(2147483, 1), 6, 8) << QByteArray("78 FD FF 7F E8 03 00 00");
        QTest::newRow("CFG-TP interval overflows") << Slice(Payloads::CfgTp(2147484, 1), 6, 8) << QByteArray("00 00 00 00 E8 03 00 00");
        QTest::newRow("CFG-TP length overflows") << Slice(Payloads::CfgTp(1, 3000000), 6, 8) << QByteArray("E8 03 00 00 00 00 00 00");
        QTest::newRow("CFG-MSG F0 00 rate 1 port 2") << Slice(Payloads::CfgMsg(0xF0, 0x00, 1, 2), 8, 4) << QByteArray("00 00 01 00");
        QTest::newRow("CFG-MSG port 4 sets nothing") << Slice(Payloads::CfgMsg(0xF0, 0x00, 1, 4), 6, 8) << QByteArray("F0 00 00 00 00 00 FD 15");
        QTest::newRow("CFG-MSG port -1 sets nothing") << Slice(Payloads::CfgMsg(0xF0, 0x00, 1, -1), 6, 6) << QByteArray("F0 00 00 00 00 00");
    }
    void fields()
    {
        QFETCH(QByteArray, field);
        QFETCH(QByteArray, expected);
        QCOMPARE(field, expected);
    }

    void statusTexts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("setting a rate") << VarnexCommsRoutines::SetMessageRateStatus(0xF0, 0x04, 1, 1) << "Setting 240004 port 1";
        QTest::newRow("clearing a rate") << VarnexCommsRoutines::SetMessageRateStatus(0xF0, 0x08, 0, 1) << "Clearing 240008 port 1";
        QTest::newRow("small numbers get leading zeros") << VarnexCommsRoutines::SetMessageRateStatus(0x01, 0x01, 0, 0) << "Clearing 001001 port 0";
        QTest::newRow("update rate poll") << VarnexCommsRoutines::GetUpdateRateStatus(0xF0, 0x04) << "Get Update Rate 240004";
        QTest::newRow("baud rate") << VarnexCommsRoutines::SetBaudRateStatus(4800, 2) << "Setting Baud Rate=4800 Port=2";
        QTest::newRow("time pulse") << VarnexCommsRoutines::SetTimePulseStatus(1000) << "Set Time Pulse=1000";
    }
    void statusTexts()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(text, expected);
    }

    void resetListInOrder()
    {
        QByteArray pairs;
        for (const auto& m : VarnexCommsRoutines::kResetMessages)
            pairs += QByteArray::number(m.msgClass, 16).rightJustified(2, '0') + QByteArray::number(m.msgId, 16).rightJustified(2, '0');
        QCOMPARE(pairs.toUpper(), QByteArray("0101010201030104010601080111011201200121012201300131" // NAV
                                             "021002200222"                                         // RXM
                                             "0A000A010A020A030A060A070A08"                         // MON
                                             "0B300B31"                                             // AID
                                             "F000F001F002F003F004F005F006F007F008"                 // NMEA
                                             "F100F101F103F104"));                                  // PUBX
    }
};

QTEST_APPLESS_MAIN(TestPayloads)
#include "test_payloads.moc"
