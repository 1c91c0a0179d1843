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

using Exchange::Wait;
using Id = Exchange::Session::Id;
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

// A frame that goes out with the link poll, and what answers it.
struct Rider {
    UbxBuffer frame;
    Wait wait;
    Exchange::Judge judge;
};

// A move of a port: only its ACK says it was taken.
Rider MoveRider(const UbxBuffer& move) { return {move, Wait::Ack, MoveAck(move)}; }

// What goes out around the link poll: `ahead` before it (when given) and
// `behind` right after it. `onceTalking` goes out as soon as the start of a
// message is heard at the rate (a unit talking there, whose reply the search
// then waits for), or else right after the reply: a unit that is silent and
// slow to answer at a rate is never told to move after the search has left it.
struct Around {
    UbxBuffer ahead;
    std::vector<Rider> behind;
    std::vector<Rider> onceTalking;
    // A move of the link to this rate rides in `behind` or `onceTalking`:
    // once it has gone out, the unit is at the rate asked or at this one.
    std::int32_t movesTo = 0;
    // The unit may still be moving its link here after an exchange just
    // before (a load): until it answers, the poll and `behind` go out again
    // at the line's pace, since what reached it before it had moved is lost.
    bool resend = false;
};

// The line moved to `rate` and an exchange opened on it there.
Exchange::Session OpenAt(Line& line, std::int32_t rate)
{
    line.MoveTo(rate);
    return Exchange::Session(line.Port(), line.Watch());
}

// One ask at a rate: the exchange that carries the link poll and what goes
// around it, and how long its reply is waited for, stage by stage.
class Asking {
public:
    Asking(Line& line, std::int32_t rate, Around around)
        : line_(line), rate_(rate), around_(std::move(around)), session_(OpenAt(line, rate))
    {
        if (!around_.ahead.empty())
            ahead_ = session_.Send(around_.ahead, Wait::Ack);
        polled_ = Clock::Now();
        poll_ = session_.Send(LinkPortPoll(), Wait::PollReply, LinkReplyAt(rate));
        for (const Rider& r : around_.behind)
            behind_.push_back(session_.Send(r.frame, r.wait, r.judge, poll_));
        sent_ = Clock::Now() + Margin();
        talkingSent_ = around_.onceTalking.empty();
        if (!talkingSent_)
            line_.OnceTalking([this] { SendOnceTalking(); });
    }
    ~Asking() { line_.OnceTalking({}); }
    Asking(const Asking&) = delete;
    Asking& operator=(const Asking&) = delete;

    // The link as read at the rate asked. Where a move went out and the unit
    // answered only at the move's rate, the link is as read there, the line
    // left at that rate.
    std::optional<Link> Run();
    Exchange::Session& Session() { return session_; }
    std::optional<Id> Ahead() const { return ahead_; }
    Id Behind(std::size_t i) const { return behind_[i]; }
    Id Talking(std::size_t i) const { return talking_[i]; }

private:
    enum class Stage { Quick, Heard, HearOut, Traffic, Saturated, AfterMove };
    std::optional<double> Further();
    std::optional<double> Listening(double now) const;
    void SendOnceTalking();
    bool MoveSent() const { return around_.movesTo > 0 && talkingSent_; }

    Line& line_;
    std::int32_t rate_;
    Around around_;
    Exchange::Session session_;
    std::optional<Id> ahead_;
    Id poll_ = 0;
    std::vector<Id> behind_;
    std::vector<Id> talking_;
    double polled_ = 0; // when the link poll went out
    double sent_ = 0;   // the waits count from here: the poll and a margin
    bool talkingSent_ = false;
    Stage stage_ = Stage::Quick;
    qsizetype before_ = -1;
    double until_ = 0;
};

void Asking::SendOnceTalking()
{
    if (std::exchange(talkingSent_, true))
        return;
    for (const Rider& r : around_.onceTalking)
        talking_.push_back(session_.Send(r.frame, r.wait, r.judge));
}

