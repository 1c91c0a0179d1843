// The receiver model in virtual time: its answers byte for byte, its rate
// discipline, its flash, its faults and its periodic output.
#include "ModelDriver.h"

#include "sim/UbxCodec.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

using namespace VarnexSim;

namespace {

const char kCfgRatePoll[] = "B5 62 06 08 00 00 0E 30";
const char kFactoryRateReply[] = "B5 62 06 08 06 00 E8 03 01 00 01 00 01 39";
const char kPrtPort1To115200[] = "B5 62 06 00 14 00 01 00 00 00 C0 08 00 00 00 C2 01 00 03 00 03 00 00 00 00 00 AC 5E";
const char kAckCfgPrt[] = "B5 62 05 01 02 00 06 00 0E 37";
const char kCfgTp200[] = "B5 62 06 07 14 00 40 0D 03 00 50 C3 00 00 01 01 00 00 32 00 34 03 00 00 00 00 EF 71";
const char kCfgNav[] = "B5 62 06 03 1C 00 07 01 0A 1C 1C 05 00 3C 3C 14 E8 03 00 00 05 07 C8 00 C8 00 32 00 2C 01 0F 00 00 00 F5 5C";
const char kCfgCfgSave[] = "B5 62 06 09 0C 00 00 00 00 00 FF FF 00 00 00 00 00 00 19 80";

QString Spaced(const QByteArray& bytes) { return QString::fromLatin1(bytes.toHex(' ')).toUpper(); }
QString Spaced(const char* hex) { return Spaced(Hex(hex)); }

// Payload lengths of the UBX frames in `bytes`, keyed "cls id"; checksums verified here.
QMap<QString, QList<int>> UbxFrames(const QByteArray& bytes, int* badChecksums)
{
    QMap<QString, QList<int>> frames;
    qsizetype i = 0;
    while ((i = bytes.indexOf("\xB5\x62", i)) >= 0 && i + 8 <= bytes.size()) {
        const int len = quint8(bytes[i + 4]) | quint8(bytes[i + 5]) << 8;
        if (i + 8 + len > bytes.size())
            break;
        quint8 a = 0, b = 0;
        for (qsizetype k = i + 2; k < i + 6 + len; ++k) {
            a += quint8(bytes[k]);
            b += a;
        }
        if (a != quint8(bytes[i + 6 + len]) || b != quint8(bytes[i + 7 + len]))
            ++*badChecksums;
        frames[Spaced(bytes.mid(i + 2, 2))] << len;
        i += 8 + len;
    }
    return frames;
}

} // namespace

class TestSimModel : public QObject {
    Q_OBJECT

private slots:
    void answersLiteralFrames_data();
    void answersLiteralFrames();
    void commandsChangeWhatPollsReport_data();
    void commandsChangeWhatPollsReport();
    void understandsOnlyTheLinkRate_data();
    void understandsOnlyTheLinkRate();
    void answersTakeLineTime();
    void cfgPrtMovesTheLink_data();
    void cfgPrtMovesTheLink();
    void savesFlashAndLoadsItAtRestart();
    void loadAndClearMasks();
    void silentAnswersNothing_data();
    void silentAnswersNothing();
    void neverAckAndNak();
    void answersPollsOnlyFromNth();
    void replyLatencyDelaysAnswers();
    void injectsNoise();
    void linkGoesAwayAndComesBack();
    void garbageAndBadChecksumsAreSkipped();
    void nmeaSentencesAreValid();
    void outputFollowsRates_data();
    void outputFollowsRates();
    void ubxMessagesHaveTheirLengths();
    void overfullLineDropsWholeMessages();
};

