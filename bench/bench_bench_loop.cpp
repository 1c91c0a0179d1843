// The bench loop's reaction times, with the packaged tool in `configure
// --fast --repeat` on a pseudo-terminal against the simulator: from a unit's
// plug-in to the start of its run, from its unplug (the device vanishes) to
// "gone", and from the moment a unit falls silent with its device left in
// place (it answers nothing and sends nothing) to "gone". Once for a unit
// that talks (the factory's NMEA output) and once for a silent one (every
// output off).
//
//   build/bench/bench_bench_loop [--units N]
//
// With --left-on, a unit left on the bench after its run: a Molvane (--device
// for another) whose own output, with messages of its own, fills 90 % of the
// line (--fill), watched by the loop for --seconds S (default 120; 600 for
// the full run). Counted: the runs, the lines that call it gone and the new
// boards the loop saw (false "gone": every one of them, the unit never moved),
// and the share of the line the unit's output filled over the watch.
//
//   build/bench/bench_bench_loop --left-on [--seconds 600] [--fill 0.9] [--device molvane]
//
// With --swap, boards swapped under one adapter every --every S seconds
// (default 9) with --gap G seconds without a board (default 0.8), for
// --swaps N swaps (default 8); with --usb as well, receivers with their own
// USB port on one socket, each board a device of its own behind a stable
// name (the loop given port 1). Counted: the boards offered, configured
// once, twice or more, and missed (run starts within each board's time on
// the bench), and the time from each board's arrival to the start of its run.
//
//   build/bench/bench_bench_loop --swap [--usb] [--swaps 8] [--every 9] [--gap 0.8] [--device molvane]
#include "BenchUtil.h"
#include "harness/PtySim.h"
#include "sim/NavOutput.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <csignal>
#include <iterator>
#include <cstdio>

namespace {

// The tool's stderr, read as it comes; Until() returns when `text` has
// appeared after what was already seen, with the time it appeared.
class ToolOutput {
public:
    explicit ToolOutput(QProcess& tool) : tool_(tool) {}
    double Until(const QString& text, double timeout = 60)
    {
        const double end = BenchUtil::WallSeconds() + timeout;
        for (;;) {
            tool_.waitForReadyRead(2);
            seen_ += QString::fromLocal8Bit(tool_.readAllStandardError());
            const qsizetype at = seen_.indexOf(text, from_);
            if (at >= 0) {
                from_ = at + text.size();
                return BenchUtil::WallSeconds();
            }
            if (BenchUtil::WallSeconds() > end) {
                std::fprintf(stderr, "no \"%s\" within %.0f s; the tool said:\n%s\n", qPrintable(text), timeout,
                             qPrintable(seen_.mid(from_)));
                std::exit(1);
            }
        }
    }

    // Reads for `seconds`, giving the time each new occurrence of `text` appeared.
    std::vector<double> Each(const QString& text, double seconds)
    {
        std::vector<double> at;
        const double end = BenchUtil::WallSeconds() + seconds;
        while (BenchUtil::WallSeconds() < end) {
            tool_.waitForReadyRead(2);
            seen_ += QString::fromLocal8Bit(tool_.readAllStandardError());
            for (qsizetype i = seen_.indexOf(text, from_); i >= 0; i = seen_.indexOf(text, from_)) {
                from_ = i + text.size();
                at.push_back(BenchUtil::WallSeconds());
            }
        }
        return at;
    }
    int Count(const QString& text) const { return int(seen_.count(text)); }

private:
    QProcess& tool_;
    QString seen_;
    qsizetype from_ = 0;
};

VarnexSim::ReceiverConfig Unit(bool silent)
{
    VarnexSim::ReceiverConfig config = VarnexSim::FactoryDefaults();
    if (silent)
        config.msgRates.clear();
    return config;
}

void Measure(bool silent, int units)
{
    PtySim sim(1);
    if (!sim.IsValid()) {
        std::fprintf(stderr, "%s\n", qPrintable(sim.Error()));
        std::exit(1);
    }
    sim.Unplug();
    QProcess tool;
    tool.start(QStringLiteral(VARNEX_TOOL_EXE), {"configure", "pemmet", "--port", sim.DevicePath(), "--fast", "--repeat"});
    ToolOutput out(tool);
    out.Until(QStringLiteral("Waiting for unit 1"));
    std::vector<double> plugIn, unplug, silence;
    for (int i = 1; i <= units; ++i) {
        // Plugged in: a fresh unit behind the same name.
        sim.SetFaults({});
        sim.SetRunning(Unit(silent));
        double t0 = BenchUtil::WallSeconds();
        sim.Replug();
        plugIn.push_back(out.Until(QStringLiteral("[1/9]")) - t0);
        out.Until(QStringLiteral("Unit %1 done: remove it").arg(i));
        if (i % 2 == 1) {
            t0 = BenchUtil::WallSeconds();
            sim.Unplug();
            unplug.push_back(out.Until(QStringLiteral("Unit %1 on port %2 is gone").arg(i).arg(sim.DevicePath())) - t0);
            out.Until(QStringLiteral("Waiting for unit %1").arg(i + 1));
        } else {
            // Falls silent where it is: powered off behind an adapter that stays.
            // Nothing more comes from it: no answer and no output of its own.
            VarnexSim::Faults faults;
            faults.silent = true;
            VarnexSim::ReceiverConfig off = sim.Running();
            off.msgRates.clear();
            t0 = BenchUtil::WallSeconds();
            sim.SetFaults(faults);
            sim.SetRunning(off);
            silence.push_back(out.Until(QStringLiteral("Unit %1 on port %2 is gone").arg(i).arg(sim.DevicePath())) - t0);
            sim.Unplug();
        }
    }
    ::kill(pid_t(tool.processId()), SIGINT);
    tool.waitForFinished(20000);
    const auto row = [&](const char* what, const std::vector<double>& v) {
        if (v.empty())
            return;
        std::printf("%-8s %-22s %3zu   %6.3f  %6.3f  %6.3f\n", silent ? "silent" : "talking", what, v.size(),
                    BenchUtil::Median(v), *std::min_element(v.begin(), v.end()), *std::max_element(v.begin(), v.end()));
    };
    row("plug-in -> run start", plugIn);
    row("unplug -> gone", unplug);
    row("falls silent -> gone", silence);
}

struct Loop {
    QString device = QStringLiteral("molvane");
    double seconds = 120, fill = 0.9;
    int swaps = 8;
    double every = 9, gap = 0.8;
};

// Outcomes of the report's lines: how many are "done" and how many in all.
std::pair<int, int> Outcomes(const QString& report)
{
    QFile file(report);
    int done = 0, all = 0;
    if (!file.open(QIODevice::ReadOnly))
        return {0, 0};
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.trimmed().isEmpty())
            continue;
        ++all;
        done += QJsonDocument::fromJson(line).object()["outcome"].toString() == QStringLiteral("done");
    }
    return {done, all};
}

