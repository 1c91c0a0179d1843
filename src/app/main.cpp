#include "app/StartModule.h"
#include "app/StationWindow.h"
#include "cli/CommandLine.h"
#include "cli/Interrupts.h"
#include "support/SupportFunctions.h"

#include <QApplication>

#include <cstdio>

#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

namespace {

// With a subcommand the program runs without a windowing system: a bare
// core application, messages and progress on stderr.
int RunCommandLine(int argc, char** argv)
{
    Cli::Interrupts::ProtectStandardStreams();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("VarnexConfig"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VARNEXCONFIG_VERSION));
    Cli::Streams streams;
    streams.terminal = isatty(fileno(stderr)) == 1;
    return Cli::Main(Cli::WithoutQtOptions(QCoreApplication::arguments().mid(1)), streams);
}

// `station`: the station window, which runs each bench port's station as a
// child process of this program.
int RunStationWindow(int argc, char** argv)
{
    Cli::Interrupts::ProtectStandardStreams();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("VarnexConfig"));
    const QStringList args = Cli::WithoutQtOptions(QCoreApplication::arguments().mid(1));
    QString error;
    const auto options = StationWindow::Parse(args.mid(1), error);
    if (!options) {
        std::fputs(qPrintable(error), stderr);
        std::fputc('\n', stderr);
        return args.contains(QStringLiteral("--help")) || args.contains(QStringLiteral("-h")) ? 0 : 2;
    }
    StationWindow window(*options);
    StationWindow::CloseOnSignals(window);
    window.show();
    return QApplication::exec();
}

} // namespace

int main(int argc, char** argv)
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    if (const QStringList command = Cli::WithoutQtOptions(args); !command.isEmpty() && command.first() == QLatin1String("station"))
        return RunStationWindow(argc, argv);
    if (Cli::WantsCommandLine(args))
        return RunCommandLine(argc, argv);

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("VarnexConfig"));
    StartModule::Main();
    int status = 0;
    if (SupportFunctions::IsFormLoaded(QStringLiteral("CommSetup")))
        status = QApplication::exec();
    // Windows unloaded on the way out are deleted before the application goes.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return status;
}
