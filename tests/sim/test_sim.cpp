// What the tool's tests cannot see of their partner: the simulator's own UBX
// codec, how it moves its link on a CFG-PRT (the poll right behind the
// frame is noise, which the confirmed baud change relies on), how it lays
// out each port type in CFG-PRT, its transmit buffer (answers late behind
// output, output dropped, answers never), a busy unit's share of the line,
// the USB link, refused polls and loads, and boards swapped under one adapter.
#include "SimLink.h"
#include "sim/UbxCodec.h"

#include <QtTest>

using namespace VarnexSim;
using namespace SimTest;

namespace {
QByteArray H(const char* hex) { return QByteArray::fromHex(hex); }
const QByteArray kPoll = H("B5 62 06 08 00 00 0E 30");
const QByteArray kAck = H("B5 62 05 01 02 00 06 08 16 3F");
const QByteArray kRateReply = H("B5 62 06 08 06 00 E8 03 01 00 01 00 01 39");
const QByteArray kPrtTo115200 = H("B5 62 06 00 14 00 01 00 00 00 C0 08 00 00 00 C2 01 00 03 00 03 00 00 00 00 00 AC 5E");
const QByteArray kAckPrt = H("B5 62 05 01 02 00 06 00 0E 37");

QByteArray Nak(char cls, char id) { return EncodeUbx(0x05, 0x00, QByteArray(1, cls) + id); }
QByteArray Ack(char cls, char id) { return EncodeUbx(0x05, 0x01, QByteArray(1, cls) + id); }
const QByteArray kRateTo200ms = EncodeUbx(0x06, 0x08, H("C8 00 01 00 01 00"));
const QByteArray kSaveAndLoad = EncodeUbx(0x06, 0x09, H("00 00 00 00 FF FF 00 00 FF FF 00 00"));
const QByteArray kLoad = EncodeUbx(0x06, 0x09, H("00 00 00 00 00 00 00 00 FF FF 00 00"));
const QByteArray kPrtPoll = EncodeUbx(0x06, 0x00, {});
// CFG-PRT setting receiver port `port` to 115200 bit/s, 8N1, UBX and NMEA.
QByteArray PrtTo115200(int port)
{
    QByteArray settings = kPrtTo115200.mid(6, 20);
    settings[0] = char(port);
    return EncodeUbx(0x06, 0x00, settings);
}
const QByteArray kUsbPrtReply = EncodeUbx(0x06, 0x00, H("03 00 00 00 00 00 00 00 00 00 00 00 03 00 03 00 00 00 00 00"));
} // namespace

