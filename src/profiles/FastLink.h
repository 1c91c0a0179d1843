#pragma once

#include "link/Exchange.h"
#include "link/SerialControl.h"
#include "link/UbxStream.h"
#include "link/uBloxLowLevelComms.h"
#include "profiles/SetupOutputs.h"

#include <QByteArray>

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

// The open PC port as the fast runner and the read-back see it: whole UBX
// frames in (checksums checked), frames out through the link's own sender,
// and every wait paced by the line's own time rather than by fixed pauses.
// How the search, the commands and a link move work is told in
// docs/ARCHITECTURE.md ("The fast runner").
namespace FastLink {

using Link = SetupOutputs::FoundLink;
using SetupOutputs::MoveOn;
using uBloxLowLevelComms::Answer;
using uBloxLowLevelComms::UbxBuffer;

class Line {
public:
    explicit Line(SerialControl& port) : port_(port) {}

    // Opens the control's port afresh at the first rate of the search.
    bool Open();
    // The port the line runs on, for the exchanges and operations given it.
    SerialControl& Port() const { return port_; }
    std::int32_t Rate() const { return rate_; }
    // Takes the rate the port was set to by someone else (an operation of the
    // exact run, or the run before a read-back).
    std::int32_t Adopt();
    // Moves the PC port, once what was written has left the line.
    void MoveTo(std::int32_t rate);
    // Forgets what has arrived, so that only answers to what is sent next count.
    void Flush();
    // What an exchange on Port() tells the line, so that its account (bytes
    // heard, whole messages, saturation, a frame under way) runs on through
    // the exchange's wait and from one exchange to the next.
    Exchange::Watch Watch();
    // Hears the line until `deadline` passes on the program's clock or the
    // port is gone, taking nothing: a listen, with no frame sent.
    void Listen(double deadline);
    bool HeardBytes() const { return heardBytes_; }
    // Bytes received since the last flush.
    qsizetype Received() const { return received_; }
    // Bytes have arrived at some rate since the port was opened.
    bool HeardAnything() const { return heardAnything_; }
    // Whole messages have arrived since the last flush: the rate is right.
    bool HeardTraffic() const;
    // Bytes still to come of a UBX frame under way (0 when none is).
    qsizetype FrameUnderway() const { return reader_.Missing(); }
    // What arrived lately, since the last whole frame, is framing errors: a
    // unit talking at another rate than the PC's.
    bool HeardFramingErrors() const;
    // `then` runs once, from within a wait, as soon as the bytes heard since
    // the last flush hold the start of a message (a sender at this rate);
    // empty cancels it.
    void OnceTalking(std::function<void()> then) { onceTalking_ = std::move(then); }
    // The device vanished under the open port: nothing will answer again.
    bool Gone() const { return port_.PortGone(); }

private:
    // The account of a flush, and of bytes read.
    void Forget();
    void Hear(const QByteArray& bytes);
    void HeardWhole();

