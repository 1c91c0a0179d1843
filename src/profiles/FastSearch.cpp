// The search for the link: at each rate the unit is asked which port the PC
// is wired to, the line heard out as long as what it carries needs, and the
// moves that ride with the asking followed. How it works is told in
// docs/ARCHITECTURE.md ("The fast runner", "The proof").
#include "profiles/FastLinkParts.h"

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

using Wait = uBloxLowLevelComms::LinkObserver::Wait;
using namespace UbxProtocol;
using namespace Parts;

// The search's rates: the factory's first, then the reset's, then where the
// devices leave their link, then the rest fastest first (a wrong rate costs
// the line time of its window).
constexpr std::int32_t kSearchRates[] = {kFirstSearchRate, 115200, 4800, 57600, 38400, 28800, 19200, 14400, 2400, 1200};
// The longest binary message the search hears out (raw measurements of a
// full sky).
constexpr qsizetype kLongestFrame = 1032;
// A unit just told to move is asked at its new rate at least this often
// before a line that carries nothing whole there is given up.
constexpr int kPollsAtTheNewRate = 3;

double Margin() { return Timing::InSeconds(Timing::kSearchMargin); }

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
    // A move of the link to this rate rides in `behind` or `onceTalking`:
    // once it has gone out, the unit is at the rate asked or at this one.
    std::int32_t movesTo = 0;
    // The unit may still be moving its link here after an exchange just
    // before (a load): until it answers, the poll and `behind` go out again
    // at the line's pace, since what reached it before it had moved is lost.
    bool resend = false;
};

// One ask at a rate: what has gone out, and the waits for its reply.
struct Asking {
    Line& line;
    std::int32_t rate;
    const Around& around;
    std::function<bool(const Frame&)> accept;
    double polled = 0;     // when the link poll went out
    double sent = 0;       // the waits count from here: the poll and a margin
    int framesBehind = 0;  // frames sent after the link poll, for the record
    bool talkingSent = false;
    double nextResend = 0;
    double gap = 0;

    void SendPollAndBehind()
    {
        line.Send(LinkPortPoll());
        for (const UbxBuffer& frame : around.behind)
            line.Send(frame);
    }
    void SendOnceTalking()
    {
        if (std::exchange(talkingSent, true))
            return;
        for (const UbxBuffer& frame : around.onceTalking)
            line.Send(frame);
        framesBehind += int(around.onceTalking.size());
    }
    bool MoveSent() const { return around.movesTo > 0 && talkingSent; }
    // Waits for the reply until `deadline`, resending when asked to.
    std::optional<Frame> Await(double deadline)
    {
        while (around.resend && nextResend < deadline) {
            if (auto reply = line.Await(nextResend, accept))
                return reply;
            if (line.Gone())
                return std::nullopt;
            SendPollAndBehind();
            framesBehind += 1 + int(around.behind.size());
            gap = std::min(2 * gap, Timing::InSeconds(Timing::kLongestResendGap));
            nextResend = Clock::Now() + gap;
        }
        return line.Await(deadline, accept);
    }
};

void Start(Asking& a)
{
    a.line.MoveTo(a.rate);
    a.line.Flush();
    if (!a.around.ahead.empty())
        a.line.Send(a.around.ahead);
    a.polled = Clock::Now();
    a.SendPollAndBehind();
    a.sent = Clock::Now() + Margin();
    a.framesBehind = int(a.around.behind.size());
    a.gap = FirstResendGap(a.rate);
    a.nextResend = a.polled + a.gap;
    a.talkingSent = a.around.onceTalking.empty();
    if (!a.talkingSent)
        a.line.OnceTalking([&a] { a.SendOnceTalking(); });
}

