#pragma once

#include "profiles/SetupOutputs.h"

#include <QString>
#include <QStringList>

// The command line's arguments, read by one pure function:
//   varnexconfig configure DEVICE --port PORT [--verify] [--report FILE] [--serial TEXT] [--repeat] [--fast]
//   varnexconfig verify DEVICE --port PORT [--report FILE] [--serial TEXT]
//   varnexconfig ports
//   varnexconfig --help | --version
namespace Cli {

enum class Command { Configure, Verify, Ports, Help, Version };

struct Arguments {
    Command command = Command::Help;
    const SetupOutputs::Profile* device = nullptr;
    QString port;        // as given
    int portNumber = 0;  // PC port N, or 0 when `port` is a device path
    bool verify = false; // configure: read back after the save (always for verify)
    bool repeat = false;
    bool fast = false;   // configure: the fast runner, same end state
    QString report;      // empty: no report
    QString serial;
};

struct Parsed {
    Arguments arguments;
    QString error; // empty when the arguments are usable; else one line naming the fault
};

// `args` without the program name.
Parsed Parse(const QStringList& args);

// True when main() should hand `args` (without the program name) to the
// command line rather than open the window: any argument but a Qt option
// such as "-platform offscreen".
bool WantsCommandLine(const QStringList& args);

QString Usage();

} // namespace Cli