class TestSim : public QObject {
    Q_OBJECT
private slots:
    // Fed in pieces of `chunk` bytes: the frames found, bad checksums, and what was skipped.
    void decodes_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<int>("chunk");
        QTest::addColumn<QByteArray>("frames");
        QTest::addColumn<int>("bad");
        QTest::addColumn<QByteArray>("skipped");
        QTest::newRow("byte by byte") << kPoll + kAck << 1 << kPoll + kAck << 0 << QByteArray();
        QTest::newRow("NMEA and a lone B5 before") << "$GPGGA,x*00\r\n\xB5" + kPoll << 3 << kPoll << 0
                                                   << QByteArray("$GPGGA,x*00\r\n\xB5");
        QTest::newRow("bad checksum dropped, next kept") << H("B5 62 06 08 00 00 0E 31") + kAck << 4 << kAck << 1
                                                         << H("06 08 00 00 0E 31");
        QTest::newRow("false sync with a huge length") << H("B5 62 01") + kPoll << 2 << kPoll << 0 << H("B5 62 01");
        QTest::newRow("false sync swallowing a frame") << H("B5 62 00 00 04 00") + kPoll << 1 << kPoll << 1
                                                       << H("00 00 04 00");
    }
    void decodes()
    {
        QFETCH(QByteArray, input);
        QFETCH(int, chunk);
        UbxStreamDecoder decoder;
        QByteArray found, skipped;
        int bad = 0;
        for (qsizetype i = 0; i < input.size(); i += chunk) {
            decoder.Feed(input.mid(i, chunk));
            for (DecodedItem item; decoder.Next(item);) {
                if (item.kind == DecodedItem::Kind::Frame)
                    found += item.raw;
                else if (item.kind == DecodedItem::Kind::BadChecksum)
                    ++bad;
                else
                    skipped += item.raw;
            }
        }
        QTEST(found, "frames");
        QTEST(bad, "bad");
        QTEST(skipped, "skipped");
    }

    void linkMove_data()
    {
        QTest::addColumn<int>("generation");
        QTest::addColumn<qint32>("factoryBaud");
        QTest::addColumn<QByteArray>("move");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QByteArray>("heardAtOldRate");
        QTest::addColumn<QByteArray>("poll");
        QTest::addColumn<QByteArray>("reply");
        QTest::newRow("ACK at the old rate, then move")
            << 0 << 9600 << kPrtTo115200 << int(LinkMoveAck::OldRateThenMove) << kAckPrt << kPoll << kRateReply;
        // Heard at the old rate, the ACK sent at the new one is framing errors:
        // a meaningless byte for each of its bytes, none of them a sync character.
        QTest::newRow("ACK at the new rate") << 0 << 9600 << kPrtTo115200 << int(LinkMoveAck::AtNewRate)
                                             << QByteArray(kAckPrt.size(), '?') << kPoll << kRateReply;
        QTest::newRow("no ACK") << 0 << 9600 << kPrtTo115200 << int(LinkMoveAck::None) << QByteArray() << kPoll
                                << kRateReply;
        QTest::newRow("garbled ACK") << 0 << 9600 << kPrtTo115200 << int(LinkMoveAck::Garbled)
                                     << H("B5 62 5F 5B 58 5A 5C 5A 54 6D") << kPoll << kRateReply;
        // UART1 at 115200 in RAM, as a captured frame has it; read back by key.
        QTest::newRow("u-blox 10 from its factory 38400: the UART1 rate item")
            << 10 << 38400 << H("B5 62 06 8A 0C 00 00 01 00 00 01 00 52 40 00 C2 01 00 F3 A5")
            << int(LinkMoveAck::OldRateThenMove) << Ack(0x06, 0x8A) << EncodeUbx(0x06, 0x8B, H("00 00 00 00 01 00 52 40"))
            << EncodeUbx(0x06, 0x8B, H("01 00 00 00 01 00 52 40 00 C2 01 00")) + Ack(0x06, 0x8B);
    }
    // The poll right behind a link-moving frame arrives at the old rate and
    // is noise; so is a later one at the old rate; at the new rate it is answered.
    void linkMove()
    {
        QFETCH(int, generation);
        QFETCH(qint32, factoryBaud);
        QFETCH(QByteArray, move);
        QFETCH(int, mode);
        QFETCH(QByteArray, poll);
        QFETCH(QByteArray, reply);
        Link link(ModelOptions{.generation = generation, .faults = {.linkMoveAck = LinkMoveAck(mode)}}, factoryBaud);
        QVERIFY(link.opened);
        SerialDevice* device = link.device.get();
        device->Write(move + poll);
        QFETCH(QByteArray, heardAtOldRate);
        const QByteArray heard = Listen(*device, 1.0);
        if (heardAtOldRate.startsWith('?'))
            QVERIFY2(heard.size() == heardAtOldRate.size() && !heard.contains(char(0xB5)) && !heard.contains('$'),
                     heard.toHex(' ').constData());
        else
            QCOMPARE(heard, heardAtOldRate);
        device->Write(poll);
        QCOMPARE(Listen(*device, 1.0), QByteArray());
        QVERIFY(device->SetBaudRate(115200));
        device->Write(poll);
        QCOMPARE(Listen(*device, 0.5), reply);
        QCOMPARE(link.model->GetTranscript().FramesFromPc(), (QStringList{move.toHex(' '), poll.toHex(' ')}));
    }

    void portLayout_data()
    {
        QTest::addColumn<int>("port");
        QTest::addColumn<QByteArray>("modeAndRate"); // bytes 4..11 of the poll's answer after UART settings at 115200
        QTest::newRow("DDC: its bus address, no rate") << 0 << H("84 00 00 00 00 00 00 00");
        QTest::newRow("UART 2: the mode and rate sent") << 2 << H("C0 08 00 00 00 C2 01 00");
        QTest::newRow("USB: neither") << 3 << H("00 00 00 00 00 00 00 00");
    }
    // UART settings sent to each port are acknowledged; a poll reads them
    // back as the port's type holds them.
    void portLayout()
    {
        QFETCH(int, port);
        QFETCH(QByteArray, modeAndRate);
        Link link;
        QVERIFY(link.opened);
        SerialDevice* device = link.device.get();
        device->Write(PrtTo115200(port) + EncodeUbx(0x06, 0x00, QByteArray(1, char(port))));
        const QByteArray heard = Listen(*device, 1.0);
        QVERIFY(heard.startsWith(H("B5 62 05 01 02 00 06 00")));
        QCOMPARE(heard.mid(10 + 6 + 4, 8), modeAndRate);
    }

    void exchange_data()
    {
        QTest::addColumn<double>("fill");      // > 0: the busy unit's output left on, else all output off
        QTest::addColumn<int>("linkPort");
        QTest::addColumn<qint32>("baud");      // the link's rate at power-up and the PC's
        QTest::addColumn<QString>("nakPoll");  // cls:id of refused polls
        QTest::addColumn<bool>("nakLoad");
        QTest::addColumn<double>("after");     // seconds of output before the PC writes
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<QByteArray>("heard"); // all the PC hears (with output on: among it)
        QTest::addColumn<double>("delay");     // seconds from the write until it is heard whole, at most
        QTest::addColumn<bool>("saved");       // with output off: flash holds the running configuration
        QTest::newRow("quiet line: answered at once") << 0.0 << 1 << 9600 << "" << false << 0.0 << kPoll
                                                      << kRateReply << 0.03 << false;
        // 4096 bytes queued at 960 bytes/s come first; the periodic output that overfills it is dropped.
        QTest::newRow("full buffer at 9600: 4 s late") << 1.5 << 1 << 9600 << "" << false << 12.0 << kPoll
                                                       << kRateReply << 4.3 << false;
        QTest::newRow("full buffer at 4800: 8.5 s late") << 1.5 << 1 << 4800 << "" << false << 25.0 << kPoll
                                                         << kRateReply << 8.6 << false;
        QTest::newRow("USB at 115200: rate 0, port 3") << 0.0 << 3 << 115200 << "" << false << 0.0 << kPrtPoll
                                                       << kUsbPrtReply << 0.01 << false;
        QTest::newRow("USB at 4800: a rate set on port 3 moves nothing")
            << 0.0 << 3 << 4800 << "" << false << 0.0 << PrtTo115200(3) + kPrtPoll
            << Ack(0x06, 0x00) + kUsbPrtReply << 0.09 << false;
        QTest::newRow("CFG-TP poll refused") << 0.0 << 1 << 9600 << "06:07" << false << 0.0 << EncodeUbx(0x06, 0x07, {})
                                             << Nak(0x06, 0x07) << 0.03 << false;
        QTest::newRow("CFG-MSG poll refused, its setting taken")
            << 0.0 << 1 << 9600 << "06:01" << false << 0.0 << EncodeUbx(0x06, 0x01, H("F0 00")) + EncodeUbx(0x06, 0x01, H("F0 00 00"))
            << Nak(0x06, 0x01) + Ack(0x06, 0x01) << 0.05 << false;
        QTest::newRow("load refused, running kept, save done")
            << 0.0 << 1 << 9600 << "" << true << 0.0 << kRateTo200ms + kSaveAndLoad + kLoad + kPoll
            << Ack(0x06, 0x08) + Nak(0x06, 0x09) + Nak(0x06, 0x09) + EncodeUbx(0x06, 0x08, H("C8 00 01 00 01 00"))
            << 0.13 << true;
    }
    // What the PC hears in answer to `sent`, and when: never later than the
    // delay given, and no more than a tenth of it (at least 0.1 s) earlier.
    void exchange()
    {
        QFETCH(double, fill);
        QFETCH(int, linkPort);
        QFETCH(qint32, baud);
        QFETCH(QString, nakPoll);
        QFETCH(bool, nakLoad);
        QFETCH(double, after);
        QFETCH(QByteArray, sent);
        QFETCH(QByteArray, heard);
        QFETCH(double, delay);
        QFETCH(bool, saved);
        ModelOptions options{.linkPort = linkPort, .startBaud = baud, .faults = {.nakLoad = nakLoad}, .fill = fill};
        if (!nakPoll.isEmpty())
            options.faults.nakPolls = {Key(quint8(nakPoll.left(2).toUInt(nullptr, 16)), quint8(nakPoll.right(2).toUInt(nullptr, 16)))};
        Link link(options, baud, fill == 0);
        QVERIFY(link.opened);
        Listen(*link.device, after);
        link.device->Write(sent);
        QByteArray got;
        const double took = Until(*link.device, heard, delay + 1.0, got);
        QVERIFY2(took >= 0, got.toHex(' ').right(300).constData());
        QVERIFY2(took <= delay && took > delay - std::max(0.1, delay / 10), QByteArray::number(took).constData());
        QCOMPARE(link.model->DroppedMessages() > 0, fill > 1);
        if (fill == 0) {
            QCOMPARE(got + Listen(*link.device, 0.5), heard);
            QCOMPARE(link.model->FlashConfig() == link.model->Running(), saved);
        }
    }

    void busyShare_data()
    {
        QTest::addColumn<double>("fill");
        QTest::addColumn<qint32>("baud");
        QTest::addColumn<double>("share"); // of the line the PC hears filled
        QTest::newRow("0.9 of 9600 with factory NMEA") << 0.9 << 9600 << 0.9;
        QTest::newRow("0.75 of 19200") << 0.75 << 19200 << 0.75;
        QTest::newRow("1.5 of 9600: line full, rest dropped") << 1.5 << 9600 << 1.0;
        QTest::newRow("0.9 of 9600 on USB, heard at 115200") << 0.9 << 115200 << 0.9 * 9600 / 115200;
    }
    // A busy unit's whole output, as the PC hears it at the power-up rate.
    void busyShare()
    {
        QFETCH(double, fill);
        QFETCH(qint32, baud);
        const bool usb = baud == 115200;
        Link link({.linkPort = usb ? 3 : 1, .startBaud = usb ? 0 : baud, .fill = fill}, baud, false);
        QVERIFY(link.opened);
        Listen(*link.device, 5.0);
        const QByteArray heard = Listen(*link.device, 30.0);
        QVERIFY(heard.contains(EncodeUbx(0x01, 0x07, {}).left(4)) && heard.contains("$GPGGA"));
        QFETCH(double, share);
        const double measured = heard.size() * 10.0 / baud / 30.0;
        QVERIFY2(std::abs(measured - share) < share * 0.03, QByteArray::number(measured).constData());
    }

    // Boards swapped every 5 s, 0.8 s without one: the configured board goes,
    // nothing answers in the gap, then a factory board answers at 9600 with
    // its NMEA on and a flash of its own (not the last board's file).
    void boardSwap()
    {
        QTemporaryDir dir;
        Link link({.flashPath = dir.filePath("flash.json"), .swapEvery = 5.0, .swapGap = 0.8}, 9600, true);
        QVERIFY(link.opened);
        const double start = Clock::Now();
        SerialDevice& device = *link.device;
        device.Write(kPrtTo115200 + kSaveAndLoad);
        QCOMPARE(Listen(device, 0.1), kAckPrt);
        QVERIFY(device.SetBaudRate(115200));
        device.Write(kSaveAndLoad);
        QCOMPARE(Listen(device, 0.1), Ack(0x06, 0x09));
        QCOMPARE(link.model->FlashConfig().ports[1].baud, 115200);
        Listen(device, start + 5.1 - Clock::Now());
        QVERIFY(device.SetBaudRate(9600));
        device.Write(kPoll);
        QCOMPARE(Listen(device, 0.6), QByteArray()); // in the gap
        Listen(device, 0.2);
        device.Write(kPoll);
        QByteArray heard;
        QVERIFY(Until(device, kRateReply, 0.1, heard) >= 0);
        QCOMPARE(heard, kRateReply);
        QVERIFY(Listen(device, 1.0).startsWith("$GPGGA"));
        QCOMPARE(link.model->BoardIndex(), 2);
        QCOMPARE(link.model->FlashConfig(), FactoryDefaults());
    }
};

QTEST_MAIN(TestSim)
#include "test_sim.moc"