// A silent line gives up after the line time of the poll and its reply; a
// line that carries bytes is heard out for two streamed messages more, long
// enough to tell a receiver's output from the noise of a wrong rate, and
// while bytes keep coming without a whole message, for as long as a long
// binary frame takes (HearOut); whole messages prove the rate, and the reply
// may then queue behind the receiver's output: the search's allowance, and
// while that output fills the line, on in slices for as long as its
// transmit buffer takes to drain, ending early once the output stops or
// turns to framing errors (the unit moved).
std::optional<Frame> StagedWaits(Asking& a)
{
    Line& line = a.line;
    auto reply = a.Await(a.sent + LineTime(a.rate, kPollBytes + kPortReplyBytes));
    if (!reply && line.HeardBytes()) {
        reply = a.Await(a.sent + LineTime(a.rate, kPollBytes + kPortReplyBytes + 2 * kStreamedMessageBytes));
        if (!reply && !line.HeardTraffic())
            reply = HearOut(line, a.rate, a.sent, a.accept);
    }
    if (!reply && line.HeardTraffic())
        reply = a.Await(a.sent + LineTime(a.rate, kPollBytes) + SearchAllowance());
    const double last = a.sent + LineTime(a.rate, kPollBytes + kReceiverTxBuffer) + SearchAllowance();
    const double slice = LineTime(a.rate, 2 * kStreamedMessageBytes);
    while (!reply && Clock::Now() < last && Saturated(line, Clock::Now() - a.sent))
        reply = a.Await(std::min(last, Clock::Now() + slice));
    return reply;
}

// Asked at `to`, where a move just sent puts the unit, at that line's pace:
// the poll resent with growing gaps while the unit is heard talking there,
// given up after a few polls on a line that carries nothing whole.
std::optional<Link> AskMovedTo(Line& line, std::int32_t to)
{
    line.MoveTo(to);
    line.Flush();
    const double end = Clock::Now() + SearchAllowance();
    double gap = FirstResendGap(to);
    for (int polls = 1;; ++polls) {
        if (auto link = PollLink(line, std::min(end, Clock::Now() + gap)))
            return link;
        if (line.Gone() || Clock::Now() >= end || (polls >= kPollsAtTheNewRate && !line.HeardTraffic()))
            return std::nullopt;
        gap = std::min(2 * gap, Timing::InSeconds(Timing::kLongestResendGap));
    }
}

// The move went out and nothing answered within the staged waits: the unit
// is still at the rate asked, its answers queued behind its output (which
// leaves before it moves), or at the move's rate, and nowhere else. It is
// heard out at the rate asked while it talks there, until a full transmit
// buffer would have drained, or for a cycle of its output while the line is
// quiet; unless it talked there all along without answering, it is then
// asked at the move's rate. The line is left where it answered.
std::optional<Link> AfterUnansweredMove(Asking& a)
{
    Line& line = a.line;
    const double drained = a.sent + LineTime(a.rate, kPollBytes + kReceiverTxBuffer) + SearchAllowance();
    const double quiet = a.polled + Timing::InSeconds(Timing::kSilenceListen);
    const double slice = LineTime(a.rate, kStreamedMessageBytes) + Margin();
    std::optional<Frame> reply;
    for (double until = quiet; !reply && !line.Gone() && !line.HeardFramingErrors() && Clock::Now() < until;) {
        reply = a.Await(std::min(until, Clock::Now() + slice));
        until = line.HeardTraffic() ? drained : quiet;
    }
    if (reply)
        return LinkOf(reply, a.rate);
    if (line.Gone() || (line.HeardTraffic() && !line.HeardFramingErrors()))
        return std::nullopt;
    return AskMovedTo(line, a.around.movesTo);
}

// AskAt, with the frames `around` it. Where a move went out and the unit
// answered only at the move's rate, the link is as read there, the line left
// at that rate.
std::optional<Link> Ask(Line& line, std::int32_t rate, const Around& around)
{
    const auto linkReply = LinkReplyAt(rate);
    Asking a{line, rate, around, [&](const Frame& f) {
                 if (around.seen)
                     around.seen(f);
                 return linkReply(f);
             }};
    Start(a);
    const auto reply = StagedWaits(a);
    std::optional<Link> link = LinkOf(reply, rate);
    if (!reply && a.MoveSent())
        link = AfterUnansweredMove(a);
    line.OnceTalking({});
    line.NoteAnswerSince(a.polled, LinkPortPoll(), Wait::PollReply, reply ? Answer::Reply : Answer::None, a.framesBehind);
    if (reply)
        a.SendOnceTalking();
    return link;
}

// True when the ask that found `link` followed its move itself: the unit
// answered only at the move's rate, where the line now is.
bool FoundMoved(const Line& line, std::int32_t askedAt) { return line.Rate() != askedAt; }

