// The acknowledgement and poll-reply waits and the whole-frame read in
// virtual time, over a line that hands over scripted bytes at scripted
// moments: when each wait ends and what it returns. And the frame reader fed
// the pieces reads return: which frames come out, and which bytes of a
// streaming receiver must not.
#include "harness/VirtualReceiver.h"
#include "link/CommsFrm.h"
#include "link/Exchange.h"
#include "link/UbxStream.h"
#include "link/uBloxLowLevelComms.h"
#include "sim/UbxCodec.h"
#include "support/Clock.h"

#include <QtTest>

using namespace uBloxLowLevelComms;
using Bytes = std::vector<std::uint8_t>;
using Chunks = QList<QPair<double, QByteArray>>;

Q_DECLARE_METATYPE(Bytes)
Q_DECLARE_METATYPE(VarnexSim::ModelOptions)

namespace {
QByteArray Hex(const char* hex) { return QByteArray::fromHex(hex); }
const QByteArray kGga = "$GPGGA,120000.00,5130.0000,N,00007.0000,W,1,08,1.0,45.0,M,47.0,M,,*4A\r\n";
const QByteArray kAck = Hex("B5 62 05 01 02 00 06 08 16 3F");
const QByteArray kRateReply = Hex("B5 62 06 08 06 00 E8 03 01 00 01 00 00 00");
const QByteArray kAfter(37, 'x'); // what a poll reply needs behind it to end the wait early
// Built by the simulator's own codec, not the tool's.
const QByteArray kAck0601 = VarnexSim::EncodeUbx(0x05, 0x01, QByteArray("\x06\x01", 2));
const QByteArray kRateFrame = VarnexSim::EncodeUbx(0x06, 0x08, Hex("E8 03 01 00 01 00"));
const QByteArray kNmea = "$GPGGA,,,,,,0,00,99.99,,,,,,*48\r\n";

QByteArray BadChecksum(QByteArray frame)
{
    frame[frame.size() - 1] = char(frame[frame.size() - 1] ^ 0x01);
    return frame;
}

// A receiver that answers nothing itself: the PC hears the scripted chunks
// alone, `gone` seconds after wiring the line goes away.
struct Line : VirtualReceiver {
    explicit Line(const Chunks& chunks, double gone = -1) : VirtualReceiver({.faults = {.silent = true, .unplugAt = gone}})
    {
        Quiet();
        for (const auto& [at, bytes] : chunks)
            Arrive(at, bytes);
        CommsFrm::SerialPort().SetCommPort(1);
        CommsFrm::SerialPort().SetPortOpen(true);
    }
};

void CheckEnd(Line& line, double endsAt)
{
    QVERIFY2(qAbs(line.Elapsed() - endsAt) < 0.003, qPrintable(QStringLiteral("ended after %1 s").arg(line.Elapsed())));
}
} // namespace

