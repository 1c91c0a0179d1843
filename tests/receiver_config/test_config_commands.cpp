// The configuration commands, the rate read-back and the reset against the
// simulated receiver in virtual time: results, progress texts and frames; and
// each message's frame read back through the message table.
#include "harness/MainWindowDriver.h"
#include "harness/VirtualReceiver.h"
#include "link/CommsFrm.h"
#include "link/UbxMessages.h"
#include "receiver_config/Payloads.h"
#include "receiver_config/VarnexCommsRoutines.h"

#include <QLabel>
#include <QtTest>

using namespace VarnexCommsRoutines;
using Fields = QList<QPair<QString, quint32>>; // name, value

namespace {
VarnexSim::ModelOptions At115200(bool silent = false) { return {.startBaud = 115200, .faults = {.silent = silent}}; }

void OpenLink()
{
    SerialControl& port = CommsFrm::SerialPort();
    port.SetCommPort(1);
    port.SetSettings(QStringLiteral("115200,N,8,1"));
    QVERIFY(port.SetPortOpen(true));
}

const QString kMsgPoll = HexFrame("B5 62 06 01 02 00 F0 04 FD 15");

QByteArray Bytes(const uBloxLowLevelComms::UbxBuffer& frame)
{
    return QByteArray(reinterpret_cast<const char*>(frame.data()), qsizetype(frame.size()));
}
} // namespace

class TestConfigCommands : public QObject {
    Q_OBJECT
private slots:
    // The receiver never answers, so each command is still waiting, its text
    // showing in the main window, when a zero timer fires inside the wait.
    void progressTexts()
    {
        VirtualReceiver receiver(At115200(true));
        QWidget* main = MainWindowDriver::Load();
        QVERIFY(main);
        const auto unload = qScopeGuard(MainWindowDriver::UnloadAll);
        OpenLink();
        auto* panel = main->findChild<QLabel*>(QStringLiteral("Panel1"));
        QStringList seen;
        QTimer probe;
        QObject::connect(&probe, &QTimer::timeout, [&] { seen << panel->text(); });
        probe.start(0);
        QVERIFY(!SetMessageRate(0xF0, 0x04, 1, 1));
        QVERIFY(!SetMessageRate(0x01, 0x08, 0, 1));
        QVERIFY(!SetTimePulse(1000, 100));
        QCOMPARE(GetUpdateRate(0xF0, 0x04, 1), OutputRate::NoReply);
        probe.stop();
        seen.removeDuplicates();
        QCOMPARE(seen, QStringList({"Setting 240004 port 1", "Clearing 001008 port 1", "Set Time Pulse=1000",
                                    "Get Update Rate 240004"}));
        QCOMPARE(panel->text(), QString());
        QVERIFY(qAbs(receiver.Elapsed() - 4 * 5.0) < 0.01);
    }

