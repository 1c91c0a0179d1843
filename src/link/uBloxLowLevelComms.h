#pragma once

#include "link/UbxFrame.h"
#include "link/UbxStream.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

class SerialControl;

// Sending a UBX frame and waiting for the receiver's answer. Each routine of
// the windows' exchanges takes the port it works on; the form without one
// works on the program's one serial control (CommsFrm::SerialPort()).
namespace uBloxLowLevelComms {

// Writes the sync bytes B5 62 into indexes 0 and 1 and sends the whole buffer,
// one byte per write, every value unchanged. No effect on a closed port.
void SendUbxMessage(SerialControl& port, UbxBuffer& buffer);
void SendUbxMessage(UbxBuffer& buffer);
// Sends a whole frame (checksum in place) on `port` in one write, sync bytes
// written, and shows it to the link's observer.
void SendFrame(SerialControl& port, UbxBuffer frame);
// Reads away everything waiting in the receive buffer, so that only bytes
// arriving after the next request can be taken for its answer.
void FlushSerialInput(SerialControl& port);
void FlushSerialInput();

// Waits up to 5 seconds for the ACK-ACK of the command `msgClass`/`msgId`.
// A NAK or an acknowledgement of another message does not end the wait early.
bool WaitForUbxAck(SerialControl& port, std::uint8_t msgClass, std::uint8_t msgId);
bool WaitForUbxAck(std::uint8_t msgClass, std::uint8_t msgId);
// Waits up to 5 seconds for a message `msgClass`/`msgId` and replaces `payload`
// by its payload: one byte 0 when none came; left as passed when its length
// never arrived or is 0; bytes that never arrived are 0. No checksum check.
void ReadUbxPollReply(SerialControl& port, std::vector<std::uint8_t>& payload, std::uint8_t msgClass, std::uint8_t msgId);
void ReadUbxPollReply(std::vector<std::uint8_t>& payload, std::uint8_t msgClass, std::uint8_t msgId);

// What ended a reply wait: the acknowledgement, the refusal (ACK-NAK) of the
// frame awaited, the poll reply, or nothing before the time-out.
enum class Answer { Ack, Nak, Reply, None };

// Watches the link frame by frame, for a record of what a run sent and how
// fast each answer came: every frame handed to the port, and the end of every
// reply wait for a frame sent (acknowledgement or poll reply) with what ended
// it and how long the whole wait took. Each callback may be empty.
struct LinkObserver {
    std::function<void(const UbxBuffer& frame)> frameSent;
    enum class Wait { Ack, PollReply };
    // `framesBack`: how many frames were sent after the one answered (0: the last).
    std::function<void(Wait wait, std::uint8_t msgClass, std::uint8_t msgId, Answer answer, double seconds, int framesBack)>
        waitEnded;
};
// Installs `observer` in place of the previous one; an empty one stops watching.
void SetLinkObserver(LinkObserver observer);
// Tells the observer about a reply wait made outside this module's own waits
// (the fast runner reads whole frames with its own reader).
void NoteWaitEnded(LinkObserver::Wait wait, std::uint8_t msgClass, std::uint8_t msgId, Answer answer, double seconds,
                   int framesBack = 0);

// Reads whole frames from `port` through `reader` until `accept` takes one or
// `deadline` passes on the program's clock, and at once when the port is
// gone. Every frame read is offered to `accept` in turn; `heard`, when set,
// sees every read's raw bytes. Paced as the other reply waits: blocks on the
// port between reads, lets the windows repaint now and then, and keeps the
// operator's input queued. Reporting the wait is the caller's, who knows what
// was asked.
std::optional<UbxStream::Frame> AwaitFrame(SerialControl& port, UbxStream::Reader& reader, double deadline,
                                           const std::function<bool(const UbxStream::Frame&)>& accept,
                                           const std::function<void(const QByteArray&)>& heard = {});

// The two exchanges every receiver operation is made of. Both flush the input
// first, so that nothing received before the request counts as its answer.
// A command: sends `frame` and waits for the ACK-ACK of its own class and id.
bool SendAcknowledged(SerialControl& port, UbxBuffer frame);
bool SendAcknowledged(UbxBuffer frame);
// A poll: sends `request` and returns the payload of the reply of the
// request's own class and id, as ReadUbxPollReply leaves it starting from an
// empty payload (one byte 0 when no reply came).
std::vector<std::uint8_t> Poll(SerialControl& port, UbxBuffer request);
std::vector<std::uint8_t> Poll(UbxBuffer request);

} // namespace uBloxLowLevelComms