class TestReplyWaits : public QObject {
    Q_OBJECT
private slots:
    void ackWait_data()
    {
        QTest::addColumn<Chunks>("chunks");
        QTest::addColumn<bool>("found");
        QTest::addColumn<double>("endsAt");
        QTest::addColumn<double>("gone"); // when the line goes away; < 0 never
        QTest::newRow("ack split over reads inside NMEA text")
            << Chunks{{0.1, kGga + kAck.left(3)}, {0.2, kAck.mid(3, 4)}, {0.3, kAck.mid(7, 1)}, {0.4, kAck.mid(8) + kGga}}
            << true << 0.4 << -1.0;
        QTest::newRow("ends on the byte after the pattern, not the whole ack")
            << Chunks{{0.1, kAck.left(8)}, {0.7, kAck.mid(8, 1)}, {0.9, kAck.mid(9)}} << true << 0.7 << -1.0;
        QTest::newRow("ack at 4.995 s") << Chunks{{4.995, kAck}} << true << 4.995 << -1.0;
        QTest::newRow("ack at 5.0 s is too late") << Chunks{{5.0, kAck}} << false << 5.0 << -1.0;
        QTest::newRow("pattern without its following byte: true after the limit")
            << Chunks{{0.1, kGga + kAck.left(8)}} << true << 5.0 << -1.0;
        QTest::newRow("two acks, the first counts") << Chunks{{0.25, kAck + kGga + kAck}} << true << 0.25 << -1.0;
        QTest::newRow("ack of another id") << Chunks{{0.1, Hex("B5 62 05 01 02 00 06 01 0F 38") + kGga}} << false << 5.0 << -1.0;
        QTest::newRow("NAK") << Chunks{{0.1, Hex("B5 62 05 00 02 00 06 08 15 3A") + kGga}} << false << 5.0 << -1.0;
        QTest::newRow("stale ack before the flush is never seen") << Chunks{{0.0, kAck}} << false << 5.0 << -1.0;
        QTest::newRow("line gone before the ack arrives: false after the whole time-out")
            << Chunks{{2.0, kAck}} << false << 5.0 << 1.0;
    }
    void ackWait()
    {
        QFETCH(Chunks, chunks);
        QFETCH(double, gone);
        Line line(chunks, gone);
        FlushSerialInput();
        QTEST(WaitForUbxAck(0x06, 0x08), "found");
        QFETCH(double, endsAt);
        CheckEnd(line, endsAt);
    }

    void pollReply_data()
    {
        QTest::addColumn<Chunks>("chunks");
        QTest::addColumn<Bytes>("payload");
        QTest::addColumn<double>("endsAt");
        const Bytes rate{0xE8, 0x03, 0x01, 0x00, 0x01, 0x00};
        QTest::newRow("reply followed by 37 bytes returns at once")
            << Chunks{{0.30, kGga.left(10) + kRateReply}, {0.35, kAfter}} << rate << 0.35;
        QTest::newRow("36 bytes after the reply are not enough")
            << Chunks{{0.30, kRateReply + kAfter.left(36)}} << rate << 5.0;
        QTest::newRow("reply at 5.0 s is too late: one byte 0")
            << Chunks{{5.0, kRateReply + kAfter}} << Bytes{0} << 5.0;
        QTest::newRow("wrong checksum still taken")
            << Chunks{{0.30, Hex("B5 62 06 08 06 00 C8 00 01 00 00 00 00 00") + kAfter}} << Bytes{0xC8, 0x00, 0x01, 0x00, 0x00, 0x00} << 0.30;
        QTest::newRow("reply cut short: missing bytes are 0")
            << Chunks{{0.30, Hex("B5 62 06 08 06 00 E8 03 01")}} << Bytes{0xE8, 0x03, 0x01, 0, 0, 0} << 5.0;
        QTest::newRow("length bytes never arrived: nothing")
            << Chunks{{0.30, Hex("B5 62 06 08")}} << Bytes{} << 5.0;
        QTest::newRow("length 0: nothing") << Chunks{{0.30, Hex("B5 62 06 08 00 00") + kAfter + kAfter}} << Bytes{} << 0.30;
        QTest::newRow("no reply: one byte 0") << Chunks{{0.30, kGga}} << Bytes{0} << 5.0;
    }
    void pollReply()
    {
        QFETCH(Chunks, chunks);
        Line line(chunks);
        Bytes result;
        ReadUbxPollReply(result, 0x06, 0x08);
        QTEST(result, "payload");
        QFETCH(double, endsAt);
        CheckEnd(line, endsAt);
    }

