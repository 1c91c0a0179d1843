#pragma once

#include <chrono>

// The program's fixed times, in one place.
namespace Timing {

// Seconds as the program's clock counts them.
using Seconds = std::chrono::duration<double>;

// Every acknowledgement and poll reply. A receiver sending NMEA at 9600 bit/s
// may take over a second to answer because it finishes its output first.
inline constexpr std::chrono::seconds kReplyTimeout{5};
// Longest block on the port between two reads of a reply wait: it only sets the
// CPU cost, since a block ends as soon as a byte arrives.
inline constexpr std::chrono::milliseconds kReplyReadSlice{5};
// How often a reply wait lets the windows repaint (never their input through).
inline constexpr std::chrono::milliseconds kRepaintInterval{50};

// Idle step of a pause (Delay): short enough that clicks and repaints stay prompt.
inline constexpr std::chrono::milliseconds kDelaySlice{2};
// Longest wait for Qt's own write buffer to reach the operating system before
// a close or a rate change; the bytes of one frame leave far sooner.
inline constexpr std::chrono::seconds kWriteBufferWait{1};

// Port opening: before each reopening at a new rate, and between detection retries.
inline constexpr std::chrono::milliseconds kReopenPause{200};
inline constexpr std::chrono::milliseconds kRetryPause{500};
// Re-open cycle of a confirmed baud change: after the close, and after the reopening.
inline constexpr std::chrono::milliseconds kBaudClosePause{100};
inline constexpr std::chrono::milliseconds kBaudReopenPause{500};

// The fast runner's pacing, besides the line time of what it sends.
// Added to every search window for the receiver's handling and the PC's wake-up.
inline constexpr std::chrono::milliseconds kSearchMargin{20};
// Confirming a link move: the first poll is resent after this (plus its line
// time), each gap twice the last, up to the longest gap.
inline constexpr std::chrono::milliseconds kFirstResend{20};
inline constexpr std::chrono::milliseconds kLongestResendGap{500};
// A link move may take one reply allowance for the ACK still leaving at the
// old rate and one for the poll's reply at the new.
inline constexpr std::chrono::seconds kLinkMoveAllowance = 2 * kReplyTimeout;
// From the end of a link-moving command's line time to the PC's own move: a
// USB adapter may start sending a few milliseconds after the write, and a
// rate change must not catch the frame's last bytes in its buffer.
inline constexpr std::chrono::milliseconds kMoveSettle{20};
// A search that heard nothing at any rate listens this long more before it
// calls the line silent: a receiver left with its factory output sends a
// sentence every second, and any byte, even at a wrong rate, shows that
// something is connected.
inline constexpr std::chrono::milliseconds kSilenceListen{1100};
// A receiver heard talking at a rate of the search answers its poll there
// within this, its own output ahead of the answer included, unless that
// output fills the line (then its transmit buffer's drain time is added).
inline constexpr std::chrono::seconds kSearchReplyAllowance{2};

// Live NMEA view refresh.
inline constexpr std::chrono::milliseconds kLiveViewInterval{100};

// A good reflash runs at least this long, and at most this long.
inline constexpr std::chrono::seconds kReflashShortest{20};
inline constexpr std::chrono::seconds kReflashLongest{60};

// The command line's bench loop: a unit that leaves the link search
// unanswered this long is gone (one missed answer does not count it twice),
// and the loop looks for a unit this often.
inline constexpr std::chrono::seconds kUnitGoneAfter{2};
inline constexpr std::chrono::milliseconds kBenchLoopLook{250};

// `time` in seconds, as the program's clock and Delay take it.
constexpr double InSeconds(Seconds time) { return time.count(); }

} // namespace Timing
