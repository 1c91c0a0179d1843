#include "link/Exchange.h"

#include "link/SerialControl.h"
#include "link/UbxProtocol.h"
#include "support/Clock.h"
#include "support/Timing.h"

#include <algorithm>
#include <deque>

namespace Exchange {
namespace {

using UbxStream::Frame;
using Wait = uBloxLowLevelComms::LinkObserver::Wait;
using namespace UbxProtocol;

bool IsAckPair(const Frame& f, std::uint8_t ackId, std::uint8_t msgClass, std::uint8_t msgId)
{
    return f.msgClass == kClassAck && f.msgId == ackId && f.payload.size() == kAckPayloadLength
           && static_cast<std::uint8_t>(f.payload[0]) == msgClass && static_cast<std::uint8_t>(f.payload[1]) == msgId;
}

// The payload a poll asks with: its reply starts with it.
QByteArray Asked(const UbxBuffer& request)
{
    return QByteArray(reinterpret_cast<const char*>(request.data()) + kPayloadStart, qsizetype(request.size() - kFrameOverhead));
}

// True when `requests` holds more than one poll of `msgClass`/`msgId`.
bool Several(const std::vector<UbxBuffer>& requests, std::uint8_t msgClass, std::uint8_t msgId)
{
    return std::count_if(requests.begin(), requests.end(), [&](const UbxBuffer& r) {
               return r[kClassIndex] == msgClass && r[kIdIndex] == msgId;
           }) > 1;
}

// Several polls in one exchange (Polls): up to a window of them awaiting
// their answers at once, each answer ending the wait of the poll it answers.
class Batch {
public:
    Batch(SerialControl& port, const std::vector<UbxBuffer>& requests, const Pacing& pacing, const Watch& watch,
          std::size_t window)
        : port_(port), requests_(requests), pacing_(pacing), watch_(watch), window_(std::max<std::size_t>(1, window)),
          replies_(requests.size()), reader_(watch.reader ? *watch.reader : ownReader_)
    {
    }

    std::vector<Reply> Run()
    {
        port_.Input();
        reader_.Clear();
        if (watch_.flushed)
            watch_.flushed();
        while (next_ < requests_.size() || !waiting_.empty()) {
            SendUpToWindow();
            if (!AwaitAnswer()) { // the earliest poll got nothing within its time: late is not lost
                Note(waiting_.front(), Answer::None);
                waiting_.pop_front();
                if (port_.PortGone())
                    return replies_;
            }
        }
        for (const std::size_t i : lost_)
            if (!port_.PortGone())
                replies_[i] = Poll(port_, requests_[i], pacing_, watch_);
        return replies_;
    }

private:
    struct Waiting {
        std::size_t index; // in `requests_`
        int sentAs;        // how many frames went out before it
        double sent;
    };

    void SendUpToWindow()
    {
        for (; next_ < requests_.size() && waiting_.size() < window_; ++next_, ++sentCount_) {
            uBloxLowLevelComms::SendFrame(port_, requests_[next_]);
            waiting_.push_back({next_, sentCount_, Clock::Now()});
        }
    }

    void Note(const Waiting& w, Answer answer)
    {
        const UbxBuffer& r = requests_[w.index];
        uBloxLowLevelComms::NoteWaitEnded(Wait::PollReply, r[kClassIndex], r[kIdIndex], answer, Clock::Now() - w.sent,
                                          sentCount_ - 1 - w.sentAs);
    }

    // A waiting poll whose answer will not come: asked again on its own at the end.
    void Lose(const Waiting& w)
    {
        Note(w, Answer::None);
        lost_.push_back(w.index);
    }

    // Waits for the next answer to a waiting poll, within the earliest one's
    // pacing; false when none came.
    bool AwaitAnswer()
    {
        std::size_t answered = 0;
        Answer answer = Answer::None;
        const auto offer = [&](const Frame& f) {
            if (watch_.read)
                watch_.read(f);
            for (std::size_t k = 0; k < waiting_.size() && answer == Answer::None; ++k)
                if ((answer = AnswerTo(f, requests_[waiting_[k].index])) != Answer::None) {
                    answered = k;
                    if (answer == Answer::Reply)
                        replies_[waiting_[k].index].payload = f.payload;
                }
            return answer != Answer::None;
        };
        const double sent = waiting_.front().sent;
        const double deadline = sent + pacing_.allowance;
        bool heard = uBloxLowLevelComms::AwaitFrame(port_, reader_, deadline, offer, watch_.heard).has_value();
        if (!heard && pacing_.extension && !port_.PortGone())
            if (const auto until = pacing_.extension(sent, 0))
                heard = uBloxLowLevelComms::AwaitFrame(port_, reader_, *until, offer, watch_.heard).has_value();
        if (heard)
            Take(answered, answer);
        return heard;
    }

