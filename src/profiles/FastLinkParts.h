#pragma once

#include "link/UbxMessages.h"
#include "link/UbxProtocol.h"
#include "profiles/FastLink.h"

#include <functional>
#include <optional>

// The pieces the line's exchanges (FastLink.cpp) and its search
// (FastSearch.cpp) share: the sizes they reckon with, the link poll and its
// reply, the move of a port and its confirmation.
namespace FastLink::Parts {

using UbxStream::Frame;

// The search's first rate, the factory's, where a line is opened.
inline constexpr std::int32_t kFirstSearchRate = 9600;

// Bytes of the link poll (CFG-PRT with no payload) and of a port's reply,
// as the message table gives them, and of one streamed message as the search
// reckons them (an NMEA sentence is at most 82).
inline constexpr qsizetype kPollBytes = qsizetype(UbxProtocol::kFrameOverhead);
inline constexpr qsizetype kPortReplyBytes = qsizetype(UbxProtocol::kFrameOverhead + UbxMessages::kCfgPrt.payloadSize);
inline constexpr qsizetype kStreamedMessageBytes = 100;

// The reply allowance of every exchange, and of the search at a rate where
// the unit is heard talking (its output ahead of the answer included).
double Allowance();
double SearchAllowance();

// CFG-PRT with no payload: the receiver answers with the settings of the
// port the poll came in on: its number and its rate.
UbxBuffer LinkPortPoll();
// The link's own CFG-PRT: a UART port answers the rate it runs at, which
// must be the PC's; DDC and USB carry no rate and count whatever theirs reads.
// A refusal of the poll counts as the link's reply: the unit is there.
Exchange::Judge LinkReplyAt(std::int32_t rate);
std::optional<Link> LinkOf(const std::optional<Frame>& reply, std::int32_t rate);
// The receiver's output has filled the line for `seconds` (most of its
// capacity, in whole messages): its transmit buffer is backing up.
bool Saturated(const Line& line, double seconds);
// A CFG-PRT for `receiverPort` at `rate`: the port's own `settings` with the
// rate replaced where they are given, the reset's otherwise.
UbxBuffer PortAt(int receiverPort, std::int32_t rate, const QByteArray& settings);
// What answers a link-moving command: its ACK-ACK only (the unit moves once
// it has left; a refusal does not end the wait for it).
Exchange::Judge MoveAck(const UbxBuffer& move);
// After a link-moving command (`move` in `session`, `sentBytes` long): its
// ACK awaited while the old rate still carries output, then a moment for the
// receiver to move.
void AwaitMoveAck(Line& line, Exchange::Session& session, Exchange::Session::Id move, qsizetype sentBytes);
// Sends the link poll at the present rate and waits for the answer within
// `pacing`; `start` as the exchange's (Exchange::Session::Start).
std::optional<Link> PollLink(Line& line, const Exchange::Pacing& pacing,
                             Exchange::Session::Start start = Exchange::Session::Start::Flushed);
// After a link-moving command sent in `session` (`move`, `sentBytes` long):
// its ACK awaited (AwaitMoveAck), the PC following to `rate`, and the link
// confirmed there (ConfirmAt).
std::optional<Link> FollowTo(Line& line, Exchange::Session& session, Exchange::Session::Id move, qsizetype sentBytes,
                             std::int32_t rate);
// The first gap between two link polls at `rate`: a poll and its reply, and a moment.
double FirstResendGap(std::int32_t rate);
// The link poll at `rate` resent with growing gaps, within `allowance`.
Exchange::Pacing Resending(std::int32_t rate, double allowance);
// Polls at `rate` until the receiver answers that the port the PC is wired
// to runs there (Resending), the wait taken up where the line was left.
std::optional<Link> ConfirmAt(Line& line, std::int32_t rate, double allowance);

} // namespace FastLink::Parts
