#include "link/uBloxLowLevelComms.h"

#include "link/CommsFrm.h"
#include "link/ReplyScan.h"
#include "link/UbxProtocol.h"
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
        Observer().waitEnded(wait, msgClass, msgId, answer, Clock::Now() - start);
}

// Gathers what arrives into `received` until `pattern` is found and the text
// holds `earlyStop` bytes from it, or the time-out has passed. Returns the
// pattern's first offset, or -1. Between reads it blocks briefly on the port
// instead of spinning, and now and then lets the windows repaint; the
// operator's clicks and keys stay queued until the wait is over.
qsizetype WaitForPattern(const QByteArray& pattern, qsizetype earlyStop, QByteArray& received)
{
    SerialControl& port = CommsFrm::SerialPort();
    const double start = Clock::Now();
    const double end = start + Timing::InSeconds(Timing::kReplyTimeout);
    double lastRepaint = start;
    qsizetype position = -1;
    for (;;) {
        if (ReplyScan::EarlyStopReached(received, position, earlyStop))
            break;
        const double now = Clock::Now();
        if (now >= end)
            break;
        received += port.Input();
        position = ReplyScan::FindFirst(received, pattern);
        if (ReplyScan::EarlyStopReached(received, position, earlyStop))
            continue;
        port.WaitForInput(std::min(Timing::InSeconds(Timing::kReplyReadSlice), end - now));
        if (now - lastRepaint >= Timing::InSeconds(Timing::kRepaintInterval)) {
            EventPump::PumpNonInputEvents();
            lastRepaint = now;
        }
    }
    return position;
}

} // namespace

void SendUbxMessage(UbxBuffer& buffer)
{
    if (buffer.size() < 2)
        return;
    buffer[0] = UbxProtocol::kSync1;
    buffer[1] = UbxProtocol::kSync2;
    SerialControl& port = CommsFrm::SerialPort();
    for (const std::uint8_t byte : buffer)
        port.SetOutput(QByteArray(1, static_cast<char>(byte)));
    if (Observer().frameSent)
        Observer().frameSent(buffer);
}

void FlushSerialInput()
{
    SerialControl& port = CommsFrm::SerialPort();
    port.SetInputMode(0);
    port.Input();
}

bool WaitForUbxAck(std::uint8_t msgClass, std::uint8_t msgId)
{
    QByteArray received;
    const double start = Clock::Now();
    const bool found =
        WaitForPattern(ReplyScan::AckPattern(msgClass, msgId), ReplyScan::kAckEarlyStop, received) >= 0;
    // A refusal does not end the wait, but the record tells it from silence.
    const bool refused = !found && ReplyScan::FindFirst(received, ReplyScan::NakPattern(msgClass, msgId)) >= 0;
    ReportWait(LinkObserver::Wait::Ack, msgClass, msgId, found ? Answer::Ack : refused ? Answer::Nak : Answer::None,
               start);
    return found;
}

void ReadUbxPollReply(std::vector<std::uint8_t>& payload, std::uint8_t msgClass, std::uint8_t msgId)
{
    QByteArray received;
    const double start = Clock::Now();
    const qsizetype position =
        WaitForPattern(ReplyScan::ReplyHeader(msgClass, msgId), ReplyScan::kPollEarlyStop, received);
    ReportWait(LinkObserver::Wait::PollReply, msgClass, msgId, position >= 0 ? Answer::Reply : Answer::None, start);
    ReplyScan::ExtractPollPayload(received, position, payload);
}

void SetLinkObserver(LinkObserver observer) { Observer() = std::move(observer); }

void NoteWaitEnded(LinkObserver::Wait wait, std::uint8_t msgClass, std::uint8_t msgId, Answer answer, double seconds)
{
    if (Observer().waitEnded)
        Observer().waitEnded(wait, msgClass, msgId, answer, seconds);
}

bool SendAcknowledged(UbxBuffer frame)
{
    FlushSerialInput();
    SendUbxMessage(frame);
    return WaitForUbxAck(frame[UbxProtocol::kClassIndex], frame[UbxProtocol::kIdIndex]);
}

std::vector<std::uint8_t> Poll(UbxBuffer request)
{
    FlushSerialInput();
    SendUbxMessage(request);
    std::vector<std::uint8_t> payload;
    ReadUbxPollReply(payload, request[UbxProtocol::kClassIndex], request[UbxProtocol::kIdIndex]);
    return payload;
}

} // namespace uBloxLowLevelComms
