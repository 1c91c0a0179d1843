#include "link/Exchange.h"

#include "link/SerialControl.h"
#include "link/UbxProtocol.h"
#include "support/Clock.h"

#include <algorithm>
#include <deque>
#include <optional>

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

// Flushes, sends `frame` and awaits the first frame `accept` takes, within
// the allowance and then whatever extension the pacing grants; the observer
// hears how the wait ended once, with the seconds since the send.
template <typename Judge>
std::optional<Frame> Run(SerialControl& port, UbxBuffer frame, const Pacing& pacing, const Watch& watch, Wait wait,
                      const std::function<bool(const Frame&)>& accept, Judge judge)
{
    const std::uint8_t msgClass = frame[kClassIndex], msgId = frame[kIdIndex];
    port.Input();
    if (watch.flushed)
        watch.flushed();
    uBloxLowLevelComms::SendFrame(port, std::move(frame));
    const double sent = Clock::Now();
    const double deadline = sent + pacing.allowance;
    UbxStream::Reader reader;
    const auto offer = [&](const Frame& f) {
        if (watch.read)
            watch.read(f);
        return accept(f);
    };
    auto answer = uBloxLowLevelComms::AwaitFrame(port, reader, deadline, offer, watch.heard);
    if (!answer && pacing.extension)
        if (const double more = pacing.extension(Clock::Now() - sent); more > 0)
            answer = uBloxLowLevelComms::AwaitFrame(port, reader, deadline + more, offer, watch.heard);
    uBloxLowLevelComms::NoteWaitEnded(wait, msgClass, msgId, judge(answer), Clock::Now() - sent);
    return answer;
}

// True when `requests` holds more than one poll of `msgClass`/`msgId`.
bool Several(const std::vector<UbxBuffer>& requests, std::uint8_t msgClass, std::uint8_t msgId)
{
    return std::count_if(requests.begin(), requests.end(), [&](const UbxBuffer& r) {
               return r[kClassIndex] == msgClass && r[kIdIndex] == msgId;
           }) > 1;
}

} // namespace

bool IsAck(const Frame& frame, std::uint8_t msgClass, std::uint8_t msgId)
{
    return IsAckPair(frame, kIdAckAck, msgClass, msgId);
}

bool IsNak(const Frame& frame, std::uint8_t msgClass, std::uint8_t msgId)
{
    return IsAckPair(frame, kIdAckNak, msgClass, msgId);
}

Answer AnswerTo(const Frame& f, const UbxBuffer& request)
{
    const std::uint8_t msgClass = request[kClassIndex], msgId = request[kIdIndex];
    if (f.msgClass == msgClass && f.msgId == msgId && f.payload.startsWith(Asked(request)))
        return Answer::Reply;
    return IsAckPair(f, kIdAckNak, msgClass, msgId) ? Answer::Nak : Answer::None;
}

Answer Command(SerialControl& port, UbxBuffer frame, const Pacing& pacing, const Watch& watch)
{
    const std::uint8_t msgClass = frame[kClassIndex], msgId = frame[kIdIndex];
    const auto judge = [](const std::optional<Frame>& f) {
        return !f ? Answer::None : f->msgId == kIdAckAck ? Answer::Ack : Answer::Nak;
    };
    const auto answer = Run(
        port, std::move(frame), pacing, watch, Wait::Ack,
        [&](const Frame& f) { return IsNak(f, msgClass, msgId) || IsAck(f, msgClass, msgId); }, judge);
    return judge(answer);
}

Reply Poll(SerialControl& port, UbxBuffer request, const Pacing& pacing, const Watch& watch)
{
    const UbxBuffer asked = request;
    const auto judge = [](const std::optional<Frame>& f) {
        return !f ? Answer::None : f->msgClass == kClassAck ? Answer::Nak : Answer::Reply;
    };
    const auto reply = Run(
        port, std::move(request), pacing, watch, Wait::PollReply,
        [&](const Frame& f) { return AnswerTo(f, asked) != Answer::None; }, judge);
    const Answer answer = judge(reply);
    return answer == Answer::Reply ? Reply{answer, reply->payload} : Reply{answer, {}};
}

