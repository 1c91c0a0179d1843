#pragma once

// What the device benchmarks share: a unit on a pseudo-terminal as a bench
// meets it, a run on it timed with the line time of what crossed the PC's
// line, and the two commands a line runs on a unit (`verify` and
// `configure --fast --verify`) once the port is chosen.
#include "profiles/SetupOutputs.h"
#include "profiles/Verification.h"
#include "sim/ReceiverModel.h"
#include "sim/Transcript.h"

#include <QList>

#include <functional>
#include <map>
#include <vector>

namespace ProfileBench {

// With --powered-up, a unit's output runs from its power-up rather than from
// the tool's first byte; with --drop-answers, it drops an answer its full
// transmit buffer cannot take; `unitFaults` are every unit's (a move's lag,
// a reply latency).
extern bool gPoweredUp;
extern bool gDropAnswers;
extern VarnexSim::Faults gUnitFaults;

// A unit at `baud` (0 keeps the factory's 9600), its output from the tool's
// first byte unless gPoweredUp.
VarnexSim::ModelOptions At(qint32 baud);
// A unit as it comes to the bench: its link at `baud` (0 on USB), its output
// running since power-up, and, when `fill` > 0, messages of its own filling
// that share of the line.
VarnexSim::ModelOptions Unit(qint32 baud, double fill, int linkPort = 1);

// Line time of what crossed the link, each byte at the rate it went at. The
// line carries both ways at once, so at each rate it takes at least the
// longer of the two directions.
struct LineFloor {
    std::map<qint32, std::pair<double, double>> byRate; // seconds sent, received
    qsizetype sent = 0, received = 0;
    void Add(qint32 rate, qsizetype bytes, bool fromPc);
    double Seconds() const;
};
LineFloor FloorOf(const std::vector<VarnexSim::TranscriptEntry>& transcript, std::size_t from = 0);

struct PtyRun {
    double wall = 0;
    bool ok = false;
    LineFloor floor;
    int okRuns = 0, runs = 1; // of the runs a median stands for, how many passed
    double minWall = 0, maxWall = 0;
};
// `work` timed on a pty 1.2 s after the unit's power-up, after `prepare`
// (untimed); the floor from the simulator's transcript.
PtyRun OnPty(const VarnexSim::ModelOptions& options, const std::function<bool()>& work,
             const std::function<void()>& prepare = {});
PtyRun OnPty(qint32 from, const std::function<bool()>& work, const std::function<void()>& prepare = {});
// The same with the floor counted at the PC from the work's start.
PtyRun CountedRun(const VarnexSim::ModelOptions& options, const std::function<bool()>& work,
                  const std::function<void()>& prepare = {});
PtyRun CountedRun(qint32 from, const std::function<bool()>& work, const std::function<void()>& prepare = {});
// The median run of `runs` by wall time; ok only when every run was.
PtyRun Median(int runs, const std::function<PtyRun()>& one);

// True when every item was compared and equal; otherwise says on stderr how
// the proof ended and which items differed.
bool Proved(const Verification::ReadBack& readBack);
// `verify` once the port is chosen: find the link, read back.
bool Verify(const SetupOutputs::Profile& p);
// `configure --fast --verify` once the port is chosen: the fast run, then
// the proof of what it just sent and saved.
bool FastAndVerify(const SetupOutputs::Profile& p);

} // namespace ProfileBench