// After the move (`moveBytes` long) of the link's own port went out behind
// the poll that found `link`: the PC follows once the move's ACK has left,
// and a poll at `to` confirms. `link` as read before the move; nothing when
// the link is lost, or still `link` at its old rate when the move was lost
// on the line.
std::optional<Link> FollowMove(Line& line, const Link& link, std::int32_t to, qsizetype moveBytes)
{
    AwaitMoveAck(line, moveBytes);
    line.MoveTo(to);
    if (const auto moved = ConfirmAt(line, to, Timing::InSeconds(Timing::kLinkMoveAllowance)))
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
    const auto link = Ask(line, rate, {{}, {}, {}, {move}, on.rate});
    if (!link || FoundMoved(line, rate))
        return link;
    return AfterMoveOn(line, *link, on, qsizetype(move.size()));
}

} // namespace

std::optional<Link> AskAt(Line& line, std::int32_t rate, bool resend)
{
    return Ask(line, rate, {{}, {}, {}, {}, 0, resend});
}

// The move's ACK leaves right behind the reply, after whatever output queued
// in the moment between them (AwaitMoveAck); the answer to `ahead` comes
// before both.
std::optional<Link> AskAndMove(Line& line, std::int32_t rate, int receiverPort, std::int32_t to, const QByteArray& settings,
                               const UbxBuffer& ahead, Answer* aheadAnswer, bool resend)
{
    const UbxBuffer move = PortAt(receiverPort, to, settings);
    Answer answer = Answer::None;
    const auto seen = [&](const Frame& f) {
        if (answer == Answer::None && !ahead.empty())
            answer = Exchange::IsAck(f, ahead[kClassIndex], ahead[kIdIndex])   ? Answer::Ack
                     : Exchange::IsNak(f, ahead[kClassIndex], ahead[kIdIndex]) ? Answer::Nak
                                                                               : Answer::None;
    };
    const auto link = Ask(line, rate, {ahead, {move}, seen, {}, to, resend});
    if (!ahead.empty()) {
        line.NoteAnswerOf(ahead, Wait::Ack, answer, 2);
        if (aheadAnswer)
            *aheadAnswer = answer;
    }
    if (!link || link->receiverPort != receiverPort)
        return std::nullopt;
    if (FoundMoved(line, rate))
        return link;
    return FollowMove(line, *link, to, qsizetype(move.size()));
}

// The port's poll is answered before its move is taken, so its reply holds
// the settings it ran with; whichever port the PC is on, the moved one is
// left at the new rate (a proof ends with a load of the saved configuration).
std::optional<Link> AskReadAndMove(Line& line, std::int32_t rate, MoveOn on)
{
    const UbxBuffer poll = Payloads::CfgPrtPoll(on.receiverPort);
    const UbxBuffer move = PortAt(on.receiverPort, on.rate, {});
    QByteArray portRead;
    const auto seen = [&](const Frame& f) {
        if (portRead.isEmpty() && Exchange::AnswerTo(f, poll) == Answer::Reply
            && f.payload.size() == qsizetype(CfgPrtField::kPayloadLength))
            portRead = f.payload;
    };
    auto link = Ask(line, rate, {{}, {poll, move}, seen, {}, on.rate});
    if (!link)
        return std::nullopt;
    link->movedPort = on.receiverPort;
    if (FoundMoved(line, rate)) {
        // Its port read before the move, where it came, is how it was found.
        if (!portRead.isEmpty()) {
            link->rate = rate;
            link->settings = portRead;
        }
        link->movedPortSettings = link->settings;
        return link;
    }
    // The port's reply follows the link's; the move's ACK follows both.
    if (portRead.isEmpty() && link->receiverPort != on.receiverPort)
        line.Await(Clock::Now() + LineTime(rate, kPortReplyBytes + kStreamedMessageBytes) + Margin(), [&](const Frame& f) {
            seen(f);
            return !portRead.isEmpty();
        });
    line.NoteAnswerOf(poll, Wait::PollReply, portRead.isEmpty() ? Answer::None : Answer::Reply, 1);
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
        line.MoveTo(kFirstSearchRate);
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

} // namespace FastLink
