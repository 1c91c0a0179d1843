// The proof's benchmarks: its cost on a line the unit shares (--proof), and
// its spread over the unit's output cycle (--cycle).
#include "ProofBench.h"

#include "ProfileRuns.h"
#include "link/CommsFrm.h"

#include <QDir>
#include <QFile>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace ProfileBench {

std::function<void()> Phases(int& started, int runs)
{
    return [&started, runs] { QThread::msleep(static_cast<unsigned long>(1000 * (started++ % runs) / runs)); };
}

// Nearest rank: the smallest figure that `share` of the runs do not exceed.
double Percentile(const std::vector<double>& sorted, double share)
{
    const auto rank = std::size_t(std::ceil(share * double(sorted.size())));
    return sorted[std::clamp<std::size_t>(rank, 1, sorted.size()) - 1];
}

Spread Runs(int runs, const std::function<PtyRun()>& one)
{
    Spread s;
    for (int i = 0; i < runs; ++i) {
        const PtyRun run = one();
        s.walls.push_back(run.wall);
        s.proved += run.ok ? 1 : 0;
    }
    std::sort(s.walls.begin(), s.walls.end());
    return s;
}

void CycleHeader(const char* unit, int unitWidth)
{
    std::printf("%-*s %-16s %8s %8s %8s %6s %8s %7s\n", unitWidth, unit, "run", "median s", "p95 s", "max s", "goal s",
                "within", "proved");
}

void CycleRow(const QString& unit, int unitWidth, const char* what, const Spread& s, double goal)
{
    const auto n = qsizetype(s.walls.size());
    const auto within = goal > 0 ? std::count_if(s.walls.begin(), s.walls.end(), [goal](double w) { return w <= goal; }) : n;
    std::printf("%-*s %-16s %8.3f %8.3f %8.3f %6s %8s %7s%s\n", unitWidth, qPrintable(unit), what,
                Percentile(s.walls, 0.5), Percentile(s.walls, 0.95), s.walls.back(),
                goal > 0 ? qPrintable(QString::number(goal, 'f', 1)) : "-",
                goal > 0 ? qPrintable(QStringLiteral("%1/%2").arg(within).arg(n)) : "-",
                qPrintable(QStringLiteral("%1/%2").arg(s.proved).arg(n)),
                within < n ? "  (goal missed)" : s.proved < int(n) ? "  (not all proved)" : "");
    std::fflush(stdout);
}

void TimeCycle(const QStringList& wanted, int runs)
{
    CycleHeader("device", 8);
    for (const SetupOutputs::Profile& p : SetupOutputs::Profiles()) {
        if (!wanted.isEmpty() && !wanted.contains(QString::fromLatin1(p.key), Qt::CaseInsensitive))
            continue;
        int started = 0;
        const auto phase = Phases(started, runs);
        CycleRow(QLatin1String(p.name), 8, "--fast --verify",
                 Runs(runs, [&] { return CountedRun(Unit(9600, 0), [&p] { return FastAndVerify(p); }, phase); }), 1.5);
        CycleRow(QLatin1String(p.name), 8, "verify", Runs(runs, [&] {
                     return CountedRun(Unit(9600, 0), [&p] { return Verify(p); }, [&] {
                         SetupOutputs::RunProfileFast(p, CommsFrm::SerialPort());
                         CommsFrm::SerialPort().SetPortOpen(false);
                         phase();
                     });
                 }), 1.0);
    }
}