void TestSimModel::answersLiteralFrames_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("answer");
    auto row = [](const char* name, const char* req, const char* ans) { QTest::newRow(name) << Hex(req) << Hex(ans); };
    row("CFG-RATE poll", kCfgRatePoll, kFactoryRateReply);
    row("CFG-RATE set", "B5 62 06 08 06 00 E8 03 01 00 00 00 00 37", "B5 62 05 01 02 00 06 08 16 3F");
    row("CFG-RATE one byte short", "B5 62 06 08 05 00 E8 03 01 00 00 FF 30", "B5 62 05 00 02 00 06 08 15 3A");
    row("CFG-MSG set", "B5 62 06 01 06 00 F0 04 00 01 00 00 02 2C", "B5 62 05 01 02 00 06 01 0F 38");
    row("CFG-MSG poll, factory RMC", "B5 62 06 01 02 00 F0 04 FD 15", "B5 62 06 01 06 00 F0 04 00 01 00 01 03 2D");
    row("CFG-NAV set", kCfgNav, "B5 62 05 01 02 00 06 03 11 3A");
    row("CFG-TP set", kCfgTp200, "B5 62 05 01 02 00 06 07 15 3E");
    row("CFG-CFG save", kCfgCfgSave, "B5 62 05 01 02 00 06 09 17 40");
    row("CFG-PRT other port", "B5 62 06 00 14 00 02 00 00 00 C0 08 00 00 C0 12 00 00 03 00 03 00 00 00 00 00 BC D8",
        kAckCfgPrt);
    row("CFG-PRT poll of the link port", "B5 62 06 00 01 00 01 08 22",
        "B5 62 06 00 14 00 01 00 00 00 C0 08 00 00 80 25 00 00 03 00 03 00 00 00 00 00 8E 95");
    row("CFG-PRT no such port", "B5 62 06 00 14 00 07 00 00 00 C0 08 00 00 80 25 00 00 03 00 03 00 00 00 00 00 94 0D",
        "B5 62 05 00 02 00 06 00 0D 32");
    row("unknown CFG message", "B5 62 06 7F 00 00 85 95", "B5 62 05 00 02 00 06 7F 8C B1");
}

// Asked before the first solution (1 s after power-up), so nothing but the answer is on the line.
void TestSimModel::answersLiteralFrames()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, answer);
    QTemporaryDir dir;
    ModelOptions o;
    o.flashPath = dir.filePath("flash.json");
    ModelDriver d(o);
    d.Write(request);
    QCOMPARE(Spaced(d.Listen(0.5)), Spaced(answer));
}

void TestSimModel::commandsChangeWhatPollsReport_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("poll");
    QTest::addColumn<QByteArray>("reply");
    auto row = [](const char* name, const char* cmd, const char* poll, const char* reply) {
        QTest::newRow(name) << Hex(cmd) << Hex(poll) << Hex(reply);
    };
    row("6-byte CFG-MSG sets all four ports", "B5 62 06 01 06 00 F0 00 00 00 01 00 FE 17", "B5 62 06 01 02 00 F0 00 F9 11",
        "B5 62 06 01 06 00 F0 00 00 00 01 00 FE 17");
    row("3-byte CFG-MSG sets the link port only", "B5 62 06 01 03 00 F0 08 05 07 24", "B5 62 06 01 02 00 F0 08 01 19",
        "B5 62 06 01 06 00 F0 08 00 05 00 00 0A 4C");
    row("CFG-RATE", "B5 62 06 08 06 00 C8 00 01 00 00 00 DD 68", kCfgRatePoll, "B5 62 06 08 06 00 C8 00 01 00 00 00 DD 68");
    row("CFG-PRT of port 2", "B5 62 06 00 14 00 02 00 00 00 C0 08 00 00 C0 12 00 00 03 00 03 00 00 00 00 00 BC D8",
        "B5 62 06 00 01 00 02 09 23",
        "B5 62 06 00 14 00 02 00 00 00 C0 08 00 00 C0 12 00 00 03 00 03 00 00 00 00 00 BC D8");
    row("CFG-TP", kCfgTp200, "B5 62 06 07 00 00 0D 2D", kCfgTp200);
    row("CFG-NAV", kCfgNav, "B5 62 06 03 00 00 09 21", kCfgNav);
    row("refused CFG-RATE changes nothing", "B5 62 06 08 05 00 E8 03 01 00 00 FF 30", kCfgRatePoll, kFactoryRateReply);
}

void TestSimModel::commandsChangeWhatPollsReport()
{
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, poll);
    QFETCH(QByteArray, reply);
    ModelDriver d;
    d.model.SetRunning(QuietConfig());
    d.Write(command);
    d.Listen(0.2);
    d.Write(poll);
    QCOMPARE(Spaced(d.Listen(0.2)), Spaced(reply));
}