    // The poll's reply gives the rate on `port`; a rate the window cannot
    // show is cleared on that port; a reply of another shape is no reply.
    void updateRate_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("port");
        QTest::addColumn<OutputRate>("result");
        QTest::addColumn<QString>("clearing");
        const QByteArray rates = QByteArray::fromHex("B5 62 06 01 06 00 F0 04 00 05 01 03 00 00"); // ports 0..3
        QTest::newRow("rate 0 is off") << rates << 0 << OutputRate::Off << QString();
        QTest::newRow("rate 5 is 1Hz") << rates << 1 << OutputRate::EveryFifthSolution << QString();
        QTest::newRow("rate 1 is 5Hz") << rates << 2 << OutputRate::EverySolution << QString();
        QTest::newRow("rate 3 is cleared") << rates << 3 << OutputRate::Off << HexFrame("B5 62 06 01 06 00 F0 04 00 00 00 00 01 29");
        QTest::newRow("reply of 8 bytes") << QByteArray::fromHex("B5 62 06 01 08 00 F0 04 00 05 01 03 03 03 00 00")
                                          << 3 << OutputRate::NoReply << QString();
        QTest::newRow("no reply") << QByteArray() << 1 << OutputRate::NoReply << QString();
    }
    void updateRate()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QString, clearing);
        VirtualReceiver receiver(At115200(true));
        receiver.OnWrite([&](const QByteArray&) {
            if (!reply.isEmpty() && receiver.Written().toHex().toUpper().endsWith(kMsgPoll.toLatin1()))
                receiver.Arrive(receiver.Elapsed() + 0.01, reply + QByteArray(37, 'x'));
        });
        OpenLink();
        QFETCH(int, port);
        QTEST(GetUpdateRate(0xF0, 0x04, port), "result");
        QStringList sent{kMsgPoll};
        if (!clearing.isEmpty())
            sent << clearing;
        QCOMPARE(receiver.Frames(), sent);
        if (reply.isEmpty())
            QVERIFY(qAbs(receiver.Elapsed() - 5.0) < 0.01);
    }

    // Each message built from values whose bytes differ from each other and
    // from 0, then every field of its table row read back: an offset or a
    // width that drifts between a builder and the table reads another value.
    void messageTableReadsWhatTheBuildersWrite_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<Fields>("fields"); // every field of the message's row
        QTest::newRow("CFG-PRT") << Bytes(Payloads::CfgPrt(0x1A2B3C4D, 3))
            << Fields{{"portId", 3}, {"mode", 0x08C0}, {"baudRate", 0x1A2B3C4D}, {"inProtoMask", 3}, {"outProtoMask", 3}, {"flags", 0}};
        const std::uint8_t rates[] = {0x11, 0x22, 0x33, 0x44};
        QTest::newRow("CFG-MSG") << Bytes(Payloads::CfgMsg(0xF1, 0x04, 9, 0, rates))
            << Fields{{"msgClass", 0xF1}, {"msgId", 0x04}, {"port 0", 0x11}, {"port 1", 0x22}, {"port 2", 0x33}, {"port 3", 0x44}};
        QTest::newRow("CFG-RATE") << Bytes(Payloads::CfgRate(0x1234, 0x0506))
                                  << Fields{{"measRate", 0x1234}, {"navRate", 0x0506}, {"timeRef", 0}};
        QTest::newRow("CFG-TP") << Bytes(Payloads::CfgTp(1193046, 305419)) // 0x471C6FF0 and 0x123452F8 µs
            << Fields{{"interval", 0x471C6FF0}, {"length", 0x123452F8}, {"status", 1}, {"timeRef", 1},
                      {"antennaCableDelay", 50}, {"rfGroupDelay", 820}, {"userDelay", 0}};
        std::uint8_t block[Payloads::kNavBlockSize];
        Fields nav;
        for (std::uint8_t i = 0; i < Payloads::kNavBlockSize; ++i)
            block[i] = 0x11 + i;
        for (int offset : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 12, 13, 14, 15, 24, 25, 26, 27})
            nav << Fields::value_type{QStringLiteral("offset %1").arg(offset), 0x11u + offset};
        for (int offset : {10, 16, 18, 20, 22}) // the 16-bit values
            nav << Fields::value_type{QStringLiteral("offset %1").arg(offset), (0x12u + offset) << 8 | (0x11u + offset)};
        QTest::newRow("CFG-NAV") << Bytes(Payloads::CfgNav(block)) << nav;
        QTest::newRow("CFG-CFG save") << Bytes(Payloads::CfgCfgSaveAll()) << Fields{{"clearMask", 0}, {"saveMask", 0xFFFF}, {"loadMask", 0}};
        QTest::newRow("CFG-CFG load") << Bytes(Payloads::CfgCfgLoadAll()) << Fields{{"clearMask", 0}, {"saveMask", 0}, {"loadMask", 0xFFFF}};
    }
    void messageTableReadsWhatTheBuildersWrite()
    {
        QFETCH(QByteArray, frame);
        QFETCH(Fields, fields);
        const UbxMessages::Message* message = UbxMessages::Find(quint8(frame[2]), quint8(frame[3]));
        QVERIFY(message);
        QVERIFY(QString::fromLatin1(QTest::currentDataTag()).startsWith(QLatin1String(message->name)));
        const QByteArray payload = frame.mid(UbxProtocol::kPayloadStart, frame.size() - qsizetype(UbxProtocol::kFrameOverhead));
        QCOMPARE(std::size_t(payload.size()), message->payloadSize);
        QCOMPARE(std::size_t(fields.size()), message->fields.size());
        for (const auto& [name, value] : fields) {
            const UbxMessages::Field* field = UbxMessages::FieldOf(*message, qPrintable(name));
            QVERIFY2(field, qPrintable(name));
            const quint32 read = UbxProtocol::LittleEndianAt(payload, field->offset, field->width);
            QVERIFY2(read == value, qPrintable(QStringLiteral("%1 reads %2, built %3").arg(name).arg(read, 0, 16).arg(value, 0, 16)));
        }
    }

    void resetSendsOneRateAndFourPasses()
    {
        VirtualReceiver receiver(At115200());
        QVERIFY(ResetToKnownState());
        const QStringList msg = receiver.Frames(0x06, 0x01);
        QCOMPARE(msg.size(), 152);
        for (int pass = 0; pass < 4; ++pass)
            QCOMPARE(msg.mid(pass * 38, 38), msg.mid(0, 38));
        QCOMPARE(msg[0], HexFrame("B5 62 06 01 06 00 01 01 00 00 00 00 0F 80"));
        QCOMPARE(msg[25], HexFrame("B5 62 06 01 06 00 F0 00 00 00 00 00 FD 15"));
        QCOMPARE(msg[37], HexFrame("B5 62 06 01 06 00 F1 04 00 00 00 00 02 2F"));
        // After the opening's frames: exactly one CFG-RATE set, then the 152 CFG-MSG.
        const QStringList all = receiver.Frames();
        const qsizetype rate = all.indexOf(HexFrame("B5 62 06 08 06 00 E8 03 01 00 00 00 00 37"));
        QCOMPARE(all.mid(rate + 1), msg);
        QCOMPARE(receiver.Model().Running().measRateMs, 1000);
    }
};

QTEST_MAIN(TestConfigCommands)
#include "test_config_commands.moc"
