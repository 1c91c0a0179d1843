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
#include "BenchUtil.h"
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

#include <QDir>
#include <QFile>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>

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

// With --powered-up, a unit's output runs from its power-up (1.2 s before
// the run), as a unit's on a bench does, rather than from the tool's first
// byte: what queues in its transmit buffer meanwhile then lies ahead of the
// first answers.
bool gPoweredUp = false;
VarnexSim::ModelOptions At(qint32 baud)
{
    VarnexSim::ModelOptions options;
    options.startBaud = baud;
    options.outputFromFirstByte = !gPoweredUp;
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
    runs.append({QStringLiteral("whole reset"), [] { return ResetToKnownState(); }, {}, At(0)});
    for (const SetupOutputs::Profile& p : SetupOutputs::Profiles())
        runs.append({QString::fromLatin1(p.name), [&p] { return SetupOutputs::RunProfile(p); }, {}, At(0)});
    return runs;
}

// Line time of what crossed the link, each byte at the rate it went at. The
// line carries both ways at once (a poll goes out while earlier replies come
// in), so at each rate it takes at least the longer of the two directions.
struct LineFloor {
    std::map<qint32, std::pair<double, double>> byRate; // seconds sent, received
    qsizetype sent = 0, received = 0;
    void Add(qint32 rate, qsizetype bytes, bool fromPc)
    {
        if (rate <= 0)
            return;
        auto& [out, in] = byRate[rate];
        (fromPc ? out : in) += bytes * 10.0 / rate;
        (fromPc ? sent : received) += bytes;
    }
    double Seconds() const
    {
        double seconds = 0;
        for (const auto& [rate, both] : byRate)
            seconds += std::max(both.first, both.second);
        return seconds;
    }
};

LineFloor FloorOf(const std::vector<VarnexSim::TranscriptEntry>& transcript, std::size_t from = 0)
{
    LineFloor floor;
    for (std::size_t i = from; i < transcript.size(); ++i) {
        const auto& e = transcript[i];
        const bool fromPc = e.dir == VarnexSim::TranscriptEntry::Direction::FromPc;
        const qint32 rate = fromPc ? e.pcBaud : e.linkBaud;
        if (rate <= 0)
            continue;
        floor.Add(rate, e.bytes.size(), fromPc);
    }
    return floor;
}

struct PtyRun {
    double wall = 0;
    bool ok = false;
    LineFloor floor;
    int okRuns = 0, runs = 1; // of the runs a median stands for, how many passed
    double minWall = 0, maxWall = 0;
};

PtyRun OnPty(const VarnexSim::ModelOptions& options, const std::function<bool()>& work,
             const std::function<void()>& prepare = {})
{
    constexpr unsigned long kAfterPowerUpMs = 1200;
    PtySim sim(1, options);
    SelectedPort = 1;
    MessageRecorder quiet;
    QThread::msleep(kAfterPowerUpMs);
    if (prepare)
        prepare();
    const std::size_t before = sim.Transcript().size();
    PtyRun run;
    const double wall0 = WallSeconds();
    run.ok = work();
    run.wall = WallSeconds() - wall0;
    CommsFrm::SerialPort().SetPortOpen(false);
    run.floor = FloorOf(sim.Transcript(), before);
    return run;
}

PtyRun OnPty(qint32 from, const std::function<bool()>& work, const std::function<void()>& prepare = {})
{
    return OnPty(At(from), work, prepare);
}

// The product's port, counting the line time of every byte it writes and
// reads at the rate it runs at: what the PC's line carried, whatever it was
// (answers, or the receiver's own output that they queue behind).
class CountingDevice final : public SerialDevice {
public:
    explicit CountingDevice(LineFloor& floor) : floor_(floor) {}
    bool Open(const QString& path, qint32 baud, QString& error) override { baud_ = baud; return port_.Open(path, baud, error); }
    void Close() override { port_.Close(); }
    bool IsOpen() const override { return port_.IsOpen(); }
    bool SetBaudRate(qint32 baud) override { baud_ = baud; return port_.SetBaudRate(baud); }
    void Write(const QByteArray& bytes) override
    {
        floor_.Add(baud_, bytes.size(), true);
        port_.Write(bytes);
    }
    QByteArray ReadAll() override
    {
        QByteArray bytes = port_.ReadAll();
        floor_.Add(baud_, bytes.size(), false);
        return bytes;
    }
    void WaitForInput(double seconds) override { port_.WaitForInput(seconds); }
    bool IsGone() const override { return port_.IsGone(); }

private:
    LineFloor& floor_;
    QtSerialDevice port_;
    qint32 baud_ = 0;
};

