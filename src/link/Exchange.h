#pragma once

#include "link/UbxFrame.h"
#include "link/UbxStream.h"
#include "link/uBloxLowLevelComms.h"

#include <QByteArray>

#include <cstdint>
#include <cstddef>
#include <functional>
#include <initializer_list>
#include <optional>
#include <vector>

class SerialControl;

// The one exchange over the port it is given: the input flushed (or the wait
// taken up where the last one left the line), whole frames sent in one write
// each, their answers read as whole frames with good checksums (UbxStream)
// within a pacing the caller gives, and the link observer told once how each
// frame's wait ended. A command, a poll, a batch of polls, a link move and
// its confirmation and the search's ask are all this exchange, each with a
// pacing of its own.
//
// The windows' own waits (uBloxLowLevelComms::SendAcknowledged and Poll)
// are not these: they scan raw bytes for a pattern (see docs/ARCHITECTURE.md,
// "The exchanges").
namespace Exchange {

using uBloxLowLevelComms::Answer;
using uBloxLowLevelComms::UbxBuffer;
using Wait = uBloxLowLevelComms::LinkObserver::Wait;

// How long an answer is awaited, counted from the moment the wait begins.
struct Pacing {
    double allowance = 0; // seconds
    // Asked each time the wait has run to its end with nothing taken, with the
    // moment the wait began and how often it was asked before: until when (on
    // the program's clock) it goes on; a time already past reads once more
    // what has come; nothing, or none set, ends the wait. A caller that
    // watches the line extends while the receiver's own output fills it,
    // since the answer queues behind that output.
    std::function<std::optional<double>(double began, int asked)> extension;
    // A request a unit may miss (one that reached it while it moved its link)
    // goes out again, with the frames riding with it, once `firstGap` has
    // passed unanswered, each gap twice the last up to `longestGap`, while
    // `resendWhile` (when set, given the sends so far) agrees; a `resendWhile`
    // that disagrees ends the wait. 0: sent once.
    double firstGap = 0;
    double longestGap = 0;
    std::function<bool(int sends)> resendWhile;
};

// The pacing of a wait that allows `seconds` and no more; with `extension`,
// as long as that grants.
Pacing Within(double seconds, std::function<std::optional<double>(double began, int asked)> extension = {});

// What a caller that keeps its own account of the line hears of an exchange;
// each callback may be empty.
struct Watch {
    std::function<void()> flushed;                     // the input was dropped before the send
    std::function<void(const QByteArray&)> heard;      // every read's raw bytes
    std::function<void(const UbxStream::Frame&)> read; // every whole frame read, taken or not
    // The caller's own reader, so that what it has of a frame under way runs
    // on from one exchange to the next; none: each exchange reads afresh.
    UbxStream::Reader* reader = nullptr;
};

// How a frame read answers one that was sent: Ack, Nak, Reply or None.
using Judge = std::function<Answer(const UbxStream::Frame&)>;

// One exchange of several frames: each frame sent awaits its answer from its
// send on, every frame read is offered to every frame still awaiting one,
// and the observer hears each frame's end once: when its answer is taken,
// when it is resent (that copy got nothing), or, still unanswered, when the
// caller gives up on it or the exchange ends.
class Session {
public:
    using Id = std::size_t;
    // Where the exchange starts: the input flushed, or the line's input and
    // the watch's reader taken up as the last exchange left them (a wait
    // across a link move, or the answer to a frame sent before).
    enum class Start { Flushed, Continued };

    Session(SerialControl& port, Watch watch = {}, Start start = Start::Flushed);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Sends `frame`, awaiting the answer `judge` takes (by default: a
    // command's ACK-ACK or ACK-NAK as `wait` is Ack, a poll's reply or
    // ACK-NAK as it is PollReply). A frame `ridingWith` another goes out
    // again whenever that one is resent.
    Id Send(UbxBuffer frame, Wait wait, Judge judge = {}, std::optional<Id> ridingWith = std::nullopt);
    // Waits until one of `ids` is answered, within `pacing` (resending the
    // first of them when it says so); true when one was.
    bool Await(std::initializer_list<Id> ids, const Pacing& pacing);
    // How `id` was answered so far, and the frame that answered it.
    Answer AnswerOf(Id id) const { return sent_[id].answer; }
    const std::optional<UbxStream::Frame>& FrameOf(Id id) const { return sent_[id].answeredBy; }
    // Gives up on `id` when unanswered: the observer hears it got nothing.
    void GiveUp(Id id);
    // Gives up on every frame still unanswered, as the exchange's end does.
    // The record places each wait by the frames sent after it, so an exchange
    // ends before another one sends.
    void End();
    SerialControl& Port() const { return port_; }

private:
    struct Sent {
        UbxBuffer bytes;
        Wait wait;
        Judge judge;
        std::optional<Id> ridingWith;
        double at = 0;    // when its last copy went out
        int sentAs = 0;   // frames this exchange sent before that copy
        int sends = 0;
        double gap = 0;   // the next resend's gap, once resending
        double nextResend = 0;
        bool ended = false; // its wait is told
        Answer answer = Answer::None;
        std::optional<UbxStream::Frame> answeredBy;
    };
    void Out(Id id);
    void Resend(Id id);
    void End(Id id, Answer answer);
    bool AwaitUntil(std::initializer_list<Id> ids, double deadline);

    SerialControl& port_;
    Watch watch_;
    UbxStream::Reader ownReader_;
    UbxStream::Reader& reader_;
    std::vector<Sent> sent_;
    int framesSent_ = 0;
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
// the wait as well. Without a pacing, the reply time-out is its allowance.
Reply Poll(SerialControl& port, UbxBuffer request, const Pacing& pacing, const Watch& watch = {});
Reply Poll(SerialControl& port, UbxBuffer request);

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
// How `frame` answers the command `command`: its ACK-ACK (Ack), its ACK-NAK
// (Nak), or not at all (None).
Answer AckOf(const UbxStream::Frame& frame, const UbxBuffer& command);

// The ACK-ACK (IsAck) or ACK-NAK (IsNak) of the message `msgClass`/`msgId`.
bool IsAck(const UbxStream::Frame& frame, std::uint8_t msgClass, std::uint8_t msgId);
bool IsNak(const UbxStream::Frame& frame, std::uint8_t msgClass, std::uint8_t msgId);

} // namespace Exchange
