// The station window with three bench ports on simulated receivers whose
// boards are swapped under their adapters every --every seconds (default 7)
// for --seconds (default 600): units configured per hour, the window's own
// CPU (its GUI thread: the stations are processes of their own and the
// simulators threads of their own), and the time from a unit's end (the
// station's "done" event, stamped when it was written) to its verdict on the
// panel.
//
//   xvfb-run -a build/bench/bench_station_window [--seconds 600] [--every 7] [--device pemmet]
#include "BenchUtil.h"
#include "app/StationPanel.h"
#include "app/StationWindow.h"
#include "harness/PtySim.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const auto value = [&](const char* name, const QString& fallback) {
        const qsizetype at = args.indexOf(QLatin1String(name));
        return at >= 0 && at + 1 < args.size() ? args[at + 1] : fallback;
    };
    const double seconds = value("--seconds", "600").toDouble();
    const double every = value("--every", "7").toDouble();
    std::vector<std::unique_ptr<PtySim>> sims;
    QStringList portArgs;
    for (int i = 1; i <= 3; ++i) {
        sims.push_back(std::make_unique<PtySim>(i, VarnexSim::ModelOptions{.swapEvery = every}));
        if (!sims.back()->IsValid()) {
            std::fprintf(stderr, "%s\n", qPrintable(sims.back()->Error()));
            return 1;
        }
        portArgs << "--port" << sims.back()->DevicePath();
    }
    QString error;
    auto options = StationWindow::Parse(portArgs + QStringList{value("--device", "pemmet"), "--fast", "--verify"}, error);
    if (!options) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    options->tool = QStringLiteral(VARNEX_TOOL_EXE);
    StationWindow window(*options);
    window.show();
    std::vector<double> latency;
    for (StationPanel* panel : window.Panels()) {
        auto seen = std::make_shared<qsizetype>(0);
        QObject::connect(panel, &StationPanel::changed, [panel, seen, &latency] {
            const qsizetype units = panel->Model().passed + panel->Model().failed;
            if (units == *seen || panel->Model().last.isEmpty())
                return;
            *seen = units;
            latency.push_back(panel->Model().last.first().time.msecsTo(QDateTime::currentDateTimeUtc()) / 1000.0);
        });
    }
    const double cpu0 = BenchUtil::CpuSeconds(), wall0 = BenchUtil::WallSeconds();
    QTimer::singleShot(int(seconds * 1000), &window, [&] { window.close(); });
    QApplication::exec();
    const double cpu = BenchUtil::CpuSeconds() - cpu0, wall = BenchUtil::WallSeconds() - wall0;
    int passed = 0, failed = 0;
    for (StationPanel* panel : window.Panels()) {
        passed += panel->Model().passed;
        failed += panel->Model().failed;
    }
    std::sort(latency.begin(), latency.end());
    std::printf("3 ports, boards swapped every %.0f s, %.0f s: units %d (passed %d, failed %d), %.0f units an hour; "
                "the window's CPU %.2f %% of a core; a unit's end to its verdict on the panel: median %.1f ms, max %.1f ms\n",
                every, wall, passed + failed, passed, failed, (passed + failed) * 3600.0 / wall, 100.0 * cpu / wall,
                1000 * BenchUtil::Median(latency), latency.empty() ? 0.0 : 1000 * latency.back());
    return 0;
}
