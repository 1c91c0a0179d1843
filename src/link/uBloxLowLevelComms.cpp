#include "link/uBloxLowLevelComms.h"

#include "link/CommsFrm.h"
#include "link/ReplyScan.h"
#include "link/UbxProtocol.h"
#include "support/Cancel.h"
#include "support/Clock.h"
#include "support/EventPump.h"
#include "support/Timing.h"

#include <algorithm>

namespace uBloxLowLevelComms {
namespace {

LinkObserver& Observer()
{
    static LinkObserver observer;
    return observer;
}

void ReportWait(LinkObserver::Wait wait, std::uint8_t msgClass, std::uint8_t msgId, Answer answer, double start)
{
    if (Observer().waitEnded)
        Observer().waitEnded(wait, msgClass, msgId, answer, Clock::Now() - start, 0);
}

// The pacing every reply wait shares: up to a deadline, between two reads it
// blocks briefly on the port instead of spinning, and now and then lets the
// windows repaint; the operator's clicks and keys stay queued until the wait
// is over.
class ReplyPacer {
public:
    ReplyPacer(SerialControl& port, double deadline) : port_(port), deadline_(deadline), lastRepaint_(Clock::Now()) {}

    bool Expired(double now) const { return now >= deadline_; }
    // Waits for input for at most one read slice, never past the deadline.
    void Pause(double now)
    {
        port_.WaitForInput(std::min(Timing::InSeconds(Timing::kReplyReadSlice), deadline_ - now));
        if (now - lastRepaint_ >= Timing::InSeconds(Timing::kRepaintInterval)) {
            EventPump::PumpNonInputEvents();
            lastRepaint_ = now;
        }
    }

private:
    SerialControl& port_;
    double deadline_;
    double lastRepaint_;
};

// Gathers what arrives into `received` until `pattern` is found and the text
// holds `earlyStop` bytes from it, or the time-out has passed. Returns the
// pattern's first offset, or -1. The time is checked before each read, so
// bytes arriving at the very end of the time-out are not taken; a vanished
// port is waited out like silence.
qsizetype WaitForPattern(SerialControl& port, const QByteArray& pattern, qsizetype earlyStop, QByteArray& received)
{
    ReplyPacer pacer(port, Clock::Now() + Timing::InSeconds(Timing::kReplyTimeout));
    qsizetype position = -1;
    for (;;) {
        if (ReplyScan::EarlyStopReached(received, position, earlyStop) || Cancel::Requested())
            break;
        const double now = Clock::Now();
        if (pacer.Expired(now))
            break;
        received += port.Input();
        position = ReplyScan::FindFirst(received, pattern);
        if (ReplyScan::EarlyStopReached(received, position, earlyStop))
            continue;
        pacer.Pause(now);
    }
    return position;
}

} // namespace

void SendUbxMessage(UbxBuffer& buffer) { SendUbxMessage(CommsFrm::SerialPort(), buffer); }

void SendUbxMessage(SerialControl& port, UbxBuffer& buffer)
{
    if (buffer.size() < 2)
        return;
    buffer[0] = UbxProtocol::kSync1;
    buffer[1] = UbxProtocol::kSync2;
    for (const std::uint8_t byte : buffer)
        port.SetOutput(QByteArray(1, static_cast<char>(byte)));
    if (Observer().frameSent)
        Observer().frameSent(buffer);
}

void SendFrame(SerialControl& port, UbxBuffer frame)
{
    frame[0] = UbxProtocol::kSync1;
    frame[1] = UbxProtocol::kSync2;
    port.SetOutput(QByteArray(reinterpret_cast<const char*>(frame.data()), qsizetype(frame.size())));
    if (Observer().frameSent)
        Observer().frameSent(frame);
}

void FlushSerialInput() { FlushSerialInput(CommsFrm::SerialPort()); }

void FlushSerialInput(SerialControl& port)
{
    port.SetInputMode(0);
    port.Input();
}

bool WaitForUbxAck(std::uint8_t msgClass, std::uint8_t msgId)
{
    return WaitForUbxAck(CommsFrm::SerialPort(), msgClass, msgId);
}

bool WaitForUbxAck(SerialControl& port, std::uint8_t msgClass, std::uint8_t msgId)
{
    QByteArray received;
    const double start = Clock::Now();
    const bool found =
        WaitForPattern(port, ReplyScan::AckPattern(msgClass, msgId), ReplyScan::kAckEarlyStop, received) >= 0;
    // A refusal does not end the wait, but the record tells it from silence.
    const bool refused = !found && ReplyScan::FindFirst(received, ReplyScan::NakPattern(msgClass, msgId)) >= 0;
    ReportWait(LinkObserver::Wait::Ack, msgClass, msgId, found ? Answer::Ack : refused ? Answer::Nak : Answer::None,
               start);
    return found;
}

void ReadUbxPollReply(std::vector<std::uint8_t>& payload, std::uint8_t msgClass, std::uint8_t msgId)
{
    ReadUbxPollReply(CommsFrm::SerialPort(), payload, msgClass, msgId);
}

void ReadUbxPollReply(SerialControl& port, std::vector<std::uint8_t>& payload, std::uint8_t msgClass, std::uint8_t msgId)
{
    QByteArray received;
    const double start = Clock::Now();
    const qsizetype position =
        WaitForPattern(port, ReplyScan::ReplyHeader(msgClass, msgId), ReplyScan::kPollEarlyStop, received);
    ReportWait(LinkObserver::Wait::PollReply, msgClass, msgId, position >= 0 ? Answer::Reply : Answer::None, start);
    ReplyScan::ExtractPollPayload(received, position, payload);
}

std::optional<UbxStream::Frame> AwaitFrame(SerialControl& port, UbxStream::Reader& reader, double deadline,
                                           const std::function<bool(const UbxStream::Frame&)>& accept,
                                           const std::function<void(const QByteArray&)>& heard)
{
    ReplyPacer pacer(port, deadline);
    for (;;) {
        const QByteArray bytes = port.Input();
        reader.Append(bytes);
        if (heard)
            heard(bytes);
        UbxStream::Frame frame;
        while (reader.Next(frame))
            if (accept(frame))
                return frame;
        const double now = Clock::Now();
        if (pacer.Expired(now) || port.PortGone())
            return std::nullopt;
        pacer.Pause(now);
    }
}

void SetLinkObserver(LinkObserver observer) { Observer() = std::move(observer); }

void NoteWaitEnded(LinkObserver::Wait wait, std::uint8_t msgClass, std::uint8_t msgId, Answer answer, double seconds,
                   int framesBack)
{
    if (Observer().waitEnded)
        Observer().waitEnded(wait, msgClass, msgId, answer, seconds, framesBack);
}

bool SendAcknowledged(UbxBuffer frame) { return SendAcknowledged(CommsFrm::SerialPort(), std::move(frame)); }

bool SendAcknowledged(SerialControl& port, UbxBuffer frame)
{
    FlushSerialInput(port);
    SendUbxMessage(port, frame);
    return WaitForUbxAck(port, frame[UbxProtocol::kClassIndex], frame[UbxProtocol::kIdIndex]);
}

std::vector<std::uint8_t> Poll(UbxBuffer request) { return Poll(CommsFrm::SerialPort(), std::move(request)); }

std::vector<std::uint8_t> Poll(SerialControl& port, UbxBuffer request)
{
    FlushSerialInput(port);
    SendUbxMessage(port, request);
    std::vector<std::uint8_t> payload;
    ReadUbxPollReply(port, payload, request[UbxProtocol::kClassIndex], request[UbxProtocol::kIdIndex]);
    return payload;
}

} // namespace uBloxLowLevelComms
