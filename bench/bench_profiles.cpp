// Each device profile, and the reset alone, against the simulator on a real
// pseudo-terminal in real time. The floor of a run is the same run against
// the same simulated receiver in virtual time: there every pause, time-out,
// line time and reply delay costs exactly what it must and the program's own
// work costs nothing. The ratio shows what the program adds.
//
// A poll's reply wait ends once 37 more bytes have followed the reply, which
// with the receiver's 1-second NMEA output before the reset depends on where
// in that second the poll lands. So in both runs the receiver starts its
// output with the tool's first byte, and each figure is the median of
// several real runs (--runs N, default 3): the ratio then moves only when the
// tool's own work does.
//
//   build/bench/bench_profiles [--runs N] [device ...]    (default: reset and all five)
//
// With --fast, each device's fast run against its exact run, both on a pty,
// from a receiver whose link runs at 9600 (the factory's rate) and at 57600
// (--from R1,R2,... for others). Each run starts 1.2 s after the receiver's
// power-up, and the receiver's output starts with the tool's first byte, so
// that runs compare exactly. The floor is the line time of every byte the
// tool sent and every answer the receiver queued, each at its own rate: what
// no pacing can save.
//
// With --powered-up the unit's output runs from its power-up instead, as on
// a bench, so the output queued before the run lies ahead of its first answers.
//
//   build/bench/bench_profiles --fast [--from 9600,57600] [--powered-up] [device ...]
//
// With --verify, the read-back of `verify` (the link search, the running and
// the saved configuration) on a pty: for each device on a unit it has just
// configured (at the device's final rate), and for Pemmet on a fresh unit at
// each rate of --from (default 4800,115200). The floor is the line time of
// what the read-back sent and the receiver queued.
//
//   build/bench/bench_profiles --verify [--from 4800,115200] [device ...]
//
// With --files, profile files on a pty from a unit whose link runs at each
// rate of --from (default 115200,9600): reading a unit configured as the
// device into a profile (link search and polls), and the fast run of the
// device's exported file on a fresh unit. The floor is the line time of what
// crossed the PC's line, counted at the PC.
//
//   build/bench/bench_profiles --files [--from 115200,9600] [device ...]   (default: garnock)
//
// With --proof, the proof on a line the unit shares, each row the median of
// --runs N (default 1): from a unit at 9600 with its factory NMEA output
// running since power-up, `configure --fast --verify` (the fast run, then the
// proof of what it saved) and `verify` of the unit so configured (the search,
// then the proof of both states), quiet and with the unit's own output
// filling 90 % of the line; the unit on its own USB port by --fast; a newer
// unit whose output fills the whole line by --fast --verify. The floor is the
// line time of what crossed the PC's line, counted at the PC; "x quiet" is
// the busy median over the quiet one; "min-max" the spread of the runs;
// "proved" counts the runs whose proof passed (a failed one says why on stderr).
// With --drop-answers, the unit drops an answer its full transmit buffer
// cannot take, as a real unit does, instead of queueing it.
//
//   build/bench/bench_profiles --proof [--runs N] [--drop-answers] [device ...]
//
// With --cycle, every device from a factory unit at 9600 with its NMEA on,
// as a bench meets it: `configure --fast --verify`, and `verify` of the unit
// so configured, --runs N each (default 50), run i started i/N of a second
// into the unit's output cycle; the median, 95th percentile and maximum of
// each against its goal (1.5 s and 1.0 s), how many runs were within it and
// how many proved the unit. --move-lag MS has every unit understand its new
// rate only MS after a move's ACK has left; --latency MS delays its answers.
//
//   build/bench/bench_profiles --cycle [--runs N] [--move-lag MS] [--latency MS] [device ...]
#include "BenchUtil.h"
#include "ProfileRuns.h"
#include "ProofBench.h"
#include "harness/MessageRecorder.h"
#include "harness/PtySim.h"
#include "harness/VirtualReceiver.h"
#include "link/CommsFrm.h"
#include "link/QtSerialDevice.h"
#include "link/SelectedPort.h"
#include "profiles/ProfileFile.h"
#include "profiles/Reading.h"
#include "profiles/SetupOutputs.h"
#include "profiles/Verification.h"
#include "receiver_config/VarnexCommsRoutines.h"

#include <QApplication>

#include <algorithm>
#include <cstdio>
#include <functional>

using namespace BenchUtil;
using namespace ProfileBench;

