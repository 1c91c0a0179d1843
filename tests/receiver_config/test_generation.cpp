// Telling a receiver's generation and protocol from its MON-VER, as real
// units of each generation answer it, and what each generation is known to
// do with each form of configuration message.
#include "receiver_config/Generation.h"
#include "receiver_config/Payloads.h"

#include <QtTest>

using namespace VarnexCommsRoutines;
Q_DECLARE_METATYPE(VarnexCommsRoutines::Form)

namespace {
QByteArray Text(const char* text, qsizetype size)
{
    QByteArray field(text);
    field.append(QByteArray(size - field.size(), '\0'));
    return field;
}
QByteArray MonVer(const char* software, const char* hardware, std::initializer_list<const char*> extensions)
{
    QByteArray payload = Text(software, 30) + Text(hardware, 10);
    for (const char* e : extensions)
        payload += Text(e, 30);
    return payload;
}
} // namespace

class TestGeneration : public QObject {
    Q_OBJECT
private slots:
    void kindOfReplies_data()
    {
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<int>("generation");
        QTest::addColumn<QString>("protocol");
        QTest::addColumn<bool>("fromFirmware");
        QTest::addColumn<QString>("described");
        QTest::newRow("u-blox 6, no extensions") << MonVer("7.03 (45969)", "00040007", {}) << 6 << "13.03" << true
                                                 << "u-blox 6 (7.03 (45969), protocol 13.03)";
        QTest::newRow("u-blox 7, PROTVER with a space")
            << MonVer("1.00 (59842)", "00070000", {"PROTVER 14.00", "GPS;SBAS;GLO;QZSS"}) << 7 << "14.00" << false
            << "u-blox 7 (1.00 (59842), protocol 14.00)";
        QTest::newRow("LEA-M8F, protocol 16 after a ROM extension")
            << MonVer("2.20 (81289)", "00080000", {"2.01 (75331)", "PROTVER 16.00", "MOD LEA-M8F-0"}) << 8 << "16.00"
            << false << "u-blox 8 (2.20 (81289), protocol 16.00)";
        QTest::newRow("u-blox 8, PROTVER=")
            << MonVer("ROM CORE 3.01 (107888)", "00080000", {"FWVER=SPG 3.01", "PROTVER=18.00", "GPS;GLO;GAL;BDS"}) << 8
            << "18.00" << false << "u-blox 8 (ROM CORE 3.01 (107888), protocol 18.00)";
        QTest::newRow("ZED-F9P") << MonVer("EXT CORE 1.00 (f10c36)", "00190000",
                                           {"ROM BASE 0x118B2060", "FWVER=HPG 1.13", "PROTVER=27.12", "MOD=ZED-F9P"})
                                 << 9 << "27.12" << false << "u-blox 9 (EXT CORE 1.00 (f10c36), protocol 27.12)";
        QTest::newRow("M10") << MonVer("ROM SPG 5.10 (7b202e)", "000A0000", {"FWVER=SPG 5.10", "PROTVER=34.10"}) << 10
                             << "34.10" << false << "u-blox 10 (ROM SPG 5.10 (7b202e), protocol 34.10)";
        // The firmware alone must not be read as a protocol once PROTVER is there.
        QTest::newRow("PROTVER wins over the firmware start")
            << MonVer("1.00 (12345)", "000A0000", {"PROTVER=34.00"}) << 10 << "34.00" << false
            << "u-blox 10 (1.00 (12345), protocol 34.00)";
        QTest::newRow("unknown hardware, unknown firmware")
            << MonVer("9.99 (1)", "12345678", {}) << 0 << "" << false << "hardware 12345678 (9.99 (1))";
    }
    void kindOfReplies()
    {
        QFETCH(QByteArray, payload);
        QFETCH(int, generation);
        QFETCH(QString, protocol);
        QFETCH(bool, fromFirmware);
        QFETCH(QString, described);
        const auto version = ParseReceiverVersion(payload);
        QVERIFY(version);
        const ReceiverKind kind = KindOf(*version);
        QCOMPARE(kind.generation, generation);
        QCOMPARE(ProtocolText(kind), protocol);
        QCOMPARE(kind.protocolFromFirmware, fromFirmware);
        QCOMPARE(Describe(kind, *version), described);
    }

    // The refusals that are known stop a run before it starts; the ones the
    // sources leave open let the unit answer for itself.
    void support_data()
    {
        QTest::addColumn<Form>("form");
        QTest::addColumn<int>("generation");
        QTest::addColumn<int>("support");
        const auto row = [](const char* name, Form f, int g, Support s) { QTest::newRow(name) << f << g << int(s); };
        row("CFG-TP on ANTARIS 4", Form::CfgTp, 4, Support::Takes);
        row("CFG-TP on u-blox 6", Form::CfgTp, 6, Support::Takes);
        row("CFG-TP on u-blox 7", Form::CfgTp, 7, Support::Refuses);
        row("CFG-TP on u-blox 8", Form::CfgTp, 8, Support::Refuses);
        row("four-target CFG-MSG on u-blox 6", Form::CfgMsgFourTargets, 6, Support::Unsure);
        row("four-target CFG-MSG on u-blox 9", Form::CfgMsgFourTargets, 9, Support::Refuses);
        row("navigation block on u-blox 8", Form::CfgNavBlock, 8, Support::Unsure);
        row("CFG-PRT on u-blox 9", Form::CfgPrt, 9, Support::Takes);
        row("CFG-PRT on u-blox 10", Form::CfgPrt, 10, Support::Refuses);
        row("CFG-RATE on the X20", Form::CfgRate, 20, Support::Refuses);
        row("CFG-CFG on u-blox 10", Form::CfgCfg, 10, Support::Takes);
        row("CFG-NAV5 on u-blox 6", Form::CfgNav5, 6, Support::Takes);
        row("CFG-TP5 on u-blox 5", Form::CfgTp5, 5, Support::Unsure);
        row("key values on u-blox 8", Form::KeyValue, 8, Support::Refuses);
        row("key values on u-blox 9", Form::KeyValue, 9, Support::Takes);
        row("anything on an unknown generation", Form::CfgPrt, 0, Support::Unsure);
    }
    void support()
    {
        QFETCH(Form, form);
        QFETCH(int, generation);
        QFETCH(int, support);
        QCOMPARE(int(SupportOf(form, generation)), support);
    }

    // The form of the frames the tool builds, by their class, id and length.
    void formOfFrames()
    {
        QCOMPARE(FormOf(Payloads::CfgTpUs(1000000, 100000)), Form::CfgTp);
        QCOMPARE(FormOf(Payloads::CfgMsg(0xF0, 0x04, 1, 1)), Form::CfgMsgFourTargets);
        QCOMPARE(FormOf(Payloads::CfgMsgPoll(0xF0, 0x04)), Form::CfgMsgPorts);
        QCOMPARE(FormOf(Payloads::CfgNav()), Form::CfgNavBlock);
        QCOMPARE(FormOf(Payloads::CfgCfgSaveAll()), Form::CfgCfg);
        QCOMPARE(FormOf(Payloads::CfgPrt(115200, 1)), Form::CfgPrt);
        const std::uint8_t monVerPoll[] = {0xB5, 0x62, 0x0A, 0x04, 0x00, 0x00, 0x0E, 0x34};
        QCOMPARE(FormOf(monVerPoll), std::nullopt);
        QCOMPARE(FormOf(std::span(monVerPoll).first(4)), std::nullopt);
    }
};

QTEST_GUILESS_MAIN(TestGeneration)
#include "test_generation.moc"
