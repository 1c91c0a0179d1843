#pragma once

#include <QStringList>

// The proof's benchmarks (bench_profiles --proof and --cycle).
namespace ProfileBench {

// The proof on a line the unit shares, each row the median of `runs` runs.
void TimeProof(const QStringList& wanted, int runs);
// Every device from a factory unit at 9600 with its NMEA on: `configure
// --fast --verify`, and `verify` of the unit so configured, `runs` runs each,
// run i started i/runs of a second into the unit's output cycle; each row
// gives the median, the 95th percentile and the maximum against its goal.
void TimeCycle(const QStringList& wanted, int runs);

} // namespace ProfileBench