std::vector<Reply> Polls(SerialControl& port, const std::vector<UbxBuffer>& requests, const Pacing& pacing,
                         const Watch& watch, std::size_t window)
{
    struct Waiting {
        std::size_t index; // in `requests`
        int sentAs;        // how many frames went out before it
        double sent;
    };
    std::vector<Reply> replies(requests.size());
    std::vector<std::size_t> lost;
    std::deque<Waiting> waiting;
    std::size_t next = 0;
    int sentCount = 0;
    const auto note = [&](const Waiting& w, Answer answer) {
        const UbxBuffer& r = requests[w.index];
        uBloxLowLevelComms::NoteWaitEnded(Wait::PollReply, r[kClassIndex], r[kIdIndex], answer, Clock::Now() - w.sent,
                                          sentCount - 1 - w.sentAs);
    };
    port.Input();
    if (watch.flushed)
        watch.flushed();
    UbxStream::Reader reader;
    while (next < requests.size() || !waiting.empty()) {
        for (; next < requests.size() && waiting.size() < std::max<std::size_t>(1, window); ++next, ++sentCount) {
            uBloxLowLevelComms::SendFrame(port, requests[next]);
            waiting.push_back({next, sentCount, Clock::Now()});
        }
        std::size_t answered = 0;
        Answer answer = Answer::None;
        const auto offer = [&](const Frame& f) {
            if (watch.read)
                watch.read(f);
            for (std::size_t k = 0; k < waiting.size() && answer == Answer::None; ++k)
                if ((answer = AnswerTo(f, requests[waiting[k].index])) != Answer::None) {
                    answered = k;
                    if (answer == Answer::Reply)
                        replies[waiting[k].index].payload = f.payload;
                }
            return answer != Answer::None;
        };
        const Waiting head = waiting.front();
        const double deadline = head.sent + pacing.allowance;
        bool heard = uBloxLowLevelComms::AwaitFrame(port, reader, deadline, offer, watch.heard).has_value();
        if (!heard && pacing.extension && !port.PortGone())
            if (const double more = pacing.extension(Clock::Now() - head.sent); more > 0)
                heard = uBloxLowLevelComms::AwaitFrame(port, reader, deadline + more, offer, watch.heard).has_value();
        if (!heard) { // the earliest poll got nothing within its time: late is not lost
            note(head, Answer::None);
            waiting.pop_front();
            if (port.PortGone())
                return replies;
            continue;
        }
        const auto loseFront = [&] {
            note(waiting.front(), Answer::None);
            lost.push_back(waiting.front().index);
            waiting.pop_front();
        };
        // An ACK-NAK names a class and id only: where the batch holds several
        // polls of that kind, it may be any one's (a late one's, too), so it
        // says nothing of the polls before them, and each of that kind still
        // waiting is asked again on its own, where a refusal is its own.
        const UbxBuffer& answeredPoll = requests[waiting[answered].index];
        if (answer == Answer::Nak && Several(requests, answeredPoll[kClassIndex], answeredPoll[kIdIndex])) {
            const std::uint8_t msgClass = answeredPoll[kClassIndex], msgId = answeredPoll[kIdIndex];
            std::erase_if(waiting, [&](const Waiting& w) {
                const UbxBuffer& r = requests[w.index];
                if (r[kClassIndex] != msgClass || r[kIdIndex] != msgId)
                    return false;
                note(w, Answer::None);
                lost.push_back(w.index);
                return true;
            });
            continue;
        }
        for (std::size_t k = 0; k < answered; ++k)
            loseFront();
        replies[waiting.front().index].answer = answer;
        note(waiting.front(), answer);
        waiting.pop_front();
    }
    for (const std::size_t i : lost)
        if (!port.PortGone())
            replies[i] = Poll(port, requests[i], pacing, watch);
    return replies;
}

} // namespace Exchange