    // Unlike the byte-pattern waits: a frame counts only whole and with a good
    // checksum, the last read comes after the deadline's pause, and a vanished
    // port ends the wait at once.
    void awaitFrame_data()
    {
        QTest::addColumn<Chunks>("chunks");
        QTest::addColumn<bool>("found");
        QTest::addColumn<double>("endsAt");
        QTest::addColumn<double>("gone");
        QTest::newRow("frame split inside NMEA text")
            << Chunks{{0.1, kGga + kAck.left(5)}, {0.3, kAck.mid(5) + kGga}} << true << 0.3 << -1.0;
        QTest::newRow("bad checksum is no frame") << Chunks{{0.1, kAck.left(8) + Hex("00 00") + kGga}} << false << 2.0 << -1.0;
        QTest::newRow("a frame not accepted") << Chunks{{0.1, kRateReply}} << false << 2.0 << -1.0;
        QTest::newRow("frame arriving at the deadline") << Chunks{{2.0, kAck}} << true << 2.0 << -1.0;
        QTest::newRow("port gone: ends within a read slice") << Chunks{{1.5, kAck}} << false << 1.005 << 1.0;
    }
    void awaitFrame()
    {
        QFETCH(Chunks, chunks);
        QFETCH(double, gone);
        Line line(chunks, gone);
        FlushSerialInput();
        UbxStream::Reader reader;
        const auto frame = AwaitFrame(CommsFrm::SerialPort(), reader, Clock::Now() + 2.0,
                                      [](const UbxStream::Frame& f) { return f.msgClass == 0x05 && f.msgId == 0x01; });
        QTEST(frame.has_value(), "found");
        QFETCH(double, endsAt);
        CheckEnd(line, endsAt);
    }

    // One exchange of a command and a poll behind it, the poll awaited: every
    // frame read goes to whichever frame it answers, a resent poll goes out at
    // growing gaps, the extension is asked until it ends the wait, and the
    // record hears each copy's end once (A ack, R reply, - nothing, in order).
    void session_data()
    {
        QTest::addColumn<Chunks>("chunks");
        QTest::addColumn<bool>("resend");   // gaps of 0.1 s doubling to 0.4 s
        QTest::addColumn<bool>("extended"); // 0.1 s more, asked twice
        QTest::addColumn<QString>("record");
        QTest::addColumn<int>("frames");    // frames sent, copies included
        QTest::addColumn<double>("endsAt");
        QTest::newRow("the command's ACK taken on the way to the reply")
            << Chunks{{0.1, kAck0601}, {0.2, kRateFrame}} << false << false << "AR" << 2 << 0.2;
        QTest::newRow("resent at growing gaps until answered")
            << Chunks{{0.35, kRateFrame}} << true << false << "--R-" << 4 << 0.35;
        QTest::newRow("an extension asked again until it ends the wait") << Chunks{} << false << true << "--" << 2 << 0.3;
    }
    void session()
    {
        QFETCH(Chunks, chunks);
        QFETCH(bool, resend);
        QFETCH(bool, extended);
        Line line(chunks);
        QString record;
        SetLinkObserver({{}, [&](LinkObserver::Wait, std::uint8_t, std::uint8_t, Answer answer, double, int) {
                             record += answer == Answer::Ack ? u'A' : answer == Answer::Reply ? u'R' : u'-';
                         }});
        const std::uint8_t msg[] = {0xF0, 0x01, 1};
        Exchange::Pacing pacing = Exchange::Within(extended ? 0.1 : 1.0);
        if (resend) {
            pacing.firstGap = 0.1;
            pacing.longestGap = 0.4;
        }
        if (extended)
            pacing.extension = [](double began, int asked) { return asked < 2 ? std::optional(began + 0.1 * (asked + 2)) : std::nullopt; };
        {
            Exchange::Session session(CommsFrm::SerialPort());
            const auto command = session.Send(MakeFrame(0x06, 0x01, msg), LinkObserver::Wait::Ack);
            const auto poll = session.Send(MakeFrame(0x06, 0x08), LinkObserver::Wait::PollReply);
            QCOMPARE(session.Await({poll}, pacing), !chunks.isEmpty());
            QCOMPARE(session.AnswerOf(command), chunks.size() > 1 ? Answer::Ack : Answer::None);
        }
        SetLinkObserver({});
        QTEST(record, "record");
        QTEST(int(line.Written().count("\xB5\x62")), "frames");
        QFETCH(double, endsAt);
        CheckEnd(line, endsAt);
    }