// A silent line gives up after the line time of the poll and its reply; a
// line that carries bytes is heard out for two streamed messages more, long
// enough to tell a receiver's output from the noise of a wrong rate, and
// while bytes keep coming without a whole message (a long binary frame may
// be under way, its start missed or its end still to come: seconds at 4800
// bit/s), for as long as the longest frame takes, unless they are all
// framing errors (a unit talking at another rate). Whole messages prove the
// rate, and the reply may then queue behind the receiver's output: the
// search's allowance, and while that output fills the line, on in slices for
// as long as its transmit buffer takes to drain, ending early once the
// output stops or turns to framing errors (the unit moved). The next
// deadline on the program's clock, or nothing when the wait ends.
std::optional<double> Asking::Further()
{
    const double now = Clock::Now();
    for (;;) {
        switch (stage_) {
        case Stage::Quick:
            stage_ = line_.HeardBytes() ? Stage::Heard : Stage::Traffic;
            if (stage_ == Stage::Heard)
                return sent_ + LineTime(rate_, kPollBytes + kPortReplyBytes + 2 * kStreamedMessageBytes);
            break;
        case Stage::Heard:
            stage_ = line_.HeardTraffic() ? Stage::Traffic : Stage::HearOut;
            until_ = sent_ + std::min(LineTime(rate_, kPollBytes + kPortReplyBytes + kLongestFrame), SearchAllowance());
            break;
        case Stage::HearOut:
            if (!line_.HeardTraffic() && !line_.HeardFramingErrors() && line_.Received() != before_ && now < until_
                && !line_.Gone()) {
                before_ = line_.Received();
                return std::min(until_, now + LineTime(rate_, kStreamedMessageBytes + line_.FrameUnderway()));
            }
            stage_ = Stage::Traffic;
            break;
        case Stage::Traffic:
            stage_ = Stage::Saturated;
            until_ = sent_ + LineTime(rate_, kPollBytes + kReceiverTxBuffer) + SearchAllowance();
            if (line_.HeardTraffic())
                return sent_ + LineTime(rate_, kPollBytes) + SearchAllowance();
            break;
        case Stage::Saturated:
            if (now < until_ && Saturated(line_, now - sent_))
                return std::min(until_, now + LineTime(rate_, 2 * kStreamedMessageBytes));
            if (!MoveSent())
                return std::nullopt;
            stage_ = Stage::AfterMove;
            until_ = polled_ + Timing::InSeconds(Timing::kSilenceListen);
            return Listening(now);
        case Stage::AfterMove:
            until_ = line_.HeardTraffic() ? sent_ + LineTime(rate_, kPollBytes + kReceiverTxBuffer) + SearchAllowance()
                                          : polled_ + Timing::InSeconds(Timing::kSilenceListen);
            return Listening(now);
        }
    }
}

// The move went out and nothing answered within the staged waits: the unit
// is still at the rate asked, its answers queued behind its output (which
// leaves before it moves), or at the move's rate, and nowhere else. It is
// heard out at the rate asked while it talks there, until a full transmit
// buffer would have drained, or for a cycle of its output while the line is
// quiet.
std::optional<double> Asking::Listening(double now) const
{
    if (line_.Gone() || line_.HeardFramingErrors() || now >= until_)
        return std::nullopt;
    return std::min(until_, now + LineTime(rate_, kStreamedMessageBytes) + Margin());
}

// Asked at `to`, where a move just sent puts the unit, at that line's pace:
// the poll resent with growing gaps while the unit is heard talking there,
// given up after a few polls on a line that carries nothing whole.
std::optional<Link> AskMovedTo(Line& line, std::int32_t to)
{
    line.MoveTo(to);
    Exchange::Pacing pacing = Resending(to, SearchAllowance());
    pacing.resendWhile = [&line](int sends) { return sends < kPollsAtTheNewRate || line.HeardTraffic(); };
    return PollLink(line, pacing);
}

// Unless the unit talked at the rate asked all along without answering, it
// is asked at the move's rate once the staged waits and the listening after
// an unanswered move have passed.
std::optional<Link> Asking::Run()
{
    const double start = Clock::Now();
    Exchange::Pacing pacing = Exchange::Within(sent_ + LineTime(rate_, kPollBytes + kPortReplyBytes) - start,
                                               [this](double, int) { return Further(); });
    if (around_.resend) {
        pacing.firstGap = FirstResendGap(rate_);
        pacing.longestGap = Timing::InSeconds(Timing::kLongestResendGap);
    }
    const bool answered = session_.Await({poll_}, pacing);
    line_.OnceTalking({});
    if (answered) {
        SendOnceTalking();
        return LinkOf(session_.FrameOf(poll_), rate_);
    }
    session_.End();
    if (!MoveSent() || line_.Gone() || (line_.HeardTraffic() && !line_.HeardFramingErrors()))
        return std::nullopt;
    return AskMovedTo(line_, around_.movesTo);
}

// True when the ask that found `link` followed its move itself: the unit
// answered only at the move's rate, where the line now is.
bool FoundMoved(const Line& line, std::int32_t askedAt) { return line.Rate() != askedAt; }

// After the move (`move` in `session`, `moveBytes` long) of the link's own
// port went out behind the poll that found `link`: the PC follows once the
// move's ACK has left, and a poll at `to` confirms. `link` as read before the
// move; nothing when the link is lost, or still `link` at its old rate when
// the move was lost on the line.
std::optional<Link> FollowMove(Line& line, Exchange::Session& session, Id move, const Link& link, std::int32_t to,
                               qsizetype moveBytes)
{
    if (const auto moved = FollowTo(line, session, move, moveBytes, to))
        return moved->receiverPort == link.receiverPort ? std::optional(link) : std::nullopt;
    if (!line.Gone() && AskAt(line, link.rate))
        return link;
    return std::nullopt;
}