void StartLoop(QProcess& tool, const Loop& l, const QString& path, const QString& report)
{
    tool.start(QStringLiteral(VARNEX_TOOL_EXE),
               {"configure", l.device, "--port", path, "--fast", "--repeat", "--report", report});
}

void Stop(QProcess& tool)
{
    ::kill(pid_t(tool.processId()), SIGINT);
    tool.waitForFinished(20000);
}

// Share of the line the unit's output takes, from its running configuration
// (the simulator's periodic messages at their rates, and a busy unit's extra
// output while it is on), at the rate its link runs at.
double LineShare(PtySim& sim)
{
    return sim.WithModel([](const VarnexSim::ReceiverModel& m) {
        const VarnexSim::ReceiverConfig& c = m.Running();
        const int port = m.LinkPort();
        const VarnexSim::NavSolution fix{VarnexSim::FirstSolutionUtc()};
        const double period = c.measRateMs * std::max<int>(1, c.navRate) / 1000.0;
        double bytes = 0;
        bool busyOn = false;
        for (VarnexSim::MsgKey key : VarnexSim::PeriodicMessages()) {
            const quint8 rate = c.Rate(key, port);
            const quint16 protocol = (key >> 8) == 0xF0 ? 0x0002 : 0x0001;
            if (rate != 0 && (c.ports[port].outProtoMask & protocol))
                bytes += double(VarnexSim::PeriodicMessage(key, fix).size()) / rate;
        }
        for (VarnexSim::MsgKey key : VarnexSim::BusyMessages())
            busyOn = busyOn || (c.Rate(key, port) != 0 && (c.ports[port].outProtoMask & 0x0001));
        const double perSecond = bytes / period + (busyOn ? m.BusyBytesPerSecond() : 0);
        return m.LinkBaud() > 0 ? perSecond * 10.0 / m.LinkBaud() : 0.0;
    });
}

void LeftOn(const Loop& l)
{
    VarnexSim::ModelOptions options;
    options.fill = l.fill;
    PtySim sim(1, options);
    QTemporaryDir dir;
    const QString report = dir.filePath(QStringLiteral("report.jsonl"));
    QProcess tool;
    StartLoop(tool, l, sim.DevicePath(), report);
    ToolOutput out(tool);
    out.Until(QStringLiteral("[1/"));
    out.Until(QStringLiteral("done: remove it"));
    const double share = LineShare(sim);
    const int dropped0 = sim.WithModel([](const VarnexSim::ReceiverModel& m) { return m.DroppedMessages(); });
    const std::vector<double> runs = out.Each(QStringLiteral("[1/"), l.seconds);
    const int dropped = sim.WithModel([](const VarnexSim::ReceiverModel& m) { return m.DroppedMessages(); }) - dropped0;
    Stop(tool);
    const auto [done, lines] = Outcomes(report);
    std::printf("left on %.0f s after its run (%s, fill %.2f): runs after the first %zu, \"is gone\" %d, "
                "new boards %d, report lines %d (done %d); the unit's output by its configuration %.0f %% of the line, "
                "messages dropped from its full transmit buffer while watched %d\n",
                l.seconds, qPrintable(l.device), l.fill, runs.size(), out.Count(QStringLiteral("is gone")),
                out.Count(QStringLiteral("A new board")), lines, done, 100 * share, dropped);
}

