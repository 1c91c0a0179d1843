// Each device profile, and the reset alone, against the simulator on a real
// pseudo-terminal in real time. The floor of a run is the same run against
// the same simulated receiver in virtual time: there every pause, time-out,
// line time and reply delay costs exactly what it must and the program's own
// work costs nothing. The ratio shows what the program adds.
//
// A poll's reply wait ends once 37 more bytes have followed the reply, which
// with the receiver's 1-second NMEA output before the reset depends on where
// in that second the poll lands: a real run a few milliseconds later than the
// virtual one can miss an output burst and wait for the next, a whole second.
// The "excess" column shows it: a few hundredths, or about one second.
//
//   build/bench/bench_profiles [device ...]    (default: reset and all five)
#include "BenchUtil.h"
#include "harness/MessageRecorder.h"
#include "harness/PtySim.h"
#include "harness/VirtualReceiver.h"
#include "link/CommsFrm.h"
#include "link/SelectedPort.h"
#include "profiles/SetupOutputs.h"
#include "receiver_config/VarnexCommsRoutines.h"

#include <QApplication>

#include <cstdio>
#include <functional>

using namespace BenchUtil;

namespace {

struct Run {
    QString name;
    std::function<bool()> work;     // what is timed
    std::function<void()> prepare;  // untimed, on the same receiver first
    VarnexSim::ModelOptions options;
};

struct Figures {
    double wall = 0, cpu = 0;
    double sinceStart = 0; // from the receiver's power-up to the start of the timed work
    bool ok = false;
};

Figures OnRealLine(const Run& run)
{
    const double powerUp = WallSeconds();
    PtySim sim(1, run.options);
    SelectedPort = 1;
    MessageRecorder quiet;
    if (run.prepare)
        run.prepare();
    Figures f;
    const double wall0 = WallSeconds(), cpu0 = CpuSeconds();
    f.sinceStart = wall0 - powerUp;
    f.ok = run.work();
    f.wall = WallSeconds() - wall0;
    f.cpu = CpuSeconds() - cpu0;
    CommsFrm::SerialPort().SetPortOpen(false);
    return f;
}

// The receiver's periodic output decides how soon a poll reply is followed by
// enough bytes to end its wait, so the virtual run starts its timed work at the
// same moment after power-up as the real one did.
double Floor(const Run& run, double sinceStart)
{
    VirtualReceiver receiver(run.options);
    MessageRecorder quiet;
    if (run.prepare)
        run.prepare();
    receiver.Idle(sinceStart - receiver.Elapsed());
    const double start = receiver.Elapsed();
    run.work();
    return receiver.Elapsed() - start;
}

VarnexSim::ModelOptions At(qint32 baud)
{
    VarnexSim::ModelOptions options;
    options.startBaud = baud;
    return options;
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
    runs.append({QStringLiteral("whole reset"), [] { return ResetToKnownState(); }, {}, {}});
    for (const SetupOutputs::Profile& p : SetupOutputs::Profiles())
        runs.append({QString::fromLatin1(p.name), [&p] { return SetupOutputs::RunProfile(p); }, {}, {}});
    return runs;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStringList wanted;
    for (int i = 1; i < argc; ++i)
        wanted << QString::fromLocal8Bit(argv[i]);
    std::printf("%-16s %9s %9s %8s %7s %9s %7s  %s\n", "run", "wall s", "floor s", "excess s", "ratio", "CPU s",
                "CPU %", "ok");
    for (const Run& run : Runs()) {
        if (!wanted.isEmpty() && !wanted.contains(run.name, Qt::CaseInsensitive))
            continue;
        const Figures f = OnRealLine(run);
        const double floor = Floor(run, f.sinceStart);
        std::printf("%-16s %9.3f %9.3f %8.3f %7.3f %9.3f %7.2f  %s\n", qPrintable(run.name), f.wall, floor,
                    f.wall - floor, f.wall / floor, f.cpu, 100.0 * f.cpu / f.wall, f.ok ? "yes" : "NO");
        std::fflush(stdout);
    }
    CommsFrm::Unload();
    return 0;
}
