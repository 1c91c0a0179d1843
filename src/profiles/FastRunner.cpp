// The fast runner: the same device tables and messages as RunProfile and the
// same receiver at the end, paced by the line instead of fixed waits. How it
// finds the link, confirms each command and follows a link move is told in
// docs/ARCHITECTURE.md ("The fast runner").
#include "profiles/SetupOutputs.h"

#include "link/CommsFrm.h"
#include "link/SelectedPort.h"
#include "link/UbxStream.h"
#include "link/uBloxLowLevelComms.h"
#include "receiver_config/Payloads.h"
#include "receiver_config/ResetList.h"
#include "receiver_config/VarnexCommsRoutines.h"
#include "support/Clock.h"
#include "support/EventPump.h"
#include "support/MessageBox.h"
#include "support/SupportFunctions.h"
#include "support/Timing.h"

#include <algorithm>
#include <functional>
#include <optional>

namespace SetupOutputs {
namespace {

using uBloxLowLevelComms::UbxBuffer;
using UbxStream::Frame;
using uBloxLowLevelComms::LinkObserver;

// The search's rates: the factory's first, then the reset's, then where the
// devices leave their link, then the rest fastest first (a wrong rate costs
// the line time of its window).
constexpr std::int32_t kSearchRates[] = {9600, 115200, 4800, 57600, 38400, 28800, 19200, 14400, 2400};
// Bytes of a CFG-PRT poll, of its reply, and of one streamed message as the
// search reckons them (an NMEA sentence is at most 82).
constexpr qsizetype kPollBytes = 8;
constexpr qsizetype kPortReplyBytes = 28;
constexpr qsizetype kStreamedMessageBytes = 100;
// Seconds added to every search window for the receiver's handling and the PC's wake-up.
constexpr double kSearchMargin = 0.02;
// Confirming a link move: the first poll is resent after this many seconds
// (plus line time), each gap twice the last, up to the longest gap.
constexpr double kFirstResend = 0.02;
constexpr double kLongestResendGap = 0.5;
// A link move may take one reply allowance for the ACK still leaving at the old
// rate and one for the poll's reply at the new.
constexpr double kLinkMoveAllowance = 2 * Timing::InSeconds(Timing::kReplyTimeout);
constexpr int kLinkMoveAttempts = 2;
// Seconds between the end of a link-moving command's line time and the PC's
// own move: a USB adapter may start sending a few milliseconds after the
// write, and a rate change must not catch the frame's last bytes in its buffer.
constexpr double kMoveSettle = 0.02;
// Recent raw input kept for recognising NMEA during the search.
constexpr qsizetype kRecentInput = 1024;

constexpr std::uint8_t kClassAck = 0x05, kIdAckNak = 0x00, kIdAckAck = 0x01;

double LineTime(std::int32_t rate, qsizetype bytes) { return bytes * 10.0 / rate; }
QString LineSettings(std::int32_t rate) { return QStringLiteral("%1,N,8,1").arg(rate); }

std::int32_t LittleEndian32(const QByteArray& p, qsizetype at)
{
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = v << 8 | static_cast<std::uint8_t>(p[at + i]);
    return static_cast<std::int32_t>(v);
}

// CFG-PRT with no payload: the receiver answers with the settings of the port
// the poll came in on, its number first and its rate at offset 8.
UbxBuffer LinkPortPoll()
{
    UbxBuffer frame = uBloxLowLevelComms::NewUbxBuffer(Payloads::kClassCfg, Payloads::kIdCfgPrt, 0);
    uBloxLowLevelComms::CalcUbxChecksum(frame);
    return frame;
}

std::function<bool(const Frame&)> LinkReplyAt(std::int32_t rate)
{
    return [rate](const Frame& f) {
        return f.msgClass == Payloads::kClassCfg && f.msgId == Payloads::kIdCfgPrt && f.payload.size() == 20
               && LittleEndian32(f.payload, 8) == rate;
    };
}

// The open PC port as the fast runner sees it: whole frames in, whole frames out.
class Line {
public:
    explicit Line(SerialControl& port) : port_(port) {}