// After the search's poll that found `link` carried a move of `on`'s port:
// followed when that port is the link's; otherwise its ACK is awaited on the
// link, which stays at the rate it was found at.
std::optional<Link> AfterMoveOn(Line& line, Exchange::Session& session, Id move, const Link& link, MoveOn on,
                                qsizetype moveBytes)
{
    if (link.receiverPort == on.receiverPort)
        return FollowMove(line, session, move, link, on.rate, moveBytes);
    AwaitMoveAck(line, session, move, moveBytes);
    return link;
}

// AskAt, with `on`'s port moved blind once the unit is heard talking or
// answers at `rate` (Around::onceTalking); the port is neither read nor
// recorded.
std::optional<Link> AskMovingOnceTalking(Line& line, std::int32_t rate, MoveOn on)
{
    const UbxBuffer move = PortAt(on.receiverPort, on.rate, {});
    Around around;
    around.onceTalking = {MoveRider(move)};
    around.movesTo = on.rate;
    Asking asking(line, rate, std::move(around));
    const auto link = asking.Run();
    if (!link || FoundMoved(line, rate))
        return link;
    return AfterMoveOn(line, asking.Session(), asking.Talking(0), *link, on, qsizetype(move.size()));
}

} // namespace

std::optional<Link> AskAt(Line& line, std::int32_t rate, bool resend)
{
    Around around;
    around.resend = resend;
    Asking asking(line, rate, std::move(around));
    return asking.Run();
}

// The move's ACK leaves right behind the reply, after whatever output queued
// in the moment between them (AwaitMoveAck); the answer to `ahead` comes
// before both.
std::optional<Link> AskAndMove(Line& line, std::int32_t rate, int receiverPort, std::int32_t to, const QByteArray& settings,
                               const UbxBuffer& ahead, Answer* aheadAnswer, bool resend)
{
    const UbxBuffer move = PortAt(receiverPort, to, settings);
    Around around;
    around.ahead = ahead;
    around.behind = {MoveRider(move)};
    around.movesTo = to;
    around.resend = resend;
    Asking asking(line, rate, std::move(around));
    const auto link = asking.Run();
    if (const auto sent = asking.Ahead()) {
        asking.Session().GiveUp(*sent);
        if (aheadAnswer)
            *aheadAnswer = asking.Session().AnswerOf(*sent);
    }
    if (!link || link->receiverPort != receiverPort)
        return std::nullopt;
    if (FoundMoved(line, rate))
        return link;
    return FollowMove(line, asking.Session(), asking.Behind(0), *link, to, qsizetype(move.size()));
}

// The port's poll is answered before its move is taken, so its reply holds
// the settings it ran with; whichever port the PC is on, the moved one is
// left at the new rate (a proof ends with a load of the saved configuration).
std::optional<Link> AskReadAndMove(Line& line, std::int32_t rate, MoveOn on)
{
    const UbxBuffer poll = Payloads::CfgPrtPoll(on.receiverPort);
    const UbxBuffer move = PortAt(on.receiverPort, on.rate, {});
    const Exchange::Judge portReply = [poll](const Frame& f) {
        return Exchange::AnswerTo(f, poll) == Answer::Reply && f.payload.size() == qsizetype(CfgPrtField::kPayloadLength)
                   ? Answer::Reply
                   : Answer::None;
    };
    Around around;
    around.behind = {{poll, Wait::PollReply, portReply}, MoveRider(move)};
    around.movesTo = on.rate;
    Asking asking(line, rate, std::move(around));
    auto link = asking.Run();
    if (!link)
        return std::nullopt;
    Exchange::Session& session = asking.Session();
    const Id portPoll = asking.Behind(0);
    const auto portRead = [&] {
        return session.AnswerOf(portPoll) == Answer::Reply ? session.FrameOf(portPoll)->payload : QByteArray();
    };
    link->movedPort = on.receiverPort;
    if (FoundMoved(line, rate)) {
        // Its port read before the move, where it came, is how it was found.
        if (!portRead().isEmpty()) {
            link->rate = rate;
            link->settings = portRead();
        }
        link->movedPortSettings = link->settings;
        return link;
    }
    // The port's reply follows the link's; the move's ACK follows both.
    if (portRead().isEmpty() && link->receiverPort != on.receiverPort)
        session.Await({portPoll}, Exchange::Within(LineTime(rate, kPortReplyBytes + kStreamedMessageBytes) + Margin()));
    session.GiveUp(portPoll);
    link->movedPortSettings = link->receiverPort == on.receiverPort ? link->settings : portRead();
    return AfterMoveOn(line, session, asking.Behind(1), *link, on, qsizetype(move.size()));
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
        line.Listen(Clock::Now() + Timing::InSeconds(Timing::kSilenceListen));
        if (line.HeardTraffic())
            return {PollLink(line, Exchange::Within(LineTime(line.Rate(), kPollBytes) + SearchAllowance())), Heard::Messages};
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
    if (const auto told = PollLink(line, Exchange::Within(LineTime(link.rate, kPollBytes) + Allowance())))
        link.receiverPort = told->receiverPort;
    return true;
}

} // namespace FastLink