void TestSimModel::understandsOnlyTheLinkRate_data()
{
    QTest::addColumn<int>("linkBaud");
    QTest::addColumn<int>("pcBaud");
    QTest::addColumn<bool>("answered");
    QTest::newRow("9600 at 9600") << 9600 << 9600 << true;
    QTest::newRow("9600 at 4800") << 9600 << 4800 << false;
    QTest::newRow("9600 at 19200") << 9600 << 19200 << false;
    QTest::newRow("14400 at 14400") << 14400 << 14400 << true;
    QTest::newRow("28800 at 28800") << 28800 << 28800 << true;
    QTest::newRow("28800 at 14400") << 28800 << 14400 << false;
    QTest::newRow("115200 at 57600") << 115200 << 57600 << false;
}

void TestSimModel::understandsOnlyTheLinkRate()
{
    QFETCH(int, linkBaud);
    QFETCH(int, pcBaud);
    QFETCH(bool, answered);
    ModelOptions o;
    o.startBaud = linkBaud;
    ModelDriver d(o);
    d.pcBaud = pcBaud;
    // Several seconds: at a wrong rate not even the NMEA output may be heard.
    const QByteArray heard = d.Ask(kCfgRatePoll, 3.0);
    QCOMPARE(heard.contains(Hex(kFactoryRateReply)), answered);
    QCOMPARE(heard.isEmpty(), !answered);
    const TranscriptEntry& rx = d.model.GetTranscript().Entries().front();
    QCOMPARE(rx.understood, answered);
    QCOMPARE(rx.pcBaud, pcBaud);
    QCOMPARE(rx.note.startsWith("noise"), !answered);
}

// 14 bytes in and 10 bytes out at 9600 bit/s take 24 ms of line time.
void TestSimModel::answersTakeLineTime()
{
    ModelDriver d;
    d.Write("B5 62 06 08 06 00 E8 03 01 00 00 00 00 37");
    const double ackDone = 100.0 + 24 * 10.0 / 9600;
    QCOMPARE(d.Listen(ackDone - 100.0 - 1e-4).size(), 9);
    QCOMPARE(d.Listen(2e-4).size(), 1);
    QVERIFY(std::abs(d.model.GetTranscript().Entries().back().t - (100.0 + 14 * 10.0 / 9600)) < 1e-9);
}

void TestSimModel::cfgPrtMovesTheLink_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QByteArray>("heardAtOldRate");
    QTest::newRow("ACK at the old rate, then move") << int(LinkMoveAck::OldRateThenMove) << Hex(kAckCfgPrt);
    QTest::newRow("ACK at the new rate") << int(LinkMoveAck::AtNewRate) << QByteArray();
    QTest::newRow("no ACK") << int(LinkMoveAck::None) << QByteArray();
    QTest::newRow("garbled ACK") << int(LinkMoveAck::Garbled) << Hex("B5 62 5F 5B 58 5A 5C 5A 54 6D");
}

// The poll right behind a link-moving CFG-PRT arrives at the old rate and is noise.
void TestSimModel::cfgPrtMovesTheLink()
{
    QFETCH(int, mode);
    QFETCH(QByteArray, heardAtOldRate);
    ModelOptions o;
    o.faults.linkMoveAck = LinkMoveAck(mode);
    ModelDriver d(o);
    d.model.SetRunning(QuietConfig());
    d.Write(Hex(kPrtPort1To115200) + Hex(kCfgRatePoll));
    QCOMPARE(Spaced(d.Listen(1.0)), Spaced(heardAtOldRate));
    QCOMPARE(d.Ask(kCfgRatePoll, 1.0), QByteArray());
    QCOMPARE(d.model.LinkBaud(), 115200);
    d.pcBaud = 115200;
    QCOMPARE(Spaced(d.Ask(kCfgRatePoll)), Spaced(kFactoryRateReply));
    QCOMPARE(d.model.GetTranscript().FramesFromPc(),
             (QStringList{Hex(kPrtPort1To115200).toHex(' '), Hex(kCfgRatePoll).toHex(' ')}));
}

