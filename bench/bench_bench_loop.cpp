// The bench loop's reaction times, with the packaged tool in `configure
// --fast --repeat` on a pseudo-terminal against the simulator: from a unit's
// plug-in to the start of its run, from its unplug (the device vanishes) to
// "gone", and from the moment a unit falls silent with its device left in
// place (it answers nothing) to "gone". Once for a unit that talks (the
// factory's NMEA output) and once for a silent one (every output off).
//
//   build/bench/bench_bench_loop [--units N]
#include "BenchUtil.h"
#include "harness/PtySim.h"

#include <QCoreApplication>
#include <QProcess>

#include <csignal>
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
    out.Until(QStringLiteral("Waiting for the next unit"));
    std::vector<double> plugIn, unplug, silence;
    for (int i = 1; i <= units; ++i) {
        // Plugged in: a fresh unit behind the same name.
        sim.SetFaults({});
        sim.SetRunning(Unit(silent));
        double t0 = BenchUtil::WallSeconds();
        sim.Replug();
        plugIn.push_back(out.Until(QStringLiteral("[1/9]")) - t0);
        out.Until(QStringLiteral("Unit %1 on port").arg(i));
        if (i % 2 == 1) {
            t0 = BenchUtil::WallSeconds();
            sim.Unplug();
            unplug.push_back(out.Until(QStringLiteral("is gone")) - t0);
            out.Until(QStringLiteral("Unit %1 on port").arg(i));
        } else {
            // Falls silent where it is: powered off behind an adapter that stays.
            VarnexSim::Faults faults;
            faults.silent = true;
            t0 = BenchUtil::WallSeconds();
            sim.SetFaults(faults);
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

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int units = 6;
    const QStringList args = app.arguments();
    if (const qsizetype at = args.indexOf(QStringLiteral("--units")); at >= 0 && at + 1 < args.size())
        units = args[at + 1].toInt();
    std::printf("unit     measure                  n   median     min     max   (seconds)\n");
    Measure(false, units);
    Measure(true, units);
    return 0;
}