// The proof's cost on a line the unit shares: `configure --fast --verify`
// from 9600 with the factory's NMEA, and `verify` of the unit so configured,
// quiet and with the unit's output filling 90 % of the 9600 bit/s it starts
// on (the same bytes a second at any later rate); `verify` of a busy unit
// configured so and powered up again with its output filling 90 % of its
// own link;
// the unit on its own USB port by --fast; a newer unit whose output fills
// the line by --fast --verify. Each row is the median of `runs` runs against
// its goal; run i of n starts i/n of a second later into the unit's output,
// since how long an answer waits behind that output depends on where in its
// one-second cycle the run begins, and a bench is not in step with it.
void TimeProof(const QStringList& wanted, int runs)
{
    std::printf("%-8s %-33s %8s %13s %8s %11s %6s %7s  %s\n", "device", "run", "wall s", "min-max s", "floor s",
                "bytes o/i", "goal s", "x quiet", "proved");
    // USB has no line rate: the rate the PC's port is set to says nothing
    // of its line time, so that row has no floor.
    const auto row = [](const SetupOutputs::Profile& p, const char* what, const PtyRun& r, double goal, double quiet,
                        bool usb = false) {
        const QString bytes = QStringLiteral("%1/%2").arg(r.floor.sent).arg(r.floor.received);
        const QString ratio = quiet > 0 ? QString::number(r.wall / quiet, 'f', 2) : QStringLiteral("-");
        const QString floor = usb ? QStringLiteral("-") : QString::number(r.floor.Seconds(), 'f', 3);
        const QString spread = QStringLiteral("%1-%2").arg(r.minWall, 0, 'f', 2).arg(r.maxWall, 0, 'f', 2);
        std::printf("%-8s %-33s %8.3f %13s %8s %11s %6.1f %7s  %s%s\n", p.name, what, r.wall, qPrintable(spread), qPrintable(floor),
                    qPrintable(bytes), goal, qPrintable(ratio),
                    qPrintable(QStringLiteral("%1/%2").arg(r.okRuns).arg(r.runs)),
                    r.wall > goal || (quiet > 0 && r.wall > 1.5 * quiet) ? "  (goal missed)" : "");
        std::fflush(stdout);
    };
    for (const SetupOutputs::Profile& p : SetupOutputs::Profiles()) {
        if (!wanted.isEmpty() && !wanted.contains(QString::fromLatin1(p.key), Qt::CaseInsensitive))
            continue;
        // A configured unit: the flash a fast run saved on a unit of its own
        // (a busy one keeps the messages the reset does not turn off),
        // powered up with it.
        const QString flash = QDir::temp().filePath(QStringLiteral("varnex-bench-proof-%1.json").arg(QLatin1String(p.key)));
        QFile::remove(flash);
        const auto configured = [&p, &flash](double fill) {
            VarnexSim::ModelOptions unit = Unit(9600, fill);
            unit.flashPath = flash;
            if (!QFile::exists(flash))
                OnPty(unit, [&p] { return SetupOutputs::RunProfileFast(p, CommsFrm::SerialPort()); });
            unit.startBaud = 0;
            return unit;
        };
        int started = 0;
        const auto phase = Phases(started, runs);
        double quietRun = 0, quietVerify = 0;
        for (const double fill : {0.0, 0.9}) {
            const PtyRun run = Median(runs, [&] { return CountedRun(Unit(9600, fill), [&p] { return FastAndVerify(p); }, phase); });
            // The unit the row above configured (configured again, untimed), then verified.
            const PtyRun verify = Median(runs, [&] {
                return CountedRun(Unit(9600, fill), [&p] { return Verify(p); }, [&] {
                    SetupOutputs::RunProfileFast(p, CommsFrm::SerialPort());
                    CommsFrm::SerialPort().SetPortOpen(false);
                    phase();
                });
            });
            if (fill == 0) {
                quietRun = run.wall;
                quietVerify = verify.wall;
            }
            row(p, fill == 0 ? "--fast --verify, quiet" : "--fast --verify, fill 0.9", run, 1.5, fill == 0 ? 0 : quietRun);
            row(p, fill == 0 ? "verify, quiet" : "verify, fill 0.9", verify, 1.0, fill == 0 ? 0 : quietVerify);
        }
        row(p, "verify, powered up, own link 0.9",
            Median(runs, [&] { return CountedRun(configured(0.9), [&p] { return Verify(p); }, phase); }), 1.0, quietVerify);
        row(p, "--fast, USB (port 3)",
            Median(runs, [&] { return CountedRun(Unit(0, 0, 3), [&p] { return SetupOutputs::RunProfileFast(p, CommsFrm::SerialPort()); }); }),
            2.0, 0, true);
        row(p, "--fast --verify, newer, fill 1.0",
            Median(runs, [&] { return CountedRun(Unit(9600, 1.0), [&p] { return FastAndVerify(p); }); }), 3.0, 0);
    }
}


} // namespace ProfileBench