void TestSimModel::savesFlashAndLoadsItAtRestart()
{
    QTemporaryDir dir;
    ModelOptions o;
    o.flashPath = dir.filePath("flash.json");
    {
        ModelDriver d(o);
        d.model.SetRunning(QuietConfig());
        d.Ask("B5 62 06 08 06 00 C8 00 01 00 00 00 DD 68");
        d.Ask("B5 62 06 01 06 00 F0 00 00 00 05 00 02 1F");
        d.Ask("B5 62 06 00 14 00 02 00 00 00 C0 08 00 00 C0 12 00 00 03 00 03 00 00 00 00 00 BC D8");
        QVERIFY(!QFile::exists(o.flashPath));
        QCOMPARE(Spaced(d.Ask(kCfgCfgSave)), Spaced("B5 62 05 01 02 00 06 09 17 40"));
    }
    QFile file(o.flashPath);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QJsonObject flash = QJsonDocument::fromJson(file.readAll()).object();
    QCOMPARE(flash["measRateMs"].toInt(), 200);
    QCOMPARE(flash["ports"].toArray()[2].toObject()["baud"].toInt(), 4800);

    ModelDriver restarted(o);
    // Asked within the first 200 ms, before the restored output starts.
    QCOMPARE(Spaced(restarted.Ask(kCfgRatePoll, 0.05)), Spaced("B5 62 06 08 06 00 C8 00 01 00 00 00 DD 68"));
    QCOMPARE(Spaced(restarted.Ask("B5 62 06 01 02 00 F0 00 F9 11", 0.05)),
             Spaced("B5 62 06 01 06 00 F0 00 00 00 05 00 02 1F"));

    restarted.Ask("B5 62 06 08 06 00 32 00 04 00 00 00 4A F0", 0.05); // 50 ms, not saved
    restarted.model.PowerCycle(restarted.now);
    QCOMPARE(restarted.model.Running().measRateMs, 200);
}

void TestSimModel::loadAndClearMasks()
{
    ModelDriver d;
    d.model.SetRunning(QuietConfig());
    d.Ask("B5 62 06 08 06 00 C8 00 01 00 00 00 DD 68");
    d.Ask("B5 62 06 09 0C 00 00 00 00 00 00 00 00 00 FF FF 00 00 19 88", 0.1); // load: back to flash
    QCOMPARE(Spaced(d.Ask(kCfgRatePoll, 0.1)), Spaced(kFactoryRateReply));
    d.model.SetRunning(QuietConfig(d.model.Running()));
    d.Ask("B5 62 06 08 06 00 C8 00 01 00 00 00 DD 68");
    d.Ask(kCfgCfgSave);
    QCOMPARE(d.model.FlashConfig().measRateMs, 200);
    QCOMPARE(Spaced(d.Ask("B5 62 06 09 0C 00 FF FF 00 00 00 00 00 00 00 00 00 00 19 78")),
             Spaced("B5 62 05 01 02 00 06 09 17 40"));
    QCOMPARE(d.model.FlashConfig(), FactoryDefaults());
    QCOMPARE(d.model.Running().measRateMs, 200);
}

void TestSimModel::silentAnswersNothing_data()
{
    QTest::addColumn<bool>("silent");
    QTest::addColumn<int>("fromFrame");
    QTest::addColumn<int>("answered");
    QTest::newRow("silent") << true << 0 << 0;
    QTest::newRow("from the 3rd frame") << false << 3 << 2;
    QTest::newRow("from the 1st frame") << false << 1 << 0;
}

void TestSimModel::silentAnswersNothing()
{
    QFETCH(bool, silent);
    QFETCH(int, fromFrame);
    QFETCH(int, answered);
    ModelOptions o;
    o.faults.silent = silent;
    o.faults.silentFromFrame = fromFrame;
    ModelDriver d(o);
    d.model.SetRunning(QuietConfig());
    QByteArray heard;
    for (int i = 0; i < 4; ++i)
        heard += d.Ask(kCfgRatePoll, 0.1);
    QCOMPARE(heard, Hex(kFactoryRateReply).repeated(answered));
    QCOMPARE(d.model.GetTranscript().FramesFromPc().size(), 4);
}

void TestSimModel::neverAckAndNak()
{
    ModelOptions o;
    o.faults.neverAck = {Key(0x06, 0x07)};
    o.faults.nakFor = {Key(0x06, 0x03)};
    ModelDriver d(o);
    d.model.SetRunning(QuietConfig());
    QCOMPARE(d.Ask(kCfgTp200, 1.0), QByteArray());
    QCOMPARE(Spaced(d.Ask(kCfgNav)), Spaced("B5 62 05 00 02 00 06 03 10 35"));
    QCOMPARE(d.model.Running().cfgTp, FactoryDefaults().cfgTp);
    QCOMPARE(d.model.Running().cfgNav, FactoryDefaults().cfgNav);
    QCOMPARE(Spaced(d.Ask("B5 62 06 08 06 00 E8 03 01 00 00 00 00 37")), Spaced("B5 62 05 01 02 00 06 08 16 3F"));
}