// True when every item was compared and equal; otherwise says on stderr
// how the proof ended and which items differed, so a failed row can be told.
bool Proved(const Verification::ReadBack& readBack)
{
    if (readBack.end == Verification::ReadBackEnd::Compared && Verification::AllEqual(readBack.items))
        return true;
    std::fprintf(stderr, "  proof: %s\n", qPrintable(Verification::EndName(readBack.end)));
    for (const Verification::Item& item : readBack.items)
        if (!item.equal)
            std::fprintf(stderr, "    %s (read at %d)\n", qPrintable(Verification::Describe(item)), item.rate);
    return false;
}

// What `verify` does once the port is chosen: find the link, read back.
bool Verify(const SetupOutputs::Profile& p)
{
    const auto expected = Verification::ExpectedState(p);
    const auto link = Verification::FindForProof(CommsFrm::SerialPort(), expected);
    if (!link)
        return false;
    const auto readBack = Verification::Prove(CommsFrm::SerialPort(), expected, Verification::Start::Found, *link);
    return Proved(readBack);
}

// Runs `work` on a pty as OnPty does, with its floor counted at the PC
// (CountingDevice) from the work's start: every port the work opens counts.
PtyRun CountedRun(const VarnexSim::ModelOptions& options, const std::function<bool()>& work,
                  const std::function<void()>& prepare = {})
{
    LineFloor counted;
    bool counting = false;
    SerialControl::SetDeviceFactory([&]() -> std::unique_ptr<SerialDevice> {
        if (counting)
            return std::make_unique<CountingDevice>(counted);
        return std::make_unique<QtSerialDevice>();
    });
    PtyRun run = OnPty(options, [&] {
        counting = true;
        const bool ok = work();
        counting = false;
        return ok;
    }, prepare);
    SerialControl::SetDeviceFactory({});
    run.floor = counted;
    return run;
}

PtyRun CountedRun(qint32 from, const std::function<bool()>& work, const std::function<void()>& prepare = {})
{
    return CountedRun(At(from), work, prepare);
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

// What `configure --fast --verify` does once the port is chosen: the fast
// run, then the proof of what it just sent and saved.
bool FastAndVerify(const SetupOutputs::Profile& p)
{
    SetupOutputs::FoundLink link;
    if (!SetupOutputs::RunProfileFast(p, CommsFrm::SerialPort(), {}, &link))
        return false;
    const auto readBack = Verification::Prove(CommsFrm::SerialPort(), Verification::ExpectedState(p),
                                              Verification::Start::JustConfigured, link);
    return Proved(readBack);
}

// A unit as it comes to the bench: its link at `baud` (0 on USB), its
// output running since power-up (the run starts 1.2 s into it), and, when
// `fill` > 0, messages of its own filling that share of the line.
// With --drop-answers, an answer its full transmit buffer cannot take is
// dropped, as a real unit's is.
bool gDropAnswers = false;
VarnexSim::ModelOptions Unit(qint32 baud, double fill, int linkPort = 1)
{
    VarnexSim::ModelOptions options;
    options.linkPort = linkPort;
    options.startBaud = baud;
    options.fill = fill;
    options.faults.answersDropWhenFull = gDropAnswers;
    return options;
}

// The median run of `runs` by wall time; ok only when every run was.
PtyRun Median(int runs, const std::function<PtyRun()>& one)
{
    std::vector<PtyRun> each;
    for (int i = 0; i < runs; ++i)
        each.push_back(one());
    std::sort(each.begin(), each.end(), [](const PtyRun& a, const PtyRun& b) { return a.wall < b.wall; });
    PtyRun median = each[each.size() / 2];
    median.runs = runs;
    median.minWall = each.front().wall;
    median.maxWall = each.back().wall;
    median.okRuns = int(std::count_if(each.begin(), each.end(), [](const PtyRun& e) { return e.ok; }));
    median.ok = median.okRuns == runs;
    return median;
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
        const auto phase = [&started, runs] { QThread::msleep(static_cast<unsigned long>(1000 * (started++ % runs) / runs)); };
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

void CompareFast(const QStringList& wanted, const QList<qint32>& rates)
{
    std::printf("%-8s %6s %8s %8s %11s %8s %9s  %s\n", "device", "from", "fast s", "floor s", "bytes o/i", "exact s",
                "fast/ex", "ok");
    for (const SetupOutputs::Profile& p : SetupOutputs::Profiles()) {
        if (!wanted.isEmpty() && !wanted.contains(QString::fromLatin1(p.key), Qt::CaseInsensitive))
            continue;
        for (const qint32 from : rates) {
            const PtyRun fast = OnPty(from, [&p] { return SetupOutputs::RunProfileFast(p, CommsFrm::SerialPort()); });
            const PtyRun exact = OnPty(from, [&p] { return SetupOutputs::RunProfile(p); });
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
