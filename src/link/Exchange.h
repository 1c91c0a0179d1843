#pragma once

#include "link/UbxFrame.h"
#include "link/UbxStream.h"
#include "link/uBloxLowLevelComms.h"

#include <QByteArray>

#include <cstdint>
#include <cstddef>
#include <functional>
#include <vector>

class SerialControl;

// One command and one poll over the port they are given: the input flushed,
// the whole frame sent in one write, the answer of the frame's class and id
// read as whole frames with good checksums (UbxStream), within a pacing the
// caller gives, and the link observer told once how the wait ended.
//
// The windows' own waits (uBloxLowLevelComms::SendAcknowledged and Poll)
// are not these: they scan raw bytes for a pattern (see docs/ARCHITECTURE.md,
// "The exchanges").
namespace Exchange {

using uBloxLowLevelComms::Answer;
using uBloxLowLevelComms::UbxBuffer;

// How long an answer is awaited, counted from the moment the frame was sent.
struct Pacing {
    double allowance = 0; // seconds
    // Once the allowance has passed with nothing taken: how many seconds more
    // the answer gets, given the seconds waited so far; 0, or none set, ends
    // the wait. A caller that watches the line extends while the receiver's
    // own output fills it, since the answer queues behind that output.
    std::function<double(double waited)> extension;
};

// What a caller that keeps its own account of the line hears of an exchange;
// each callback may be empty.
struct Watch {
    std::function<void()> flushed;                     // the input was dropped before the send
    std::function<void(const QByteArray&)> heard;      // every read's raw bytes
    std::function<void(const UbxStream::Frame&)> read; // every whole frame read, taken or not
};

// Sends `frame` on `port` and waits for its ACK-ACK or ACK-NAK: Ack, Nak or None.
Answer Command(SerialControl& port, UbxBuffer frame, const Pacing& pacing, const Watch& watch = {});

// A poll's outcome: the payload of its reply (answer Reply), a refusal (Nak),
// or nothing within the pacing (None).
struct Reply {
    Answer answer = Answer::None;
    QByteArray payload;
};
// Sends `request` on `port`: its reply is the first frame of its class and id
// whose payload starts with the request's own payload (a CFG-MSG poll names
// its message, a CFG-PRT poll its port); an ACK-NAK of its class and id ends
// the wait as well.
Reply Poll(SerialControl& port, UbxBuffer request, const Pacing& pacing, const Watch& watch = {});

// Sends `requests` as Poll does, up to `window` of them awaiting their reply
// at once: a receiver answers in the order it was asked, so one wait behind
// its output serves several polls. A reply (or ACK-NAK) ends the wait of the
// earliest poll it answers; a poll still waiting when a later one is answered
// lost its reply (a transmit buffer that was full) and is asked once more on
// its own at the end, never because its answer was late. An ACK-NAK names
// only a class and id, so where `requests` holds several polls of that kind
// it refuses none of them: those still waiting are asked again on their own,
// and only a refusal there counts. `pacing` holds for each poll from its own
// send. The replies in the order of `requests`.
std::vector<Reply> Polls(SerialControl& port, const std::vector<UbxBuffer>& requests, const Pacing& pacing,
                         const Watch& watch = {}, std::size_t window = 8);

// How `frame` answers the poll `request`: its reply (Reply: of its class and
// id, starting with the request's own payload), its refusal (Nak), or not at
// all (None).
Answer AnswerTo(const UbxStream::Frame& frame, const UbxBuffer& request);

// The ACK-ACK (IsAck) or ACK-NAK (IsNak) of the message `msgClass`/`msgId`.
bool IsAck(const UbxStream::Frame& frame, std::uint8_t msgClass, std::uint8_t msgId);
bool IsNak(const UbxStream::Frame& frame, std::uint8_t msgClass, std::uint8_t msgId);

} // namespace Exchange