void TestSimModel::answersPollsOnlyFromNth()
{
    ModelOptions o;
    o.faults.answerPollsFrom = 3;
    ModelDriver d(o);
    d.model.SetRunning(QuietConfig());
    QCOMPARE(d.Ask(kCfgRatePoll), QByteArray());
    QCOMPARE(Spaced(d.Ask("B5 62 06 08 06 00 E8 03 01 00 00 00 00 37")), Spaced("B5 62 05 01 02 00 06 08 16 3F"));
    QCOMPARE(d.Ask("B5 62 06 01 02 00 F0 04 FD 15"), QByteArray());
    QCOMPARE(Spaced(d.Ask(kCfgRatePoll)), Spaced("B5 62 06 08 06 00 E8 03 01 00 00 00 00 37"));
}

void TestSimModel::replyLatencyDelaysAnswers()
{
    ModelOptions o;
    o.faults.replyLatency = 0.75;
    ModelDriver d(o);
    d.model.SetRunning(QuietConfig());
    d.Write(kCfgRatePoll);
    QCOMPARE(d.Listen(0.75), QByteArray());
    QCOMPARE(Spaced(d.Listen(0.1)), Spaced(kFactoryRateReply));
}

void TestSimModel::injectsNoise()
{
    ModelOptions o;
    o.faults.noiseInterval = 0.25;
    o.faults.noiseBurst = 5;
    ModelDriver d(o);
    d.model.SetRunning(QuietConfig());
    QCOMPARE(d.Listen(1.1).size(), 4 * 5);
    // Answers still come whole between the bursts.
    QVERIFY(d.Ask(kCfgRatePoll, 0.3).contains(Hex(kFactoryRateReply)));
}

void TestSimModel::linkGoesAwayAndComesBack()
{
    ModelOptions o;
    o.faults.unplugAt = 2.0;
    o.faults.unplugFor = 1.0;
    ModelDriver d(o);
    d.model.SetRunning(QuietConfig());
    QCOMPARE(d.model.UnplugCount(d.now), 0);
    d.Listen(2.0);
    QVERIFY(d.model.LinkGone(d.now));
    QCOMPARE(d.model.UnplugCount(d.now), 1);
    QCOMPARE(d.Ask(kCfgRatePoll, 0.5), QByteArray());
    d.Listen(0.6);
    QVERIFY(!d.model.LinkGone(d.now));
    QCOMPARE(Spaced(d.Ask(kCfgRatePoll)), Spaced(kFactoryRateReply));

    d.model.Unplug();
    QVERIFY(d.model.LinkGone(d.now));
    QCOMPARE(d.model.UnplugCount(d.now), 2);
    d.model.Replug();
    QVERIFY(!d.model.LinkGone(d.now));
}

void TestSimModel::garbageAndBadChecksumsAreSkipped()
{
    ModelDriver d;
    d.model.SetRunning(QuietConfig());
    d.Write("B5 62 06 08 00 00 0E 31"); // checksum off by one
    QCOMPARE(d.Listen(0.5), QByteArray());
    QCOMPARE(Spaced(d.Ask("00 FF B5 24 47 50 B5 62 06 08 00 00 0E 30")), Spaced(kFactoryRateReply));
    const auto& entries = d.model.GetTranscript().Entries();
    QCOMPARE(entries[0].note, QString("bad checksum"));
    QVERIFY(!entries[0].understood);
    QCOMPARE(d.model.GetTranscript().FramesFromPc(), QStringList{Hex(kCfgRatePoll).toHex(' ')});
}

// The nine standard sentences, each enabled on the link port at every solution.
void TestSimModel::nmeaSentencesAreValid()
{
    ModelOptions o;
    o.startBaud = 115200;
    ModelDriver d(o);
    ReceiverConfig c = QuietConfig(d.model.Running());
    for (quint8 id = 0; id <= 8; ++id)
        c.SetRate(Key(0xF0, id), 1, 1);
    d.model.SetRunning(c);
    const QList<QByteArray> lines = NmeaLines(d.Listen(2.5));
    QStringList kinds;
    for (const QByteArray& line : lines) {
        QVERIFY2(NmeaChecksumValid(line), line.constData());
        kinds << QString::fromLatin1(line.mid(1, 5));
    }
    const QStringList oneSolution{"GPGGA", "GPGLL", "GPGSA", "GPGSV", "GPGSV", "GPRMC", "GPVTG", "GPGRS", "GPGST", "GPZDA"};
    QCOMPARE(kinds, oneSolution + oneSolution);
    QVERIFY(lines[0].startsWith("$GPGGA,120001.00,5212.31800,N,00007.30800,E,1,"));
    QVERIFY(lines[10].startsWith("$GPGGA,120002.00,"));
    QVERIFY(lines[5].contains(",140311,"));
}

