#include "profiles/FastLink.h"

#include "link/UbxProtocol.h"
#include "receiver_config/Payloads.h"
#include "receiver_config/ResetList.h"
#include "receiver_config/VarnexCommsRoutines.h"
#include "support/Clock.h"
#include "support/Timing.h"

#include <algorithm>
#include <utility>

namespace FastLink {
namespace {

using UbxStream::Frame;
using Wait = uBloxLowLevelComms::LinkObserver::Wait;
using namespace UbxProtocol;

// The search's rates: the factory's first, then the reset's, then where the
// devices leave their link, then the rest fastest first (a wrong rate costs
// the line time of its window).
constexpr std::int32_t kSearchRates[] = {9600, 115200, 4800, 57600, 38400, 28800, 19200, 14400, 2400, 1200};
// Bytes of a CFG-PRT poll, of its reply, and of one streamed message as the
// search reckons them (an NMEA sentence is at most 82).
constexpr qsizetype kPollBytes = 8;
constexpr qsizetype kPortReplyBytes = 28;
constexpr qsizetype kStreamedMessageBytes = 100;
// The longest binary message the search hears out (raw measurements of a
// full sky).
constexpr qsizetype kLongestFrame = 1032;
// A link-moving command is sent at most this often (see MoveLink).
constexpr int kLinkMoveAttempts = 2;
// Share of the line's capacity above which the receiver's output counts as
// filling it.
constexpr double kSaturated = 0.8;
// Recent raw input kept for recognising NMEA during the search.
constexpr qsizetype kRecentInput = 1024;
// The last bytes heard that tell a line now carrying framing errors only.
constexpr qsizetype kFramingErrorTail = 64;

double Allowance() { return Timing::InSeconds(Timing::kReplyTimeout); }
// A receiver heard talking at a rate answers a poll there within this (its
// output ahead of the answer included), unless its output fills the line.
double SearchAllowance() { return Timing::InSeconds(Timing::kSearchReplyAllowance); }

// CFG-PRT with no payload: the receiver answers with the settings of the port
// the poll came in on: its number and its rate.
UbxBuffer LinkPortPoll() { return uBloxLowLevelComms::MakeFrame(kClassCfg, kIdCfgPrt); }

// The link's own CFG-PRT: a UART port answers the rate it runs at, which
// must be the PC's; DDC and USB carry no rate and count whatever theirs reads.
std::function<bool(const Frame&)> LinkReplyAt(std::int32_t rate)
{
    return [rate](const Frame& f) {
        return f.msgClass == kClassCfg && f.msgId == kIdCfgPrt && f.payload.size() == qsizetype(CfgPrtField::kPayloadLength)
               && (!HasRate(static_cast<std::uint8_t>(f.payload[CfgPrtField::kPortId]))
                   || std::int32_t(UbxProtocol::LittleEndianAt(f.payload, CfgPrtField::kBaudRate, 4)) == rate);
    };
}

std::optional<Link> LinkOf(const std::optional<Frame>& reply, std::int32_t rate)
{
    if (!reply)
        return std::nullopt;
    Link link;
    link.rate = rate;
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

// The pacing of the answer to what is sent next (`sentBytes` long): the reply
// allowance after its line time, and while whole messages show the receiver
// busy with output, as long again as its transmit buffer takes to drain, since
// the answer queues behind that output. Never resent: a late answer is late,
// not lost.
Exchange::Pacing AnswerPacing(const Line& line, qsizetype sentBytes)
{
    return {LineTime(line.Rate(), sentBytes) + Allowance(),
            [&line](double waited) { return Saturated(line, waited) ? LineTime(line.Rate(), kReceiverTxBuffer) : 0.0; }};
}

// A CFG-PRT for `receiverPort` at `rate`: the port's own `settings` with the
// rate replaced where they are given, the reset's otherwise.
UbxBuffer PortAt(int receiverPort, std::int32_t rate, const QByteArray& settings)
{
    if (settings.size() != qsizetype(CfgPrtField::kPayloadLength))
        return Payloads::CfgPrt(rate, receiverPort);
    std::vector<std::uint8_t> payload(settings.begin(), settings.end());
    payload[CfgPrtField::kPortId] = static_cast<std::uint8_t>(receiverPort);
    for (int i = 0; i < 4; ++i)
        payload[CfgPrtField::kBaudRate + std::size_t(i)] = static_cast<std::uint8_t>(std::uint32_t(rate) >> (8 * i));
    return uBloxLowLevelComms::MakeFrame(kClassCfg, kIdCfgPrt, payload);
}

// After a link-moving CFG-PRT (`sentBytes` long) at the present rate: its ACK
// leaves behind whatever output the receiver queued before it, and the
// receiver moves once it has left. The ACK is waited for while the old rate
// still carries output (within the line time of a full transmit buffer),
// then the receiver is given a moment to move. A receiver that acknowledges
// at the new rate, or not at all, falls silent here at once; the
// confirmation at the new rate finds it.
void AwaitMoveAck(Line& line, qsizetype sentBytes)
{
    const std::int32_t rate = line.Rate();
    const double last = Clock::Now() + LineTime(rate, sentBytes + kReceiverTxBuffer);
    const double slice = LineTime(rate, sentBytes + kStreamedMessageBytes) + Timing::InSeconds(Timing::kSearchMargin);
    std::optional<Frame> ack;
    for (qsizetype before = -1; !ack && line.Received() != before && Clock::Now() < last && !line.Gone();) {
        before = line.Received();
        ack = line.Await(std::min(last, Clock::Now() + slice), [](const Frame& f) { return Exchange::IsAck(f, kClassCfg, kIdCfgPrt); });
    }
    line.NoteAnswer(Wait::Ack, ack ? Answer::Ack : Answer::None);
    Clock::Sleep(Timing::InSeconds(Timing::kMoveSettle));
}

// Bytes heard at `rate` since the poll (sent at `sent`), nothing whole among
// them: a long binary frame may be under way, its start missed or its end
// still to come (binary output runs to a kilobyte a message: seconds at 4800
// bit/s). Heard out while bytes keep coming, until a whole message proves
// the rate or the line falls quiet, within the line time of the longest
// frame and the search's allowance; bytes that are all framing errors (a
// unit talking at another rate) are not heard out.
std::optional<Frame> HearOut(Line& line, std::int32_t rate, double sent, const std::function<bool(const Frame&)>& accept)
{
    const double last = sent + std::min(LineTime(rate, kPollBytes + kPortReplyBytes + kLongestFrame), SearchAllowance());
    std::optional<Frame> reply;
    for (qsizetype before = -1; !reply && !line.HeardTraffic() && !line.HeardFramingErrors() && line.Received() != before
                                && Clock::Now() < last && !line.Gone();) {
        before = line.Received();
        const double slice = LineTime(rate, kStreamedMessageBytes + line.FrameUnderway());
        reply = line.Await(std::min(last, Clock::Now() + slice), accept);
    }
    return reply;
}

// Sends the link poll and waits for the answer at the present rate until `deadline`.
std::optional<Link> PollLink(Line& line, double deadline)
{
    line.Send(LinkPortPoll());
    const auto link = LinkOf(line.Await(deadline, LinkReplyAt(line.Rate())), line.Rate());
    line.NoteAnswer(Wait::PollReply, link ? Answer::Reply : Answer::None);
    return link;
}

// Polls at `rate` until the receiver answers that the port the PC is wired to
// runs there, resending the poll with growing gaps: the receiver may still be
// sending output at the old rate, or miss a poll that came while it moved.
std::optional<Link> ConfirmAt(Line& line, std::int32_t rate)
{
    const double end = Clock::Now() + Timing::InSeconds(Timing::kLinkMoveAllowance);
    double gap = Timing::InSeconds(Timing::kFirstResend) + LineTime(rate, kPollBytes + kPortReplyBytes);
    for (;;) {
        if (auto link = PollLink(line, std::min(end, Clock::Now() + gap)))
            return link;
        if (Clock::Now() >= end || line.Gone())
            return std::nullopt;
        gap = std::min(2 * gap, Timing::InSeconds(Timing::kLongestResendGap));
    }
}

} // namespace

bool Line::Open()
{
    port_.SetPortOpen(false); // a port left open starts afresh
    rate_ = kSearchRates[0];
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

void Line::Send(UbxBuffer frame)
{
    uBloxLowLevelComms::SendFrame(port_, frame);
    sentClass_ = frame[kClassIndex];
    sentId_ = frame[kIdIndex];
    sentAt_ = Clock::Now();
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

std::optional<Frame> Line::Await(double deadline, const std::function<bool(const Frame&)>& accept)
{
    return uBloxLowLevelComms::AwaitFrame(
        port_, reader_, deadline,
        [&](const Frame& frame) {
            HeardWhole();
            return accept(frame);
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
            [this](const Frame&) { HeardWhole(); }};
}

void Line::NoteAnswer(uBloxLowLevelComms::LinkObserver::Wait wait, Answer answer, int framesBack)
{
    uBloxLowLevelComms::NoteWaitEnded(wait, sentClass_, sentId_, answer, Clock::Now() - sentAt_, framesBack);
}

void Line::NoteAnswerOf(const UbxBuffer& frame, uBloxLowLevelComms::LinkObserver::Wait wait, Answer answer, int framesBack)
{
    NoteAnswerSince(sentAt_, frame, wait, answer, framesBack);
}

void Line::NoteAnswerSince(double sentAt, const UbxBuffer& frame, uBloxLowLevelComms::LinkObserver::Wait wait, Answer answer,
                           int framesBack)
{
    uBloxLowLevelComms::NoteWaitEnded(wait, frame[kClassIndex], frame[kIdIndex], answer, Clock::Now() - sentAt, framesBack);
}

bool Line::HeardTraffic() const { return heardFrame_ || UbxStream::HoldsNmeaSentence(recent_); }

bool Line::HeardFramingErrors() const
{
    const qsizetype since = received_ - wholeAt_;
    return reader_.Missing() == 0 && UbxStream::LooksLikeFramingErrors(recent_.right(std::min(since, kFramingErrorTail)));
}

double LineTime(std::int32_t rate, qsizetype bytes) { return bytes * 10.0 / rate; }

bool HasRate(int receiverPort) { return receiverPort == 1 || receiverPort == 2; }

// A silent line gives up after the line time of the poll and its reply; a
// line that carries bytes is heard out for two streamed messages more, long
// enough to tell a receiver's output from the noise of a wrong rate, and
// while bytes keep coming without a whole message, for as long as a long
// binary frame takes (HearOut); whole messages prove the rate, and the reply may then
// queue behind the receiver's output: the search's allowance, and when that
// output fills the line, as long again as its transmit buffer takes to drain.
namespace {

// What goes out around the link poll: `ahead` before it (when given) and
// `behind` right after it; `seen` is shown every frame read meanwhile.
// `onceTalking` goes out as soon as the start of a message is heard at the
// rate (a unit talking there, whose reply the search then waits for), or
// else right after the reply: a unit that is silent and slow to answer at a
// rate is never told to move after the search has left it.
struct Around {
    const UbxBuffer& ahead;
    std::vector<UbxBuffer> behind;
    std::function<void(const Frame&)> seen;
    std::vector<UbxBuffer> onceTalking = {};
};

// AskAt, with the frames `around` it.
std::optional<Link> Ask(Line& line, std::int32_t rate, const Around& around)
{
    line.MoveTo(rate);
    line.Flush();
    if (!around.ahead.empty())
        line.Send(around.ahead);
    line.Send(LinkPortPoll());
    const double polled = Clock::Now();
    for (const UbxBuffer& frame : around.behind)
        line.Send(frame);
    const auto linkReply = LinkReplyAt(rate);
    const std::function<bool(const Frame&)> accept = [&](const Frame& f) {
        if (around.seen)
            around.seen(f);
        return linkReply(f);
    };
    const double sent = Clock::Now() + Timing::InSeconds(Timing::kSearchMargin);
    int framesBehind = int(around.behind.size());
    bool talkingSent = around.onceTalking.empty();
    const auto sendOnceTalking = [&] {
        if (talkingSent)
            return;
        talkingSent = true;
        for (const UbxBuffer& frame : around.onceTalking)
            line.Send(frame);
        framesBehind += int(around.onceTalking.size());
    };
    if (!talkingSent)
        line.OnceTalking(sendOnceTalking);
    auto reply = line.Await(sent + LineTime(rate, kPollBytes + kPortReplyBytes), accept);
    if (!reply && line.HeardBytes()) {
        const qsizetype window = kPollBytes + kPortReplyBytes + 2 * kStreamedMessageBytes;
        reply = line.Await(sent + LineTime(rate, window), accept);
        if (!reply && !line.HeardTraffic())
            reply = HearOut(line, rate, sent, accept);
    }
    if (!reply && line.HeardTraffic())
        reply = line.Await(sent + LineTime(rate, kPollBytes) + SearchAllowance(), accept);
    // While the output keeps filling the line the reply may be queued behind
    // it, as long as the transmit buffer takes to drain; the wait ends early
    // once the output stops or turns to framing errors (the unit moved).
    const double last = sent + LineTime(rate, kPollBytes + kReceiverTxBuffer) + SearchAllowance();
    const double slice = LineTime(rate, 2 * kStreamedMessageBytes);
    while (!reply && Clock::Now() < last && Saturated(line, Clock::Now() - sent))
        reply = line.Await(std::min(last, Clock::Now() + slice), accept);
    line.OnceTalking({});
    line.NoteAnswerSince(polled, LinkPortPoll(), Wait::PollReply, reply ? Answer::Reply : Answer::None, framesBehind);
    if (reply)
        sendOnceTalking();
    return LinkOf(reply, rate);
}

// After the move (`moveBytes` long) of the link's own port went out behind
// the poll that found `link`: the PC follows once the move's ACK has left,
// and a poll at `to` confirms. `link` as read before the move; nothing when
// the link is lost, or still `link` at its old rate when the move was lost
// on the line.
std::optional<Link> FollowMove(Line& line, const Link& link, std::int32_t to, qsizetype moveBytes)
{
    AwaitMoveAck(line, moveBytes);
    line.MoveTo(to);
    if (const auto moved = ConfirmAt(line, to))
        return moved->receiverPort == link.receiverPort ? std::optional(link) : std::nullopt;
    if (!line.Gone() && AskAt(line, link.rate))
        return link;
    return std::nullopt;
}

// After the search's poll that found `link` carried a move of `on`'s port:
// followed when that port is the link's; otherwise its ACK is awaited on the
// link, which stays at the rate it was found at.
std::optional<Link> AfterMoveOn(Line& line, const Link& link, MoveOn on, qsizetype moveBytes)
{
    if (link.receiverPort == on.receiverPort)
        return FollowMove(line, link, on.rate, moveBytes);
    AwaitMoveAck(line, moveBytes);
    return link;
}

// AskAt, with `on`'s port moved blind once the unit is heard talking or
// answers at `rate` (Around::onceTalking); the port is neither read nor
// recorded.
std::optional<Link> AskMovingOnceTalking(Line& line, std::int32_t rate, MoveOn on)
{
    const UbxBuffer move = PortAt(on.receiverPort, on.rate, {});
    const auto link = Ask(line, rate, {{}, {}, {}, {move}});
    return link ? AfterMoveOn(line, *link, on, qsizetype(move.size())) : std::nullopt;
}

} // namespace

std::optional<Link> AskAt(Line& line, std::int32_t rate) { return Ask(line, rate, {{}, {}, {}}); }

// The move's ACK leaves right behind the reply, after whatever output queued
// in the moment between them (AwaitMoveAck); the answer to `ahead` comes
// before both.
std::optional<Link> AskAndMove(Line& line, std::int32_t rate, int receiverPort, std::int32_t to, const QByteArray& settings,
                               const UbxBuffer& ahead, Answer* aheadAnswer)
{
    const UbxBuffer move = PortAt(receiverPort, to, settings);
    Answer answer = Answer::None;
    const auto seen = [&](const Frame& f) {
        if (answer == Answer::None && !ahead.empty())
            answer = Exchange::IsAck(f, ahead[kClassIndex], ahead[kIdIndex])   ? Answer::Ack
                     : Exchange::IsNak(f, ahead[kClassIndex], ahead[kIdIndex]) ? Answer::Nak
                                                                               : Answer::None;
    };
    const auto link = Ask(line, rate, {ahead, {move}, seen});
    if (!ahead.empty()) {
        line.NoteAnswerOf(ahead, Wait::Ack, answer, 2);
        if (aheadAnswer)
            *aheadAnswer = answer;
    }
    if (!link || link->receiverPort != receiverPort)
        return std::nullopt;
    return FollowMove(line, *link, to, qsizetype(move.size()));
}

// The port's poll is answered before its move is taken, so its reply holds
// the settings it ran with; whichever port the PC is on, the moved one is
// left at the new rate (a proof ends with a load of the saved configuration).
std::optional<Link> AskReadAndMove(Line& line, std::int32_t rate, MoveOn on)
{
    const std::uint8_t portId[] = {static_cast<std::uint8_t>(on.receiverPort)};
    const UbxBuffer poll = uBloxLowLevelComms::MakeFrame(kClassCfg, kIdCfgPrt, portId);
    const UbxBuffer move = PortAt(on.receiverPort, on.rate, {});
    QByteArray portRead;
    const auto seen = [&](const Frame& f) {
        if (portRead.isEmpty() && Exchange::AnswerTo(f, poll) == Answer::Reply
            && f.payload.size() == qsizetype(CfgPrtField::kPayloadLength))
            portRead = f.payload;
    };
    auto link = Ask(line, rate, {{}, {poll, move}, seen});
    if (!link)
        return std::nullopt;
    // The port's reply follows the link's; the move's ACK follows both.
    if (portRead.isEmpty() && link->receiverPort != on.receiverPort)
        line.Await(Clock::Now() + LineTime(rate, kPortReplyBytes + kStreamedMessageBytes) + Timing::InSeconds(Timing::kSearchMargin),
                   [&](const Frame& f) {
                       seen(f);
                       return !portRead.isEmpty();
                   });
    line.NoteAnswerOf(poll, Wait::PollReply, portRead.isEmpty() ? Answer::None : Answer::Reply, 1);
    link->movedPort = on.receiverPort;
    link->movedPortSettings = link->receiverPort == on.receiverPort ? link->settings : portRead;
    return AfterMoveOn(line, *link, on, qsizetype(move.size()));
}

// A receiver heard at a rate but not answering there is not looked for elsewhere.
std::optional<Link> FindLink(Line& line, std::span<const std::int32_t> first, std::optional<MoveOn> moveOn)
{
    std::vector<std::int32_t> rates(first.begin(), first.end());
    for (const std::int32_t rate : kSearchRates)
        if (std::find(rates.begin(), rates.end(), rate) == rates.end())
            rates.push_back(rate);
    for (const std::int32_t rate : rates) {
        const bool moving =
            moveOn && rate != moveOn->rate
            && (moveOn->below > 0 ? rate < moveOn->below : rate == rates.front() && !first.empty());
        auto link = !moving              ? AskAt(line, rate)
                    : moveOn->below > 0 ? AskMovingOnceTalking(line, rate, *moveOn)
                                        : AskReadAndMove(line, rate, *moveOn);
        if (link)
            return link;
        if (line.HeardTraffic() || line.Gone())
            return std::nullopt;
    }
    return std::nullopt;
}

Search Look(Line& line, std::span<const std::int32_t> first, std::optional<MoveOn> moveOn)
{
    if (auto link = FindLink(line, first, moveOn))
        return {link, Heard::Messages};
    // A unit heard talking but not answering may be draining its output
    // before a move to the reset's rate it was just told (a run stopped right
    // after moving the link), deaf to polls at the old rate until it has
    // moved: it is asked there once before the search gives up on it.
    const std::int32_t known = VarnexCommsRoutines::kKnownLinkRate;
    if (line.HeardTraffic() && !line.Gone() && line.Rate() != known) {
        if (auto link = AskAt(line, known))
            return {link, Heard::Messages};
        return {std::nullopt, Heard::Messages};
    }
    if (!line.HeardAnything() && !line.Gone()) {
        line.MoveTo(kSearchRates[0]);
        line.Flush();
        line.Await(Clock::Now() + Timing::InSeconds(Timing::kSilenceListen), [](const Frame&) { return false; });
        if (line.HeardTraffic()) {
            line.Flush();
            return {PollLink(line, Clock::Now() + LineTime(line.Rate(), kPollBytes) + SearchAllowance()), Heard::Messages};
        }
    }
    if (line.HeardTraffic())
        return {std::nullopt, Heard::Messages};
    return {std::nullopt, line.HeardAnything() ? Heard::Noise : Heard::Nothing};
}

bool BlindBringUp(Line& line, Link& link)
{
    if (!VarnexCommsRoutines::OpenPortAtBaud(line.Port(), VarnexCommsRoutines::kKnownLinkRate))
        return false;
    link.rate = line.Adopt();
    line.Flush();
    if (const auto told = PollLink(line, Clock::Now() + LineTime(link.rate, kPollBytes) + Allowance()))
        link.receiverPort = told->receiverPort;
    return true;
}

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

bool StillAnswers(Line& line)
{
    line.Flush();
    return PollLink(line, Clock::Now() + LineTime(line.Rate(), kPollBytes) + Allowance()).has_value();
}

// A receiver that still answers at the old rate never got the command (a
// frame lost on the line): it is sent once more.
bool MoveLink(Line& line, int receiverPort, std::int32_t rate, const QByteArray& settings)
{
    const std::int32_t from = line.Rate();
    for (int attempt = 0; attempt < kLinkMoveAttempts; ++attempt) {
        const UbxBuffer command = PortAt(receiverPort, rate, settings);
        line.Flush();
        line.Send(command);
        AwaitMoveAck(line, qsizetype(command.size()));
        line.MoveTo(rate);
        if (const auto moved = ConfirmAt(line, rate))
            return moved->receiverPort == receiverPort;
        if (line.Gone() || !AskAt(line, from))
            return false;
    }
    return false;
}

} // namespace FastLink