namespace {

struct Run {
    QString name;
    std::function<bool()> work;     // what is timed
    std::function<void()> prepare;  // untimed, on the same receiver first
    VarnexSim::ModelOptions options;
};

struct Figures {
    double wall = 0, cpu = 0;
    bool ok = false;
};

Figures OnRealLine(const Run& run)
{
    PtySim sim(1, run.options);
    SelectedPort = 1;
    MessageRecorder quiet;
    if (run.prepare)
        run.prepare();
    Figures f;
    const double wall0 = WallSeconds(), cpu0 = CpuSeconds();
    f.ok = run.work();
    f.wall = WallSeconds() - wall0;
    f.cpu = CpuSeconds() - cpu0;
    CommsFrm::SerialPort().SetPortOpen(false);
    return f;
}

// The same run in virtual time; the receiver's output starts with the first
// byte in both, so the two see it at the same moments of the run.
double Floor(const Run& run)
{
    VirtualReceiver receiver(run.options);
    MessageRecorder quiet;
    if (run.prepare)
        run.prepare();
    const double start = receiver.Elapsed();
    run.work();
    return receiver.Elapsed() - start;
}

QList<Run> Runs()
{
    using namespace VarnexCommsRoutines;
    QList<Run> runs;
    // The 153 acknowledged exchanges of the reset, after the link is up.
    runs.append({QStringLiteral("reset exchanges"),
                 [] { return WriteConfiguration(1000.0f, 1) && ResetAllMessages(0) && ResetAllMessages(1)
                             && ResetAllMessages(2) && ResetAllMessages(3); },
                 [] { OpenPortAtBaud(115200); }, At(115200)});
    runs.append({QStringLiteral("whole reset"), [] { return ResetToKnownState(); }, {}, At(0)});
    for (const SetupOutputs::Profile& p : SetupOutputs::Profiles())
        runs.append({QString::fromLatin1(p.name), [&p] { return SetupOutputs::RunProfile(p, CommsFrm::SerialPort(), SelectedPort); }, {}, At(0)});
    return runs;
}

// One row against the goal of 1.5 times the line time plus 0.5 s.
void PrintAgainstLine(int width, const QString& name, const PtyRun& r, const char* outcome)
{
    std::printf("%-*s %8.3f %8.3f %11s %9.3f  %s\n", width, qPrintable(name), r.wall, r.floor.Seconds(),
                qPrintable(QStringLiteral("%1/%2").arg(r.floor.sent).arg(r.floor.received)), 1.5 * r.floor.Seconds() + 0.5,
                outcome);
    std::fflush(stdout);
}

void TimeVerify(const QStringList& wanted, const QList<qint32>& rates)
{
    std::printf("%-24s %8s %8s %11s %9s  %s\n", "unit", "wall s", "floor s", "bytes o/i", "1.5x+0.5", "equal");
    const auto row = [](const QString& name, const PtyRun& r) { PrintAgainstLine(24, name, r, r.ok ? "yes" : "no"); };
    for (const SetupOutputs::Profile& p : SetupOutputs::Profiles()) {
        if (!wanted.isEmpty() && !wanted.contains(QString::fromLatin1(p.key), Qt::CaseInsensitive))
            continue;
        row(QStringLiteral("%1, configured").arg(QLatin1String(p.name)), CountedRun(9600, [&p] { return Verify(p); }, [&p] {
                SetupOutputs::RunProfileFast(p, CommsFrm::SerialPort());
                CommsFrm::SerialPort().SetPortOpen(false);
            }));
    }
    const SetupOutputs::Profile& pemmet = *SetupOutputs::FindProfile(QStringLiteral("pemmet"));
    for (const qint32 from : rates)
        row(QStringLiteral("fresh unit at %1").arg(from), CountedRun(from, [&pemmet] { return Verify(pemmet); }));
}

void TimeFiles(QStringList wanted, const QList<qint32>& rates)
{
    if (wanted.isEmpty())
        wanted << QStringLiteral("garnock");
    std::printf("%-42s %8s %8s %11s %9s  %s\n", "run", "wall s", "floor s", "bytes o/i", "1.5x+0.5", "ok");
    const auto timed = [](const QString& name, qint32 from, const std::function<bool()>& work,
                          const std::function<void()>& prepare) {
        const PtyRun run = CountedRun(from, work, prepare);
        PrintAgainstLine(42, name, run, run.ok ? "yes" : "NO");
    };
    for (const SetupOutputs::Profile& p : SetupOutputs::Profiles()) {
        if (!wanted.contains(QString::fromLatin1(p.key), Qt::CaseInsensitive))
            continue;
        const auto file = ProfileFile::Read(ProfileFile::Write(p), "bench.toml");
        if (!file.profile)
            continue;
        for (const qint32 from : rates) {
            // The unit is configured as the device, then its link moved to
            // `from`, so the read runs at that rate.
            const auto configure = [&p, from] {
                SetupOutputs::RunProfileFast(p, CommsFrm::SerialPort());
                if (const auto link = SetupOutputs::FindReceiver(CommsFrm::SerialPort()); link && link->receiverPort)
                    VarnexCommsRoutines::SetBaudRate(from, VarnexCommsRoutines::BaudMode::Confirming, *link->receiverPort);
                CommsFrm::SerialPort().SetPortOpen(false);
            };
            timed(QStringLiteral("read %1 at %2").arg(QLatin1String(p.name)).arg(from), from,
                  [] { return SetupOutputs::FindReceiver(CommsFrm::SerialPort()) && Reading::ReadReceiver(CommsFrm::SerialPort(), false) != nullptr; }, configure);
            timed(QStringLiteral("%1 from its file, fast, from %2").arg(QLatin1String(p.name)).arg(from), from,
                  [&file] { return SetupOutputs::RunProfileFast(file.profile->Profile(), CommsFrm::SerialPort()); }, {});
        }
    }
}

void CompareFast(const QStringList& wanted, const QList<qint32>& rates)
{
    std::printf("%-8s %6s %8s %8s %11s %8s %9s  %s\n", "device", "from", "fast s", "floor s", "bytes o/i", "exact s",
                "fast/ex", "ok");
    for (const SetupOutputs::Profile& p : SetupOutputs::Profiles()) {
        if (!wanted.isEmpty() && !wanted.contains(QString::fromLatin1(p.key), Qt::CaseInsensitive))
            continue;
        for (const qint32 from : rates) {
            const PtyRun fast = OnPty(from, [&p] { return SetupOutputs::RunProfileFast(p, CommsFrm::SerialPort()); });
            const PtyRun exact = OnPty(from, [&p] { return SetupOutputs::RunProfile(p, CommsFrm::SerialPort(), SelectedPort); });
            const QString bytes = QStringLiteral("%1/%2").arg(fast.floor.sent).arg(fast.floor.received);
            std::printf("%-8s %6d %8.3f %8.3f %11s %8.3f %9.3f  %s\n", p.name, from, fast.wall, fast.floor.Seconds(),
                        qPrintable(bytes), exact.wall, fast.wall / exact.wall,
                        fast.ok && exact.ok ? "yes" : "NO");
            std::fflush(stdout);
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStringList wanted;
    bool fast = false;
    bool verify = false;
    bool files = false;
    bool proof = false;
    bool cycle = false;
    bool runsGiven = false;
    QList<qint32> rates;
    int repeats = 3;
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        if (arg == QStringLiteral("--fast"))
            fast = true;
        else if (arg == QStringLiteral("--verify"))
            verify = true;
        else if (arg == QStringLiteral("--files"))
            files = true;
        else if (arg == QStringLiteral("--proof"))
            proof = true;
        else if (arg == QStringLiteral("--cycle"))
            cycle = true;
        else if (arg == QStringLiteral("--move-lag") && i + 1 < argc)
            gUnitFaults.moveLag = QString::fromLocal8Bit(argv[++i]).toDouble() / 1000.0;
        else if (arg == QStringLiteral("--latency") && i + 1 < argc)
            gUnitFaults.replyLatency = QString::fromLocal8Bit(argv[++i]).toDouble() / 1000.0;
        else if (arg == QStringLiteral("--drop-answers"))
            gDropAnswers = true;
        else if (arg == QStringLiteral("--powered-up"))
            gPoweredUp = true;
        else if (arg == QStringLiteral("--runs") && i + 1 < argc) {
            repeats = std::max(1, QString::fromLocal8Bit(argv[++i]).toInt());
            runsGiven = true;
        }
        else if (arg == QStringLiteral("--from") && i + 1 < argc) {
            rates.clear();
            for (const QString& r : QString::fromLocal8Bit(argv[++i]).split(u','))
                rates << r.toInt();
        } else
            wanted << arg;
    }
    if (cycle) {
        TimeCycle(wanted, runsGiven ? repeats : 50);
        CommsFrm::Unload();
        return 0;
    }
    if (proof) {
        TimeProof(wanted, runsGiven ? repeats : 1);
        CommsFrm::Unload();
        return 0;
    }
    if (files) {
        TimeFiles(wanted, rates.isEmpty() ? QList<qint32>{115200, 9600} : rates);
        CommsFrm::Unload();
        return 0;
    }
    if (verify) {
        TimeVerify(wanted, rates.isEmpty() ? QList<qint32>{4800, 115200} : rates);
        CommsFrm::Unload();
        return 0;
    }
    if (fast) {
        CompareFast(wanted, rates.isEmpty() ? QList<qint32>{9600, 57600} : rates);
        CommsFrm::Unload();
        return 0;
    }
    std::printf("%-16s %9s %9s %8s %7s %9s %7s  %s\n", "run", "wall s", "floor s", "excess s", "ratio", "CPU s",
                "CPU %", "ok");
    for (const Run& run : Runs()) {
        if (!wanted.isEmpty() && !wanted.contains(run.name, Qt::CaseInsensitive))
            continue;
        QList<Figures> each;
        for (int i = 0; i < repeats; ++i)
            each << OnRealLine(run);
        std::sort(each.begin(), each.end(), [](const Figures& a, const Figures& b) { return a.wall < b.wall; });
        Figures f = each[each.size() / 2];
        for (const Figures& e : each)
            f.ok = f.ok && e.ok;
        const double floor = Floor(run);
        std::printf("%-16s %9.3f %9.3f %8.3f %7.3f %9.3f %7.2f  %s\n", qPrintable(run.name), f.wall, floor,
                    f.wall - floor, f.wall / floor, f.cpu, 100.0 * f.cpu / f.wall, f.ok ? "yes" : "NO");
        std::fflush(stdout);
    }
    CommsFrm::Unload();
    return 0;
}