    // Polls several at a time against the simulated receiver: each reply and
    // each refusal goes to its own poll, also among polls of one class and id;
    // a poll left unanswered while later ones are answered is asked once more,
    // and costs one allowance, not one per poll behind it.
    void batchedPolls_data()
    {
        using VarnexSim::Key;
        QTest::addColumn<VarnexSim::ModelOptions>("options");
        QTest::addColumn<QString>("answers"); // per poll: R reply, N refused, - nothing
        QTest::addColumn<int>("sent");        // polls the receiver understood, resent ones included
        QTest::addColumn<double>("within");   // virtual seconds
        QTest::newRow("all answered") << VarnexSim::ModelOptions{} << "RRRRRR" << 6 << 0.5;
        QTest::newRow("a busy unit's output between the replies")
            << VarnexSim::ModelOptions{.fill = 0.9} << "RRRRRR" << 6 << 1.5;
        QTest::newRow("one refused") << VarnexSim::ModelOptions{.faults = {.nakPolls = {Key(0x06, 0x07)}}} << "RRNRRR" << 6 << 0.5;
        // An ACK-NAK names no message: among several CFG-MSG polls each is asked
        // again alone, where a refusal is its own.
        QTest::newRow("every CFG-MSG refused: each asked again alone")
            << VarnexSim::ModelOptions{.faults = {.nakPolls = {Key(0x06, 0x01)}}} << "NNRRNR" << 9 << 0.5;
        QTest::newRow("one CFG-MSG's reply lost, the next one refused")
            << VarnexSim::ModelOptions{.faults = {.answerPollsFrom = 2, .nakMsgPolls = {Key(0xF0, 0x01)}}} << "RNRRRR" << 8 << 0.5;
        // Room for 40 bytes: the CFG-TP reply (36) finds 14 still queued and is dropped.
        QTest::newRow("a reply a full transmit buffer dropped: asked once more")
            << VarnexSim::ModelOptions{.faults = {.answersDropWhenFull = true}, .txBufferBytes = 40} << "RRRRRR" << 7 << 0.5;
        QTest::newRow("one never answered: asked once more, then nothing")
            << VarnexSim::ModelOptions{.faults = {.neverAck = {Key(0x06, 0x07)}}} << "RR-RRR" << 7 << 5.5;
        QTest::newRow("port pulled under the polls") << VarnexSim::ModelOptions{.faults = {.unplugAt = 0.02}} << "------" << 3 << 0.1;
    }
    void batchedPolls()
    {
        QFETCH(VarnexSim::ModelOptions, options);
        QFETCH(QString, answers);
        VirtualReceiver receiver(options);
        if (options.fill == 0)
            receiver.Quiet();
        CommsFrm::SerialPort().SetCommPort(1);
        CommsFrm::SerialPort().SetPortOpen(true);
        const auto msg = [](std::uint8_t id) {
            const std::uint8_t payload[] = {0xF0, id};
            return MakeFrame(0x06, 0x01, payload);
        };
        const std::uint8_t port1[] = {1};
        const std::vector<UbxBuffer> polls{msg(0x00), msg(0x01), MakeFrame(0x06, 0x07), MakeFrame(0x06, 0x00, port1),
                                           msg(0x04), MakeFrame(0x06, 0x08)};
        const double start = receiver.Elapsed();
        const auto replies = Exchange::Polls(CommsFrm::SerialPort(), polls, {5.0, {}}, {}, 3);
        QCOMPARE(replies.size(), polls.size());
        QString got;
        for (std::size_t i = 0; i < replies.size(); ++i) {
            got += replies[i].answer == Answer::Reply ? u'R' : replies[i].answer == Answer::Nak ? u'N' : u'-';
            // A reply is the one asked for: it starts with the poll's own payload.
            if (replies[i].answer == Answer::Reply)
                QVERIFY(replies[i].payload.startsWith(QByteArray(reinterpret_cast<const char*>(polls[i].data()) + 6, int(polls[i].size()) - 8)));
        }
        QCOMPARE(got, answers);
        QTEST(int(receiver.Frames().size()), "sent");
        QFETCH(double, within);
        QVERIFY2(receiver.Elapsed() - start < within, qPrintable(QString::number(receiver.Elapsed() - start)));
    }

