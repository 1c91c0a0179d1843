#pragma once

// The program's fixed times, in seconds, in one place.
namespace Timing {

// Every acknowledgement and poll reply. A receiver sending NMEA at 9600 bit/s
// may take over a second to answer because it finishes its output first.
inline constexpr double kReplyTimeout = 5.0;
// Longest block on the port between two reads of a reply wait: it only sets the
// CPU cost, since a block ends as soon as a byte arrives.
inline constexpr double kReplyReadSlice = 0.005;
// How often a reply wait lets the windows repaint (never their input through).
inline constexpr double kRepaintInterval = 0.05;

// Port opening: before each reopening at a new rate, and between detection retries.
inline constexpr float kReopenPause = 0.2f;
inline constexpr float kRetryPause = 0.5f;
// Re-open cycle of a confirmed baud change: after the close, and after the reopening.
inline constexpr float kBaudClosePause = 0.1f;
inline constexpr float kBaudReopenPause = 0.5f;

// Live NMEA view refresh, milliseconds.
inline constexpr int kLiveViewIntervalMs = 100;

// A good reflash runs at least this long, and at most this long.
inline constexpr double kReflashShortest = 20.0;
inline constexpr double kReflashLongest = 60.0;

} // namespace Timing
