// What the tool's tests cannot see of their partner: the simulator's own UBX
// codec, how it moves its link on a CFG-PRT (the poll right behind the
// frame is noise, which the confirmed baud change relies on), and how it lays
// out each port type in CFG-PRT.
#include "sim/virtual/VirtualLine.h"
#include "sim/UbxCodec.h"
#include "support/Clock.h"

#include <QtTest>

using namespace VarnexSim;

namespace {
QByteArray H(const char* hex) { return QByteArray::fromHex(hex); }
const QByteArray kPoll = H("B5 62 06 08 00 00 0E 30");
const QByteArray kAck = H("B5 62 05 01 02 00 06 08 16 3F");
const QByteArray kRateReply = H("B5 62 06 08 06 00 E8 03 01 00 01 00 01 39");
const QByteArray kPrtTo115200 = H("B5 62 06 00 14 00 01 00 00 00 C0 08 00 00 00 C2 01 00 03 00 03 00 00 00 00 00 AC 5E");
const QByteArray kAckPrt = H("B5 62 05 01 02 00 06 00 0E 37");

// A receiver with every output off, and a PC port opened on it at 9600 bit/s,
// on a virtual clock that the caller keeps for the test's length.
struct QuietLink {
    explicit QuietLink(const ModelOptions& options = {}) : model(std::make_shared<ReceiverModel>(options, clock.Now()))
    {
        ReceiverConfig quiet = model->Running();
        quiet.msgRates.clear();
        model->SetRunning(quiet);
        const QString path = QStringLiteral("/nowhere/com1");
        device = MakeVirtualDeviceFactory(model, {path})();
        QString error;
        opened = device->Open(path, 9600, error);
    }
    Clock::VirtualClock clock;
    Clock::ScopedClock use{&clock};
    std::shared_ptr<ReceiverModel> model;
    std::unique_ptr<SerialDevice> device;
    bool opened = false;
};

// What a PC hears on `device` in the next `seconds` of virtual time.
QByteArray Listen(SerialDevice& device, double seconds)
{
    const double end = Clock::Now() + seconds;
    QByteArray heard;
    while (Clock::Now() < end) {
        device.WaitForInput(end - Clock::Now());
        heard += device.ReadAll();
    }
    return heard;
}
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
        QTest::addColumn<int>("mode");
        QTest::addColumn<QByteArray>("heardAtOldRate");
        QTest::newRow("ACK at the old rate, then move") << int(LinkMoveAck::OldRateThenMove) << kAckPrt;
        QTest::newRow("ACK at the new rate") << int(LinkMoveAck::AtNewRate) << QByteArray();
        QTest::newRow("no ACK") << int(LinkMoveAck::None) << QByteArray();
        QTest::newRow("garbled ACK") << int(LinkMoveAck::Garbled) << H("B5 62 5F 5B 58 5A 5C 5A 54 6D");
    }
    // The poll right behind a link-moving CFG-PRT arrives at the old rate and
    // is noise; so is a later one at the old rate; at the new rate it is answered.
    void linkMove()
    {
        QFETCH(int, mode);
        QuietLink link(ModelOptions{.faults = {.linkMoveAck = LinkMoveAck(mode)}});
        QVERIFY(link.opened);
        SerialDevice* device = link.device.get();
        device->Write(kPrtTo115200 + kPoll);
        QTEST(Listen(*device, 1.0), "heardAtOldRate");
        device->Write(kPoll);
        QCOMPARE(Listen(*device, 1.0), QByteArray());
        QVERIFY(device->SetBaudRate(115200));
        device->Write(kPoll);
        QCOMPARE(Listen(*device, 0.5), kRateReply);
        QCOMPARE(link.model->GetTranscript().FramesFromPc(), (QStringList{kPrtTo115200.toHex(' '), kPoll.toHex(' ')}));
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
        QuietLink link;
        QVERIFY(link.opened);
        SerialDevice* device = link.device.get();
        QByteArray settings = kPrtTo115200.mid(6, 20);
        settings[0] = char(port);
        device->Write(EncodeUbx(0x06, 0x00, settings) + EncodeUbx(0x06, 0x00, QByteArray(1, char(port))));
        const QByteArray heard = Listen(*device, 1.0);
        QVERIFY(heard.startsWith(H("B5 62 05 01 02 00 06 00")));
        QCOMPARE(heard.mid(10 + 6 + 4, 8), modeAndRate);
    }
};

QTEST_MAIN(TestSim)
#include "test_sim.moc"