    // The answer to the `answered`-th waiting poll. A receiver answers in the
    // order it was asked, so the polls before it lost theirs. An ACK-NAK
    // names a class and id only: where the batch holds several polls of that
    // kind it may be any one's (a late one's, too), so it says nothing of the
    // polls before them, and each of that kind still waiting is asked again
    // on its own, where a refusal is its own.
    void Take(std::size_t answered, Answer answer)
    {
        const UbxBuffer& poll = requests_[waiting_[answered].index];
        const std::uint8_t msgClass = poll[kClassIndex], msgId = poll[kIdIndex];
        if (answer == Answer::Nak && Several(requests_, msgClass, msgId)) {
            std::erase_if(waiting_, [&](const Waiting& w) {
                const UbxBuffer& r = requests_[w.index];
                const bool ofKind = r[kClassIndex] == msgClass && r[kIdIndex] == msgId;
                if (ofKind)
                    Lose(w);
                return ofKind;
            });
            return;
        }
        for (std::size_t k = 0; k < answered; ++k) {
            Lose(waiting_.front());
            waiting_.pop_front();
        }
        replies_[waiting_.front().index].answer = answer;
        Note(waiting_.front(), answer);
        waiting_.pop_front();
    }

    SerialControl& port_;
    const std::vector<UbxBuffer>& requests_;
    const Pacing& pacing_;
    const Watch& watch_;
    const std::size_t window_;
    std::vector<Reply> replies_;
    std::vector<std::size_t> lost_;
    std::deque<Waiting> waiting_;
    std::size_t next_ = 0;
    int sentCount_ = 0;
    UbxStream::Reader ownReader_;
    UbxStream::Reader& reader_;
};

} // namespace

bool IsAck(const Frame& frame, std::uint8_t msgClass, std::uint8_t msgId)
{
    return IsAckPair(frame, kIdAckAck, msgClass, msgId);
}

bool IsNak(const Frame& frame, std::uint8_t msgClass, std::uint8_t msgId)
{
    return IsAckPair(frame, kIdAckNak, msgClass, msgId);
}

// A VALGET reply carries version 1 where its poll carries 0, then the same
// layer and position, and the first item asked first (unless it asked a
// wildcard, which any first item answers).
bool AnswersValget(const Frame& f, const QByteArray& asked)
{
    constexpr qsizetype kHeader = 4, kKey = 4;
    if (asked.size() < kHeader + kKey || f.payload.size() < kHeader || f.payload.mid(1, 3) != asked.mid(1, 3))
        return false;
    const QByteArray first = asked.mid(kHeader, kKey);
    const bool wildcard = quint8(first[0]) == 0xFF && quint8(first[1]) == 0xFF;
    return wildcard || f.payload.size() == kHeader || f.payload.mid(kHeader, kKey) == first;
}

Answer AnswerTo(const Frame& f, const UbxBuffer& request)
{
    const std::uint8_t msgClass = request[kClassIndex], msgId = request[kIdIndex];
    const bool valget = msgClass == kClassCfg && msgId == kIdCfgValget;
    if (f.msgClass == msgClass && f.msgId == msgId
        && (valget ? AnswersValget(f, Asked(request)) : f.payload.startsWith(Asked(request))))
        return Answer::Reply;
    return IsAckPair(f, kIdAckNak, msgClass, msgId) ? Answer::Nak : Answer::None;
}

Answer AckOf(const Frame& f, const UbxBuffer& command)
{
    const std::uint8_t msgClass = command[kClassIndex], msgId = command[kIdIndex];
    return IsAck(f, msgClass, msgId) ? Answer::Ack : IsNak(f, msgClass, msgId) ? Answer::Nak : Answer::None;
}

Pacing Within(double seconds, std::function<std::optional<double>(double began, int asked)> extension)
{
    Pacing pacing;
    pacing.allowance = seconds;
    pacing.extension = std::move(extension);
    return pacing;
}

Session::Session(SerialControl& port, Watch watch, Start start)
    : port_(port), watch_(std::move(watch)), reader_(watch_.reader ? *watch_.reader : ownReader_)
{
    if (start == Start::Continued)
        return;
    port_.Input();
    reader_.Clear();
    if (watch_.flushed)
        watch_.flushed();
}

Session::~Session() { End(); }

void Session::End()
{
    for (Id id = 0; id < sent_.size(); ++id)
        GiveUp(id);
}

Session::Id Session::Send(UbxBuffer frame, Wait wait, Judge judge, std::optional<Id> ridingWith)
{
    if (!judge) {
        judge = [wait, asked = frame](const Frame& f) { return wait == Wait::Ack ? AckOf(f, asked) : AnswerTo(f, asked); };
    }
    Sent sent;
    sent.bytes = std::move(frame);
    sent.wait = wait;
    sent.judge = std::move(judge);
    sent.ridingWith = ridingWith;
    sent_.push_back(std::move(sent));
    Out(sent_.size() - 1);
    return sent_.size() - 1;
}

void Session::Out(Id id)
{
    Sent& s = sent_[id];
    uBloxLowLevelComms::SendFrame(port_, s.bytes);
    s.at = Clock::Now();
    s.sentAs = framesSent_++;
    ++s.sends;
    s.ended = false;
}

// The copy sent before got nothing; the frames riding with it go out again behind it.
void Session::Resend(Id id)
{
    End(id, Answer::None);
    Out(id);
    for (Id k = id + 1; k < sent_.size(); ++k)
        if (sent_[k].ridingWith == id) {
            GiveUp(k);
            Out(k);
        }
}

void Session::End(Id id, Answer answer)
{
    Sent& s = sent_[id];
    s.ended = true;
    uBloxLowLevelComms::NoteWaitEnded(s.wait, s.bytes[kClassIndex], s.bytes[kIdIndex], answer, Clock::Now() - s.at,
                                      framesSent_ - 1 - s.sentAs);
}

void Session::GiveUp(Id id)
{
    if (!sent_[id].ended)
        End(id, Answer::None);
}

bool Session::AwaitUntil(std::initializer_list<Id> ids, double deadline)
{
    bool done = false;
    const auto offer = [&](const Frame& f) {
        if (watch_.read)
            watch_.read(f);
        for (Id k = 0; k < sent_.size(); ++k) {
            if (sent_[k].ended)
                continue;
            const Answer answer = sent_[k].judge(f);
            if (answer == Answer::None)
                continue;
            sent_[k].answer = answer;
            sent_[k].answeredBy = f;
            End(k, answer);
            done = done || std::find(ids.begin(), ids.end(), k) != ids.end();
        }
        return done;
    };
    return uBloxLowLevelComms::AwaitFrame(port_, reader_, deadline, offer, watch_.heard).has_value();
}

bool Session::Await(std::initializer_list<Id> ids, const Pacing& pacing)
{
    if (std::any_of(ids.begin(), ids.end(), [&](Id id) { return sent_[id].answer != Answer::None; }))
        return true;
    const Id first = *ids.begin();
    const double start = Clock::Now();
    double until = start + pacing.allowance;
    const bool resending = pacing.firstGap > 0;
    if (resending && sent_[first].gap == 0) {
        sent_[first].gap = pacing.firstGap;
        sent_[first].nextResend = sent_[first].at + pacing.firstGap;
    }
    for (int asked = 0;; ++asked) {
        while (resending && sent_[first].nextResend < until) {
            if (AwaitUntil(ids, sent_[first].nextResend))
                return true;
            if (port_.PortGone() || (pacing.resendWhile && !pacing.resendWhile(sent_[first].sends)))
                return false;
            Resend(first);
            sent_[first].gap = std::min(2 * sent_[first].gap, std::max(pacing.longestGap, sent_[first].gap));
            sent_[first].nextResend = Clock::Now() + sent_[first].gap;
        }
        if (AwaitUntil(ids, until))
            return true;
        if (port_.PortGone() || !pacing.extension)
            return false;
        const auto more = pacing.extension(start, asked);
        if (!more)
            return false;
        until = *more;
    }
}

Answer Command(SerialControl& port, UbxBuffer frame, const Pacing& pacing, const Watch& watch)
{
    Session session(port, watch);
    const auto id = session.Send(std::move(frame), Wait::Ack);
    session.Await({id}, pacing);
    return session.AnswerOf(id);
}

Reply Poll(SerialControl& port, UbxBuffer request, const Pacing& pacing, const Watch& watch)
{
    Session session(port, watch);
    const auto id = session.Send(std::move(request), Wait::PollReply);
    session.Await({id}, pacing);
    const Answer answer = session.AnswerOf(id);
    return answer == Answer::Reply ? Reply{answer, session.FrameOf(id)->payload} : Reply{answer, {}};
}

Reply Poll(SerialControl& port, UbxBuffer request)
{
    return Poll(port, std::move(request), Within(Timing::InSeconds(Timing::kReplyTimeout)));
}

std::vector<Reply> Polls(SerialControl& port, const std::vector<UbxBuffer>& requests, const Pacing& pacing,
                         const Watch& watch, std::size_t window)
{
    return Batch(port, requests, pacing, watch, window).Run();
}

} // namespace Exchange