    SerialControl& port_;
    std::int32_t rate_ = 0;
    UbxStream::Reader reader_;
    QByteArray recent_;
    bool heardBytes_ = false;
    qsizetype received_ = 0;
    qsizetype wholeAt_ = 0; // received_ when the last whole frame was read
    bool heardAnything_ = false;
    bool heardFrame_ = false;
    std::function<void()> onceTalking_;
};

// Line time of `bytes` at `rate` bit/s (8N1: ten bits a byte), in seconds.
double LineTime(std::int32_t rate, qsizetype bytes);
// A receiver sends its output and its answers alike through a transmit
// buffer of a few kilobytes, first in, first out: an answer may wait behind
// this much output on a busy line (seconds at 4800 and 9600 bit/s).
inline constexpr qsizetype kReceiverTxBuffer = 4096;
// The UART ports (1, 2) have a rate; DDC (0) and USB (3) have none, and a
// CFG-PRT poll of them reads rate 0.
bool HasRate(int receiverPort);

// Asks at `rate` which port the PC is wired to, changing nothing. With
// `resend`, for a unit that may still be moving its link there after an
// exchange just before (a load), the poll goes out again at the line's pace
// until answered: one that reached the unit before it had moved is lost.
std::optional<Link> AskAt(Line& line, std::int32_t rate, bool resend = false);
// AskAt, with the move of `receiverPort` to `to` (keeping `settings`, a
// CFG-PRT reply of it) sent right behind the poll, so that the reply and the
// move's ACK queue behind the receiver's output together: one wait for both
// on a busy slow line. The link as read at `rate` once the move is
// confirmed; nothing when the reply names another port or the move fails.
// A command `ahead` (when given) goes out before the poll, its
// acknowledgement (Ack, Nak or None) told in `aheadAnswer`; `resend` as for
// AskAt (the poll and the move go out again, never `ahead`). Once the move
// has gone out the unit is looked for at `rate` and at `to` only; where it
// answered only at `to`, the link is as read there.
std::optional<Link> AskAndMove(Line& line, std::int32_t rate, int receiverPort, std::int32_t to, const QByteArray& settings,
                               const UbxBuffer& ahead = {}, Answer* aheadAnswer = nullptr, bool resend = false);
// AskAt, with a poll of `on.receiverPort` and its move to `on.rate` (the
// reset's mode and protocols) sent right behind the link poll: on a slow,
// busy line the link's reply, that port's and the move's ACK queue behind the
// receiver's output together, one wait for all three. The link as read at
// `rate`, carrying the moved port's reply (Link::movedPortSettings); when the
// PC is on that port, the line is left at `on.rate` once the move is
// confirmed, and at `rate` when the move was lost. Once the move has gone
// out, the unit is where it puts it or where it was: when no answer came in
// the search's waits, it is heard out at `rate` while it talks there, until
// a full transmit buffer would have drained, then asked at `on.rate`.
std::optional<Link> AskReadAndMove(Line& line, std::int32_t rate, MoveOn on);
// Looks for the receiver at each rate of the search list, the rates in
// `first` (where it is expected) before the others; at the first of them
// with `moveOn` (AskReadAndMove), when given and not already at its rate;
// with `moveOn.below`, at every rate below it, the move going out once the
// unit is heard talking there or answers.
std::optional<Link> FindLink(Line& line, std::span<const std::int32_t> first = {}, std::optional<MoveOn> moveOn = std::nullopt);
// What a search heard on a line that did not answer: nothing at all, bytes
// no rate made sense of (a receiver talking at a rate the PC cannot read),
// or whole messages at the rate the line is left at.
enum class Heard { Nothing, Noise, Messages };
struct Search {
    std::optional<Link> link;
    Heard heard = Heard::Nothing;
};
// FindLink, and for a line silent at every rate one more listen at the
// factory's rate (Timing::kSilenceListen): a receiver left with its factory
// output talks once a second, and whole messages there earn it one more poll
// with the whole allowance.
Search Look(Line& line, std::span<const std::int32_t> first = {}, std::optional<MoveOn> moveOn = std::nullopt);
// Nothing answered the search: the receiver is commanded to the reset's rate
// blind at every rate, as in the exact run, then asked which port the PC is
// wired to. False when it does not answer at that rate.
bool BlindBringUp(Line& line, Link& link);
// Sends a command (Exchange::Command) and waits for its ACK-ACK or ACK-NAK
// (whole frames only), within the reply allowance after its line time,
// longer while the line shows the receiver busy with output. What ended the wait.
Answer SendCommand(Line& line, UbxBuffer frame);
// A poll's outcome: the payload of its reply (answer Reply), a refusal
// (Nak), or nothing within the allowance (None).
using Exchange::Reply;
// Polls `request` (Exchange::Poll): its reply is the first frame of its class
// and id that starts with the request's own payload; an ACK-NAK of its class
// and id ends the wait as well. Paced as SendCommand.
Reply PollReply(Line& line, UbxBuffer request);
// Polls `requests` several at a time (Exchange::Polls), each paced as
// PollReply: on a busy line their replies share the waits behind the
// receiver's output. The replies in the order of `requests`.
std::vector<Reply> PollReplies(Line& line, const std::vector<UbxBuffer>& requests);
// A command that may move the link once its ACK has left (a load), with the
// link poll right behind it. Answers leave in order, so the poll's reply with
// no ACK or ACK-NAK before it means the command's answer was lost or damaged,
// and the line turning to framing errors means the link moved: either ends
// the wait, as the answer does, within the reply allowance. What answered
// the command; `here` the link as the poll read it where it answered at the
// present rate with no answer to the command before it.
Answer SendFollowed(Line& line, UbxBuffer command, std::optional<Link>& here);
// True when the receiver still answers on the link at the present rate.
bool StillAnswers(Line& line);
// Moves the link's port (`receiverPort`, the PC's) to `rate`, the PC
// following, and confirms by a poll at the new rate. The port keeps the
// other `settings` given (a CFG-PRT reply of it); without them it gets the
// reset's mode and protocols.
bool MoveLink(Line& line, int receiverPort, std::int32_t rate, const QByteArray& settings = {});
// Moves the link by `command` (a VALSET of the link UART's rate, for a unit
// without CFG-PRT): its ACK awaited at the present rate, the PC following to
// `rate`, and a poll there confirming (answered or refused, the unit is there).
bool MoveLinkBy(Line& line, UbxBuffer command, std::int32_t rate);

} // namespace FastLink
