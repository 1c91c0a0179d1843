#pragma once

#include "ProfileRuns.h"

#include <QStringList>

#include <functional>
#include <vector>

// The proof's benchmarks (bench_profiles --proof and --cycle), and the
// spread of runs over a unit's output cycle that --cycle and
// bench_generations print.
namespace ProfileBench {

// Sleeps i/n of a second for the i-th call of n: run i starts that much
// later into the unit's one-second output cycle.
std::function<void()> Phases(int& started, int runs);
// Nearest rank: the smallest figure that `share` of the sorted runs do not exceed.
double Percentile(const std::vector<double>& sorted, double share);

struct Spread {
    std::vector<double> walls; // sorted
    int proved = 0;
};
// `runs` runs of `one`: their wall times and how many passed.
Spread Runs(int runs, const std::function<PtyRun()>& one);
// A table of spreads: the unit column `unitWidth` wide, then the run, its
// median, 95th percentile and maximum, the goal (none when 0), the runs
// within it and the runs that passed.
void CycleHeader(const char* unit, int unitWidth);
void CycleRow(const QString& unit, int unitWidth, const char* what, const Spread& s, double goal);

// The proof on a line the unit shares, each row the median of `runs` runs.
void TimeProof(const QStringList& wanted, int runs);
// Every device from a factory unit at 9600 with its NMEA on: `configure
// --fast --verify`, and `verify` of the unit so configured, `runs` runs each,
// run i started i/runs of a second into the unit's output cycle; each row
// gives the median, the 95th percentile and the maximum against its goal.
void TimeCycle(const QStringList& wanted, int runs);

} // namespace ProfileBench
