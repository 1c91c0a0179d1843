#include "link/Exchange.h"

#include "link/SerialControl.h"
#include "link/UbxProtocol.h"
#include "support/Clock.h"

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

} // namespace

bool IsAck(const Frame& frame, std::uint8_t msgClass, std::uint8_t msgId)
{
    return IsAckPair(frame, kIdAckAck, msgClass, msgId);
}

bool IsNak(const Frame& frame, std::uint8_t msgClass, std::uint8_t msgId)
{
    return IsAckPair(frame, kIdAckNak, msgClass, msgId);
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
    const std::uint8_t msgClass = request[kClassIndex], msgId = request[kIdIndex];
    const QByteArray asked(reinterpret_cast<const char*>(request.data()) + kPayloadStart,
                           qsizetype(request.size() - kFrameOverhead));
    const auto judge = [](const std::optional<Frame>& f) {
        return !f ? Answer::None : f->msgClass == kClassAck ? Answer::Nak : Answer::Reply;
    };
    const auto reply = Run(
        port, std::move(request), pacing, watch, Wait::PollReply,
        [&](const Frame& f) {
            return (f.msgClass == msgClass && f.msgId == msgId && f.payload.startsWith(asked)) || IsNak(f, msgClass, msgId);
        },
        judge);
    const Answer answer = judge(reply);
    return answer == Answer::Reply ? Reply{answer, reply->payload} : Reply{answer, {}};
}

} // namespace Exchange
