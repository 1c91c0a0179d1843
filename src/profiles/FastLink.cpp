// The line's account and its exchanges: commands, polls, the move of the
// link and its confirmation. The search for the link is FastSearch.cpp.
#include "profiles/FastLinkParts.h"

#include "link/UbxProtocol.h"
#include "receiver_config/Payloads.h"
#include "support/Clock.h"
#include "support/Timing.h"

#include <algorithm>
#include <utility>

namespace FastLink {
namespace {

using Exchange::Wait;
using namespace UbxProtocol;
using namespace Parts;

// A link-moving command is sent at most this often (see MoveLink).
constexpr int kLinkMoveAttempts = 2;
// Share of the line's capacity above which the receiver's output counts as
// filling it.
constexpr double kSaturated = 0.8;
// Recent raw input kept for recognising NMEA during the search.
constexpr qsizetype kRecentInput = 1024;
// The last bytes heard that tell a line now carrying framing errors only.
constexpr qsizetype kFramingErrorTail = 64;
// CFG-PRT's rate, little-endian, in bit/s.
constexpr const UbxMessages::Field& kRate = UbxMessages::FieldNamed(UbxMessages::kPrtFields, "baudRate");

// The pacing of the answer to what is sent next (`sentBytes` long): the reply
// allowance after its line time, and while whole messages show the receiver
// busy with output, as long again as its transmit buffer takes to drain, since
// the answer queues behind that output. Never resent: a late answer is late,
// not lost.
Exchange::Pacing AnswerPacing(const Line& line, qsizetype sentBytes)
{
    const double allowance = LineTime(line.Rate(), sentBytes) + Allowance();
    return Exchange::Within(allowance, [&line, allowance](double began, int asked) -> std::optional<double> {
        if (asked > 0 || !Saturated(line, Clock::Now() - began))
            return std::nullopt;
        return began + allowance + LineTime(line.Rate(), kReceiverTxBuffer);
    });
}

// Waits in slices of `slice` seconds within `last`, while `goOn` holds at
// the end of each.
Exchange::Pacing Sliced(double last, double slice, std::function<bool()> goOn)
{
    return Exchange::Within(std::min(last, slice), [last, slice, goOn = std::move(goOn)](double began, int) -> std::optional<double> {
        const double now = Clock::Now();
        if (now >= began + last || !goOn())
            return std::nullopt;
        return std::min(began + last, now + slice);
    });
}

} // namespace

namespace Parts {

double Allowance() { return Timing::InSeconds(Timing::kReplyTimeout); }
double SearchAllowance() { return Timing::InSeconds(Timing::kSearchReplyAllowance); }

UbxBuffer LinkPortPoll() { return Payloads::Poll(UbxMessages::kCfgPrt); }

// The link's own CFG-PRT: a UART port answers the rate it runs at, which
// must be the PC's; DDC and USB carry no rate and count whatever theirs reads.
Exchange::Judge LinkReplyAt(std::int32_t rate)
{
    return [rate](const Frame& f) {
        // A unit of a generation that has no CFG-PRT refuses the poll: it is
        // there, at this rate, and only its port is not told.
        if (Exchange::IsNak(f, kClassCfg, kIdCfgPrt))
            return Answer::Reply;
        const bool reply = f.msgClass == kClassCfg && f.msgId == kIdCfgPrt
                           && f.payload.size() == qsizetype(CfgPrtField::kPayloadLength)
                           && (!HasRate(static_cast<std::uint8_t>(f.payload[CfgPrtField::kPortId]))
                               || std::int32_t(UbxProtocol::LittleEndianAt(f.payload, kRate.offset, kRate.width)) == rate);
        return reply ? Answer::Reply : Answer::None;
    };
}

std::optional<Link> LinkOf(const std::optional<Frame>& reply, std::int32_t rate)
{
    if (!reply)
        return std::nullopt;
    Link link;
    link.rate = rate;
    if (reply->msgClass == kClassAck) {
        link.portPollRefused = true;
        return link;
    }
    link.receiverPort = static_cast<std::uint8_t>(reply->payload[CfgPrtField::kPortId]);
    link.settings = reply->payload;
    return link;
}

// The receiver's output has filled the line for `seconds` (most of its
// capacity, in whole messages): its transmit buffer is backing up. Not when
// the line now carries framing errors: the unit has moved to another rate.
bool Saturated(const Line& line, double seconds)
{
    return line.HeardTraffic() && !line.Gone() && !line.HeardFramingErrors()
           && LineTime(line.Rate(), line.Received()) >= kSaturated * seconds;
}

// A CFG-PRT for `receiverPort` at `rate`: the port's own `settings` with the
// rate replaced where they are given, the reset's otherwise.
UbxBuffer PortAt(int receiverPort, std::int32_t rate, const QByteArray& settings)
{
    if (settings.size() != qsizetype(CfgPrtField::kPayloadLength))
        return Payloads::CfgPrt(rate, receiverPort);
    std::vector<std::uint8_t> payload(settings.begin(), settings.end());
    payload[CfgPrtField::kPortId] = static_cast<std::uint8_t>(receiverPort);
    for (int i = 0; i < kRate.width; ++i)
        payload[kRate.offset + std::size_t(i)] = static_cast<std::uint8_t>(std::uint32_t(rate) >> (8 * i));
    return uBloxLowLevelComms::MakeFrame(kClassCfg, kIdCfgPrt, payload);
}

Exchange::Judge MoveAck(const UbxBuffer& move)
{
    return [msgId = move[kIdIndex]](const Frame& f) { return Exchange::IsAck(f, kClassCfg, msgId) ? Answer::Ack : Answer::None; };
}

// After a link-moving command (`sentBytes` long) at the present rate: its ACK
// leaves behind whatever output the receiver queued before it, and the
// receiver moves once it has left. The ACK is waited for while the old rate
// still carries output (within the line time of a full transmit buffer),
// then the receiver is given a moment to move. A receiver that acknowledges
// at the new rate, or not at all, falls silent here at once; the
// confirmation at the new rate finds it.
void AwaitMoveAck(Line& line, Exchange::Session& session, Exchange::Session::Id move, qsizetype sentBytes)
{
    const std::int32_t rate = line.Rate();
    const double last = LineTime(rate, sentBytes + kReceiverTxBuffer);
    const double slice = LineTime(rate, sentBytes + kStreamedMessageBytes) + Timing::InSeconds(Timing::kSearchMargin);
    session.Await({move}, Sliced(last, slice, [&line, before = line.Received()]() mutable {
                      return std::exchange(before, line.Received()) != line.Received();
                  }));
    session.GiveUp(move);
    Clock::Sleep(Timing::InSeconds(Timing::kMoveSettle));
}

std::optional<Link> PollLink(Line& line, const Exchange::Pacing& pacing, Exchange::Session::Start start)
{
    Exchange::Session session(line.Port(), line.Watch(), start);
    const auto poll = session.Send(LinkPortPoll(), Wait::PollReply, LinkReplyAt(line.Rate()));
    session.Await({poll}, pacing);
    return LinkOf(session.FrameOf(poll), line.Rate());
}

std::optional<Link> FollowTo(Line& line, Exchange::Session& session, Exchange::Session::Id move, qsizetype sentBytes,
                             std::int32_t rate)
{
    AwaitMoveAck(line, session, move, sentBytes);
    line.MoveTo(rate);
    return ConfirmAt(line, rate, Timing::InSeconds(Timing::kLinkMoveAllowance));
}

double FirstResendGap(std::int32_t rate)
{
    return Timing::InSeconds(Timing::kFirstResend) + LineTime(rate, kPollBytes + kPortReplyBytes);
}

// The receiver may still be sending output at the old rate, or miss a poll
// that came while it moved: each gap twice the last, up to the longest.
Exchange::Pacing Resending(std::int32_t rate, double allowance)
{
    Exchange::Pacing pacing = Exchange::Within(allowance);
    pacing.firstGap = FirstResendGap(rate);
    pacing.longestGap = Timing::InSeconds(Timing::kLongestResendGap);
    return pacing;
}

std::optional<Link> ConfirmAt(Line& line, std::int32_t rate, double allowance)
{
    return PollLink(line, Resending(rate, allowance), Exchange::Session::Start::Continued);
}

} // namespace Parts

bool Line::Open()
{
    port_.SetPortOpen(false); // a port left open starts afresh
    rate_ = kFirstSearchRate;
    heardAnything_ = false;
    port_.SetRate(rate_);
    return port_.SetPortOpen(true);
}

std::int32_t Line::Adopt() { return rate_ = port_.Rate(); }

void Line::MoveTo(std::int32_t rate)
{
    port_.SetRate(rate);
    rate_ = rate;
}

void Line::Flush()
{
    port_.Input();
    Forget();
}

void Line::Forget()
{
    reader_.Clear();
    recent_.clear();
    received_ = 0;
    wholeAt_ = 0;
    heardBytes_ = false;
    heardFrame_ = false;
}

void Line::HeardWhole()
{
    heardFrame_ = true;
    wholeAt_ = received_;
}

void Line::Listen(double deadline)
{
    uBloxLowLevelComms::AwaitFrame(
        port_, reader_, deadline,
        [this](const Frame&) {
            HeardWhole();
            return false;
        },
        [this](const QByteArray& bytes) { Hear(bytes); });
}

void Line::Hear(const QByteArray& bytes)
{
    recent_.append(bytes);
    received_ += bytes.size();
    heardBytes_ = heardBytes_ || !bytes.isEmpty();
    heardAnything_ = heardAnything_ || heardBytes_;
    if (recent_.size() > kRecentInput)
        recent_.remove(0, recent_.size() - kRecentInput);
    if (onceTalking_ && UbxStream::HoldsMessageStart(recent_))
        std::exchange(onceTalking_, nullptr)();
}

Exchange::Watch Line::Watch()
{
    return {[this] { Forget(); }, [this](const QByteArray& bytes) { Hear(bytes); },
            [this](const Frame&) { HeardWhole(); }, &reader_};
}

bool Line::HeardTraffic() const { return heardFrame_ || UbxStream::HoldsNmeaSentence(recent_); }

bool Line::HeardFramingErrors() const
{
    const qsizetype since = received_ - wholeAt_;
    return reader_.Missing() == 0 && UbxStream::LooksLikeFramingErrors(recent_.right(std::min(since, kFramingErrorTail)));
}

double LineTime(std::int32_t rate, qsizetype bytes) { return bytes * 10.0 / rate; }

bool HasRate(int receiverPort) { return receiverPort == 1 || receiverPort == 2; }

Answer SendCommand(Line& line, UbxBuffer frame)
{
    const Exchange::Pacing pacing = AnswerPacing(line, qsizetype(frame.size()));
    return Exchange::Command(line.Port(), std::move(frame), pacing, line.Watch());
}

Reply PollReply(Line& line, UbxBuffer request)
{
    const Exchange::Pacing pacing = AnswerPacing(line, qsizetype(request.size()));
    return Exchange::Poll(line.Port(), std::move(request), pacing, line.Watch());
}

std::vector<Reply> PollReplies(Line& line, const std::vector<UbxBuffer>& requests)
{
    // Every poll awaits its reply at once. A unit whose output keeps its
    // transmit buffer full makes each round of polls wait behind that buffer,
    // so one round costs least; a reply the full buffer drops is asked again
    // on its own at the end. The callers poll at 115200 or over USB, where a
    // state's replies (some 1 KB) take milliseconds and the pacing's
    // allowance covers them all.
    qsizetype bytes = 0;
    for (const UbxBuffer& request : requests)
        bytes += qsizetype(request.size());
    return Exchange::Polls(line.Port(), requests, AnswerPacing(line, bytes), line.Watch(), requests.size());
}

Answer SendFollowed(Line& line, UbxBuffer command, std::optional<Link>& here)
{
    const qsizetype bytes = qsizetype(command.size());
    Exchange::Session session(line.Port(), line.Watch());
    const auto sent = session.Send(std::move(command), Wait::Ack);
    const auto poll = session.Send(LinkPortPoll(), Wait::PollReply, LinkReplyAt(line.Rate()));
    const double last = LineTime(line.Rate(), bytes + kPollBytes) + Allowance();
    const double slice = LineTime(line.Rate(), kStreamedMessageBytes) + Timing::InSeconds(Timing::kSearchMargin);
    session.Await({sent, poll}, Sliced(last, slice, [&line] { return !line.HeardFramingErrors(); }));
    const Answer answer = session.AnswerOf(sent);
    if (answer == Answer::None)
        here = LinkOf(session.FrameOf(poll), line.Rate());
    return answer;
}

bool StillAnswers(Line& line)
{
    return PollLink(line, Exchange::Within(LineTime(line.Rate(), kPollBytes) + Allowance())).has_value();
}

// Sends a link-moving `command` and follows it to `rate` (FollowTo).
std::optional<Link> MoveAndConfirm(Line& line, const UbxBuffer& command, std::int32_t rate)
{
    Exchange::Session session(line.Port(), line.Watch());
    const auto move = session.Send(command, Wait::Ack, MoveAck(command));
    return FollowTo(line, session, move, qsizetype(command.size()), rate);
}

// A receiver that still answers at the old rate never got the command (a
// frame lost on the line): it is sent once more.
bool MoveLink(Line& line, int receiverPort, std::int32_t rate, const QByteArray& settings)
{
    const std::int32_t from = line.Rate();
    for (int attempt = 0; attempt < kLinkMoveAttempts; ++attempt) {
        if (const auto moved = MoveAndConfirm(line, PortAt(receiverPort, rate, settings), rate))
            return moved->receiverPort == receiverPort;
        if (line.Gone() || !AskAt(line, from))
            return false;
    }
    return false;
}

bool MoveLinkBy(Line& line, UbxBuffer command, std::int32_t rate)
{
    return MoveAndConfirm(line, command, rate).has_value();
}

} // namespace FastLink
