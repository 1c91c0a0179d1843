// Each receiver generation from its factory, as a bench meets it: a unit of
// that generation at its factory rate (9600 on u-blox 6 and 8, 38400 on 9
// and 10) with its factory output on since its power-up, on a real
// pseudo-terminal against the simulator, and the whole commands a line runs
// on it, for each of the five devices written for that generation
// (`profile DEVICE --generation N`):
//
//  - read            `read --port P --out F` of a golden unit configured from
//                    the device's file (untimed);
//  - --fast --verify `configure --profile F --port P --fast --verify` of a
//                    fresh unit;
//  - verify          `verify --profile F --port P` of the unit so configured
//                    (configured untimed just before).
//
// An answer waits behind whatever output the unit queued when its request
// arrived, so run i of N starts i/N of a second later into the unit's
// output cycle. Each row gives the median, the 95th percentile (nearest
// rank) and the maximum wall time of the command, the runs within its goal
// (1.5 s for --fast --verify, 1.0 s for verify; read has none) and the runs
// that ended with exit 0. A run that did not says why on stderr.
//
// The commands run in this process through the command line's own entry
// (Cli::Main), from parsing to verdict; with --process each is the packaged
// program started as a child, so its start-up counts too.
//
//   build/bench/bench_generations [--runs N] [--generations 6,8,9,10] [--process] [device ...]
#include "ProfileRuns.h"
#include "ProofBench.h"
#include "cli/CliRun.h"
#include "link/CommsFrm.h"
#include "profiles/SetupOutputs.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

using namespace ProfileBench;

namespace {

bool gAsProcess = false;

// Runs the command line on `args`; true on exit 0, else says on stderr how it ended.
bool Tool(const QStringList& args)
{
    int code = -1;
    QString said;
    if (gAsProcess) {
        QProcess tool;
        tool.setProcessChannelMode(QProcess::MergedChannels);
        tool.start(QStringLiteral(VARNEX_TOOL_EXE), args);
        if (tool.waitForFinished(120000) && tool.exitStatus() == QProcess::NormalExit)
            code = tool.exitCode();
        said = QString::fromLocal8Bit(tool.readAll());
    } else {
        const CliRun::Captured run = CliRun::RunCli(args);
        code = run.code;
        said = run.err;
    }
    if (code != 0)
        std::fprintf(stderr, "  %s: exit %d\n%s\n", qPrintable(args.join(u' ')), code,
                     qPrintable(said.trimmed().right(600)));
    return code == 0;
}

// A unit of `generation` as it comes from the factory: its factory rate and
// output, running since its power-up.
VarnexSim::ModelOptions Factory(int generation)
{
    VarnexSim::ModelOptions options = At(0);
    options.generation = generation;
    options.outputFromFirstByte = false;
    return options;
}

void TimeGeneration(int generation, const SetupOutputs::Profile& p, const QTemporaryDir& dir, int runs)
{
    const QString key = QLatin1String(p.key);
    const QString file = dir.filePath(QStringLiteral("%1-%2.toml").arg(key).arg(generation));
    const QString clone = dir.filePath(QStringLiteral("clone-%1-%2.toml").arg(key).arg(generation));
    if (!Tool({QStringLiteral("profile"), key, QStringLiteral("--generation"), QString::number(generation),
               QStringLiteral("--out"), file}))
        return;
    const QStringList port{QStringLiteral("--port"), QStringLiteral("1")};
    const QStringList configure = QStringList{QStringLiteral("configure"), QStringLiteral("--profile"), file} + port
                                  + QStringList{QStringLiteral("--fast")};
    const auto configured = [&] { Tool(configure); };
    const QString unit = QStringLiteral("u-blox %1 %2").arg(generation).arg(QLatin1String(p.name));
    int started = 0;
    const auto phase = Phases(started, runs);
    const auto after = [&phase](const std::function<void()>& first) {
        return [first, &phase] {
            first();
            CommsFrm::SerialPort().SetPortOpen(false);
            phase();
        };
    };
    CycleRow(unit, 17, "read", Runs(runs, [&] {
                 return OnPty(Factory(generation), [&] { return Tool(QStringList{QStringLiteral("read")} + port + QStringList{QStringLiteral("--out"), clone}); },
                              after(configured));
             }), 0);
    CycleRow(unit, 17, "--fast --verify", Runs(runs, [&] {
                 return OnPty(Factory(generation), [&] { return Tool(configure + QStringList{QStringLiteral("--verify")}); }, phase);
             }), 1.5);
    CycleRow(unit, 17, "verify", Runs(runs, [&] {
                 return OnPty(Factory(generation), [&] {
                     return Tool(QStringList{QStringLiteral("verify"), QStringLiteral("--profile"), file} + port);
                 }, after(configured));
             }), 1.0);
}

} // namespace

int main(int argc, char** argv)
{
    // As the program's own command line runs: no window, a bare core application.
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("VarnexConfig"));
    QStringList wanted;
    QList<int> generations{6, 8, 9, 10};
    int runs = 10;
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        if (arg == QStringLiteral("--runs") && i + 1 < argc)
            runs = std::max(1, QString::fromLocal8Bit(argv[++i]).toInt());
        else if (arg == QStringLiteral("--generations") && i + 1 < argc) {
            generations.clear();
            for (const QString& g : QString::fromLocal8Bit(argv[++i]).split(u','))
                generations << g.toInt();
        } else if (arg == QStringLiteral("--process"))
            gAsProcess = true;
        else
            wanted << arg;
    }
    QTemporaryDir dir;
    CycleHeader("unit", 17);
    for (const int generation : generations)
        for (const SetupOutputs::Profile& p : SetupOutputs::Profiles())
            if (wanted.isEmpty() || wanted.contains(QString::fromLatin1(p.key), Qt::CaseInsensitive))
                TimeGeneration(generation, p, dir, runs);
    CommsFrm::Unload();
    return 0;
}