    void frames_data()
    {
        using VarnexSim::EncodeUbx;
        QTest::addColumn<QByteArrayList>("pieces");
        QTest::addColumn<QStringList>("frames"); // "cls id payload" in hex
        const QByteArray ack = kAck0601;
        QTest::newRow("ack behind NMEA, split over reads")
            << QByteArrayList{kNmea.left(20), kNmea.mid(20) + ack.left(3), ack.mid(3, 4), ack.mid(7)} << QStringList{"0501 0601"};
        QTest::newRow("an ack inside another frame's payload is not taken")
            << QByteArrayList{EncodeUbx(0x01, 0x02, ack + QByteArray(4, '\0'))}
            << QStringList{"0102 " + (ack + QByteArray(4, '\0')).toHex()};
        QTest::newRow("a sync pair announcing a long payload does not hold the ack back")
            << QByteArrayList{QByteArray("\xB5\x62\x01\x02\xFF\x03", 6), ack} << QStringList{"0501 0601"};
        QTest::newRow("a bad checksum drops the frame, not the next")
            << QByteArrayList{BadChecksum(ack) + ack} << QStringList{"0501 0601"};
        QTest::newRow("binary output at 5 Hz around a NAK")
            << QByteArrayList{EncodeUbx(0x01, 0x02, QByteArray(28, '\xB5')) + EncodeUbx(0x05, 0x00, QByteArray("\x06\x07", 2))}
            << QStringList{"0102 " + QByteArray(28, '\xB5').toHex(), "0500 0607"};
    }
    void frames()
    {
        QFETCH(QByteArrayList, pieces);
        UbxStream::Reader reader;
        QStringList seen;
        for (const QByteArray& piece : pieces) {
            reader.Append(piece);
            for (UbxStream::Frame f; reader.Next(f);)
                seen << QString::fromLatin1(QByteArray(1, char(f.msgClass)).toHex() + QByteArray(1, char(f.msgId)).toHex()
                                            + ' ' + f.payload.toHex());
        }
        QTEST(seen, "frames");
    }

    void nmeaSentences()
    {
        QVERIFY(UbxStream::HoldsNmeaSentence(QByteArray("\x01\xFE", 2) + kNmea));
        QVERIFY(!UbxStream::HoldsNmeaSentence(QByteArray(kNmea).replace("*48", "*49")));
        QVERIFY(!UbxStream::HoldsNmeaSentence(kNmea.left(kNmea.indexOf('*') + 2)));
        QVERIFY(!UbxStream::HoldsNmeaSentence(kAck0601 + kAck0601));
        // The start of a message, long before its end, and never in framing errors.
        QVERIFY(UbxStream::HoldsMessageStart(QByteArray("\x01\xFE", 2) + kNmea.left(7)));
        QVERIFY(UbxStream::HoldsMessageStart("\r\n$PUBX,00"));
        QVERIFY(UbxStream::HoldsMessageStart(QByteArray("\x00\xB5\x62", 3)));
        QVERIFY(!UbxStream::HoldsMessageStart(kNmea.left(6)));
        QVERIFY(!UbxStream::HoldsMessageStart("$GPGGA1,$G,"));
        QVERIFY(!UbxStream::HoldsMessageStart(QByteArray("\x00\xF8\x80\xFF\xC0\x00\xFE\xF0\xFF\x00\x80\xFC", 12)));
    }
};

QTEST_MAIN(TestReplyWaits)
#include "test_reply_waits.moc"