// Boards offered, and how many were configured once, twice or more, or
// missed: the run starts that fall in each board's time on the bench.
struct Count {
    int offered = 0, once = 0, twice = 0, missed = 0;
    std::vector<double> toRun; // from each board's arrival to the start of its first run
};

Count CountRuns(const std::vector<double>& arrivals, double end, const std::vector<double>& starts)
{
    Count c;
    for (std::size_t k = 0; k < arrivals.size(); ++k) {
        const double from = arrivals[k], to = k + 1 < arrivals.size() ? arrivals[k + 1] : end;
        std::vector<double> runs;
        std::copy_if(starts.begin(), starts.end(), std::back_inserter(runs), [&](double t) { return t >= from && t < to; });
        ++c.offered;
        c.once += runs.size() == 1;
        c.twice += runs.size() >= 2;
        c.missed += runs.empty();
        if (!runs.empty())
            c.toRun.push_back(runs.front() - from);
    }
    return c;
}

// Boards swapped every `every` s for `swaps` swaps with `gap` s without a
// board: under an adapter that stays (the simulator swaps them), or, with
// `usb`, receivers with their own USB port on one socket (each board's
// device goes with it; a stable name leads to the board there now).
void Swaps(const Loop& l, bool usb)
{
    VarnexSim::ModelOptions options;
    if (usb) {
        options.linkPort = 3;
    } else {
        options.swapEvery = l.every;
        options.swapGap = l.gap;
    }
    const double t0 = BenchUtil::WallSeconds(); // the simulator's clock starts with it: swaps at t0 + k * every
    PtySim sim(1, options, usb ? QStringLiteral("gps-socket-1") : QString());
    QTemporaryDir dir;
    const QString report = dir.filePath(QStringLiteral("report.jsonl"));
    QProcess tool;
    StartLoop(tool, l, usb ? QStringLiteral("1") : sim.DevicePath(), report);
    ToolOutput out(tool);
    std::vector<double> starts, arrivals{t0};
    for (int k = 1; k <= l.swaps; ++k) {
        const double swap = t0 + k * l.every;
        const auto until = [&](double t) {
            const std::vector<double> seen = out.Each(QStringLiteral("[1/"), std::max(0.0, t - BenchUtil::WallSeconds()));
            starts.insert(starts.end(), seen.begin(), seen.end());
        };
        until(swap);
        if (usb) {
            sim.Unplug();
            until(swap + l.gap);
            sim.WithModel([](VarnexSim::ReceiverModel& m) { m.SwapBoard(VarnexSim::PtyReceiverSim::Now(), 0); });
            sim.Replug();
        }
        arrivals.push_back(swap + l.gap);
    }
    const double end = t0 + (l.swaps + 1) * l.every;
    const std::vector<double> last = out.Each(QStringLiteral("[1/"), std::max(0.0, end - BenchUtil::WallSeconds()));
    starts.insert(starts.end(), last.begin(), last.end());
    Stop(tool);
    const Count c = CountRuns(arrivals, end, starts);
    const auto [done, lines] = Outcomes(report);
    std::printf("%s, %d swaps every %.1f s, %.1f s without a board (%s): boards offered %d, configured once %d, "
                "twice or more %d, missed %d; report lines %d (done %d)\n",
                usb ? "receivers with their own USB port on one socket" : "boards under an adapter that stays", l.swaps,
                l.every, l.gap, qPrintable(l.device), c.offered, c.once, c.twice, c.missed, lines, done);
    if (!c.toRun.empty())
        std::printf("from a board's arrival to the start of its run: n %zu, min %.3f, median %.3f, max %.3f s\n",
                    c.toRun.size(), *std::min_element(c.toRun.begin(), c.toRun.end()), BenchUtil::Median(c.toRun),
                    *std::max_element(c.toRun.begin(), c.toRun.end()));
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int units = 6;
    const QStringList args = app.arguments();
    const auto value = [&](const char* name) -> QString {
        const qsizetype at = args.indexOf(QLatin1String(name));
        return at >= 0 && at + 1 < args.size() ? args[at + 1] : QString();
    };
    if (!value("--units").isEmpty())
        units = value("--units").toInt();
    Loop loop;
    if (!value("--device").isEmpty())
        loop.device = value("--device");
    if (!value("--seconds").isEmpty())
        loop.seconds = value("--seconds").toDouble();
    if (!value("--fill").isEmpty())
        loop.fill = value("--fill").toDouble();
    if (!value("--swaps").isEmpty())
        loop.swaps = value("--swaps").toInt();
    if (!value("--every").isEmpty())
        loop.every = value("--every").toDouble();
    if (!value("--gap").isEmpty())
        loop.gap = value("--gap").toDouble();
    if (args.contains(QStringLiteral("--left-on"))) {
        LeftOn(loop);
        return 0;
    }
    if (args.contains(QStringLiteral("--swap"))) {
        Swaps(loop, args.contains(QStringLiteral("--usb")));
        return 0;
    }
    std::printf("unit     measure                  n   median     min     max   (seconds)\n");
    Measure(false, units);
    Measure(true, units);
    return 0;
}