    // Opens the selected port at the first rate of the search.
    bool Open()
    {
        port_.SetCommPort(SelectedPort); // closes a port left open
        port_.SetHandshaking(0);
        port_.SetInputMode(0);
        rate_ = kSearchRates[0];
        port_.SetSettings(LineSettings(rate_));
        return port_.SetPortOpen(true);
    }
    std::int32_t Rate() const { return rate_; }
    // Takes the rate the port was moved to by an operation of the exact run.
    std::int32_t Adopt() { return rate_ = SerialControl::ParseSettings(port_.Settings()); }
    // Moves the PC port, once what was written has left the line.
    void MoveTo(std::int32_t rate)
    {
        port_.SetSettings(LineSettings(rate));
        rate_ = rate;
    }
    // Sends through the link's own sender, so that a run's record sees every frame.
    void Send(UbxBuffer frame)
    {
        uBloxLowLevelComms::SendUbxMessage(frame);
        lastSent_ = {frame[2], frame[3]};
    }
    // Forgets what has arrived, so that only answers to what is sent next count.
    void Flush()
    {
        port_.Input();
        reader_.Clear();
        recent_.clear();
        heardBytes_ = false;
        heardFrame_ = false;
    }
    // Reads until `accept` takes a frame or `deadline` passes on the program's
    // clock. Blocks on the port between reads and lets the windows repaint
    // now and then; the operator's input stays queued.
    std::optional<Frame> Await(double deadline, const std::function<bool(const Frame&)>& accept,
                               LinkObserver::Wait kind = LinkObserver::Wait::PollReply)
    {
        const double start = Clock::Now();
        const auto note = [&](bool found) {
            uBloxLowLevelComms::NoteWaitEnded(kind, lastSent_.first, lastSent_.second, found, Clock::Now() - start);
        };
        double lastRepaint = start;
        for (;;) {
            const QByteArray bytes = port_.Input();
            reader_.Append(bytes);
            recent_.append(bytes);
            heardBytes_ = heardBytes_ || !bytes.isEmpty();
            if (recent_.size() > kRecentInput)
                recent_.remove(0, recent_.size() - kRecentInput);
            Frame frame;
            while (reader_.Next(frame)) {
                heardFrame_ = true;
                if (accept(frame)) {
                    note(true);
                    return frame;
                }
            }
            const double now = Clock::Now();
            if (now >= deadline) {
                note(false);
                return std::nullopt;
            }
            port_.WaitForInput(std::min(Timing::InSeconds(Timing::kReplyReadSlice), deadline - now));
            if (now - lastRepaint >= Timing::InSeconds(Timing::kRepaintInterval)) {
                EventPump::PumpNonInputEvents();
                lastRepaint = now;
            }
        }
    }
    bool HeardBytes() const { return heardBytes_; }
    // Whole messages have arrived since the last flush: the rate is right.
    bool HeardTraffic() const { return heardFrame_ || UbxStream::HoldsNmeaSentence(recent_); }

private:
    SerialControl& port_;
    std::int32_t rate_ = 0;
    UbxStream::Reader reader_;
    QByteArray recent_;
    bool heardBytes_ = false;
    bool heardFrame_ = false;
    std::pair<std::uint8_t, std::uint8_t> lastSent_{};
};

// What the runner knows of the link: its rate (0 until it is found) and the
// receiver port the PC is wired to (unknown when the receiver does not tell).
using Link = FoundLink;

std::optional<Link> LinkOf(const std::optional<Frame>& reply, std::int32_t rate)
{
    if (!reply)
        return std::nullopt;
    return Link{rate, static_cast<std::uint8_t>(reply->payload[0])};
}

// Asks at `rate` which port the PC is wired to, changing nothing. A silent
// line gives up after the line time of the poll and its reply; a line that
// carries bytes is heard out for two streamed messages more, long enough to
// tell a receiver's output from the noise of a wrong rate; whole messages
// prove the rate, and the reply may then queue behind the receiver's output
// for the whole allowance.
std::optional<Link> AskAt(Line& line, std::int32_t rate)
{
    line.MoveTo(rate);
    line.Flush();
    line.Send(LinkPortPoll());
    const double sent = Clock::Now() + kSearchMargin;
    auto reply = line.Await(sent + LineTime(rate, kPollBytes + kPortReplyBytes), LinkReplyAt(rate));
    if (!reply && line.HeardBytes()) {
        const qsizetype window = kPollBytes + kPortReplyBytes + 2 * kStreamedMessageBytes;
        reply = line.Await(sent + LineTime(rate, window), LinkReplyAt(rate));
    }
    if (!reply && line.HeardTraffic())
        reply = line.Await(sent + LineTime(rate, kPollBytes) + Timing::InSeconds(Timing::kReplyTimeout), LinkReplyAt(rate));
    return LinkOf(reply, rate);
}

// Looks for the receiver at each rate of the search list. A receiver heard at
// a rate but not answering there is not looked for elsewhere.
std::optional<Link> FindLink(Line& line)
{
    for (const std::int32_t rate : kSearchRates) {
        if (auto link = AskAt(line, rate))
            return link;
        if (line.HeardTraffic())
            return std::nullopt;
    }
    return std::nullopt;
}

// Nothing answered the search in time: the receiver is commanded to the
// reset's rate blind at every rate, as in the exact run, and then asked with
// the whole reply allowance which of its ports the PC is wired to. False when
// it does not answer at that rate.
bool BlindBringUp(Line& line, Link& link)
{
    if (!VarnexCommsRoutines::OpenPortAtBaud(VarnexCommsRoutines::kKnownLinkRate))
        return false;
    link.rate = line.Adopt();
    line.Flush();
    line.Send(LinkPortPoll());
    const double deadline = Clock::Now() + LineTime(link.rate, kPollBytes) + Timing::InSeconds(Timing::kReplyTimeout);
    if (const auto told = LinkOf(line.Await(deadline, LinkReplyAt(link.rate)), link.rate))
        link.receiverPort = told->receiverPort;
    return true;
}

bool SendAcknowledged(Line& line, UbxBuffer frame)
{
    const std::uint8_t msgClass = frame[2], msgId = frame[3];
    line.Flush();
    line.Send(frame);
    const double deadline = Clock::Now() + LineTime(line.Rate(), qsizetype(frame.size())) + Timing::InSeconds(Timing::kReplyTimeout);
    const auto answer = line.Await(deadline, [&](const Frame& f) {
        return f.msgClass == kClassAck && (f.msgId == kIdAckAck || f.msgId == kIdAckNak) && f.payload.size() == 2
               && static_cast<std::uint8_t>(f.payload[0]) == msgClass
               && static_cast<std::uint8_t>(f.payload[1]) == msgId;
    }, LinkObserver::Wait::Ack);
    return answer && answer->msgId == kIdAckAck;
}

// Polls at `rate` until the receiver answers that the port the PC is wired to
// runs there, resending the poll with growing gaps: the receiver may still be
// sending output at the old rate, or miss a poll that came while it moved.
std::optional<Link> ConfirmAt(Line& line, std::int32_t rate)
{
    const double end = Clock::Now() + kLinkMoveAllowance;
    double gap = kFirstResend + LineTime(rate, kPollBytes + kPortReplyBytes);
    for (;;) {
        line.Send(LinkPortPoll());
        if (auto link = LinkOf(line.Await(std::min(end, Clock::Now() + gap), LinkReplyAt(rate)), rate))
            return link;
        if (Clock::Now() >= end)
            return std::nullopt;
        gap = std::min(2 * gap, kLongestResendGap);
    }
}

// Sends the CFG-PRT that moves the link's port to `rate` and follows with the
// PC once it has left the line, then confirms at the new rate. A receiver
// that still answers at the old rate never got the command (a frame lost on
// the line): it is sent once more.
bool MoveLink(Line& line, int receiverPort, std::int32_t rate)
{
    const std::int32_t from = line.Rate();
    for (int attempt = 0; attempt < kLinkMoveAttempts; ++attempt) {
        const UbxBuffer command = Payloads::CfgPrt(rate, receiverPort);
        line.Flush();
        line.Send(command);
        Clock::Sleep(LineTime(from, qsizetype(command.size())) + kMoveSettle);
        line.MoveTo(rate);
        if (const auto moved = ConfirmAt(line, rate))
            return moved->receiverPort == receiverPort;
        if (!AskAt(line, from))
            return false;
    }
    return false;
}

// The known state: every port at the reset's rate, one solution a second,
// every listed message off. A CFG-MSG carries the rates of all four ports, so
// one command per message turns it off everywhere.
bool Reset(Line& line, Link& link)
{
    SupportFunctions::ShowStatus(QStringLiteral("Reading Configuration"));
    if (link.rate == 0 && line.Open())
        link = FindLink(line).value_or(Link{});
    if (link.rate == 0) {
        if (!BlindBringUp(line, link))
            return false;
    } else if (link.rate != VarnexCommsRoutines::kKnownLinkRate) {
        if (!MoveLink(line, *link.receiverPort, VarnexCommsRoutines::kKnownLinkRate))
            return false;
        link.rate = VarnexCommsRoutines::kKnownLinkRate;
    }
    for (std::int32_t port = 0; port < Payloads::kReceiverPortCount; ++port)
        if (!SendAcknowledged(line, Payloads::CfgPrt(VarnexCommsRoutines::kKnownLinkRate, port)))
            return false;
    SupportFunctions::ShowStatus(QStringLiteral("Writing Configuration"));
    if (!SendAcknowledged(line, Payloads::CfgRate(VarnexCommsRoutines::kKnownMeasurementPeriod, VarnexCommsRoutines::kKnownNavigationRate)))
        return false;
    SupportFunctions::ShowStatus(QStringLiteral("Resetting All Messages To Known State"));
    for (const VarnexCommsRoutines::MessageId& m : VarnexCommsRoutines::kResetMessages)
        if (!SendAcknowledged(line, Payloads::CfgMsg(m.msgClass, m.msgId, 0, 0)))
            return false;
    return true;
}

bool SetBaud(Line& line, Link& link, std::int32_t rate, int port)
{
    if (!link.receiverPort) {
        // Which port carries the link is not known: the exact run's confirmed
        // baud change finds out by polling, and the PC follows where needed.
        const bool done = VarnexCommsRoutines::SetBaudRate(rate, VarnexCommsRoutines::BaudMode::Confirming, port);
        link.rate = line.Adopt();
        return done;
    }
    SupportFunctions::ShowStatus(VarnexCommsRoutines::SetBaudRateStatus(rate, port));
    if (port != *link.receiverPort || rate == link.rate)
        return SendAcknowledged(line, Payloads::CfgPrt(rate, port));
    if (!MoveLink(line, port, rate))
        return false;
    link.rate = rate;
    return true;
}

bool RunStep(Line& line, Link& link, const Step& s)
{
    const auto byte = [](std::int32_t v) { return static_cast<std::uint8_t>(v); };
    switch (s.op) {
    case Op::ResetToKnownState: return Reset(line, link);
    case Op::WriteConfiguration:
        SupportFunctions::ShowStatus(QStringLiteral("Writing Configuration"));
        return SendAcknowledged(line, Payloads::CfgRate(s.period, byte(s.args[0])));
    case Op::SetDynamicNavigationParameters:
        SupportFunctions::ShowStatus(QStringLiteral("Set Dynamic Navigation Parameters"));
        return SendAcknowledged(line, Payloads::CfgNav());
    case Op::SetTimePulse:
        SupportFunctions::ShowStatus(VarnexCommsRoutines::SetTimePulseStatus(s.args[0]));
        return SendAcknowledged(line, Payloads::CfgTp(s.args[0], s.args[1]));
    case Op::SetMessageRate:
        SupportFunctions::ShowStatus(
            VarnexCommsRoutines::SetMessageRateStatus(byte(s.args[0]), byte(s.args[1]), byte(s.args[2]), s.args[3]));
        return SendAcknowledged(line, Payloads::CfgMsg(byte(s.args[0]), byte(s.args[1]), byte(s.args[2]), s.args[3]));
    case Op::SetBaudRate: return SetBaud(line, link, s.args[0], s.args[1]);
    case Op::WriteSetupToFlash:
        SupportFunctions::ShowStatus(QStringLiteral("Writing Setup To Flash"));
        return SendAcknowledged(line, Payloads::CfgCfgSaveAll());
    }
    return false;
}

} // namespace

std::optional<FoundLink> FindReceiver()
{
    Line line(CommsFrm::SerialPort());
    if (line.Open())
        if (const auto link = FindLink(line))
            return link;
    CommsFrm::SerialPort().SetPortOpen(false);
    return std::nullopt;
}

bool RunProfileFast(const Profile& profile, const RunObserver& observer)
{
    Line line(CommsFrm::SerialPort());
    Link link; // found by the reset, the first step of every device
    return RunSteps(profile, observer, [&](const Step& step) {
        const bool succeeded = RunStep(line, link, step);
        SupportFunctions::ClearStatus();
        return succeeded;
    });
}

} // namespace SetupOutputs