void TestSimModel::outputFollowsRates_data()
{
    QTest::addColumn<int>("measMs");
    QTest::addColumn<int>("navRate");
    QTest::addColumn<int>("msgRate");
    QTest::addColumn<int>("expected"); // GGA sentences in 2.05 s
    QTest::newRow("1 Hz, every solution") << 1000 << 1 << 1 << 2;
    QTest::newRow("5 Hz, every 5th") << 200 << 1 << 5 << 2;
    QTest::newRow("5 Hz, every solution") << 200 << 1 << 1 << 10;
    QTest::newRow("50 ms x 4, every solution") << 50 << 4 << 1 << 10;
    QTest::newRow("1 Hz, every 2nd") << 1000 << 1 << 2 << 1;
}

void TestSimModel::outputFollowsRates()
{
    QFETCH(int, measMs);
    QFETCH(int, navRate);
    QFETCH(int, msgRate);
    QFETCH(int, expected);
    ModelOptions o;
    o.startBaud = 115200;
    ModelDriver d(o);
    ReceiverConfig c = QuietConfig(d.model.Running());
    c.measRateMs = quint16(measMs);
    c.navRate = quint16(navRate);
    c.SetRate(Key(0xF0, 0x00), 1, quint8(msgRate));
    c.SetRate(Key(0xF0, 0x04), 2, 1); // another port: never heard on the link
    d.model.SetRunning(c);
    const QByteArray heard = d.Listen(2.05);
    QCOMPARE(int(heard.count("$GPGGA")), expected);
    QCOMPARE(int(heard.count("$GPRMC")), 0);
}

void TestSimModel::ubxMessagesHaveTheirLengths()
{
    ModelOptions o;
    o.startBaud = 115200;
    ModelDriver d(o);
    ReceiverConfig c = QuietConfig(d.model.Running());
    c.measRateMs = 200;
    for (MsgKey key : {Key(0x01, 0x02), Key(0x01, 0x12), Key(0x01, 0x21), Key(0x02, 0x10), Key(0x02, 0x11)})
        c.SetRate(key, 1, 1);
    d.model.SetRunning(c);
    int bad = 0;
    const auto frames = UbxFrames(d.Listen(1.05), &bad);
    QCOMPARE(bad, 0);
    QCOMPARE(frames.value("01 02"), QList<int>(5, 28));
    QCOMPARE(frames.value("01 12"), QList<int>(5, 36));
    QCOMPARE(frames.value("01 21"), QList<int>(5, 20));
    QCOMPARE(frames.value("02 10"), QList<int>(5, 8 + 24 * 8));
    QCOMPARE(frames.value("02 11"), QList<int>(5, 42));
}

// All nine sentences ten times a second do not fit 4800 bit/s: whole sentences
// are left out and the backlog stays bounded.
void TestSimModel::overfullLineDropsWholeMessages()
{
    ModelOptions o;
    o.startBaud = 4800;
    ModelDriver d(o);
    ReceiverConfig c = QuietConfig(d.model.Running());
    c.measRateMs = 100;
    for (quint8 id = 0; id <= 8; ++id)
        c.SetRate(Key(0xF0, id), 1, 1);
    d.model.SetRunning(c);
    QByteArray heard = d.Listen(20.0);
    heard.truncate(heard.lastIndexOf("\r\n") + 2); // the sentence still on the line
    QVERIFY(heard.size() <= 20 * 480);
    QVERIFY(d.model.DroppedMessages() > 0);
    const QList<QByteArray> lines = NmeaLines(heard);
    QCOMPARE(int(heard.count('$')), lines.size());
    for (const QByteArray& line : lines)
        QVERIFY2(NmeaChecksumValid(line), line.constData());
    // A poll is still answered within the backlog bound.
    d.Write(kCfgRatePoll);
    const QByteArray later = d.Listen(1.5);
    QVERIFY(later.contains(Hex("B5 62 06 08 06 00 64 00 01 00 01 00")));
}

QTEST_GUILESS_MAIN(TestSimModel)
#include "tst_sim_model.moc"
