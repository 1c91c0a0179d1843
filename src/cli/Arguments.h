#pragma once

#include "profiles/SetupOutputs.h"

#include <QString>
#include <QStringList>

#include <span>

// The command line's arguments, read through QCommandLineParser from one table
// of commands, options and exit codes; `--help` is built from the same table:
//   varnexconfig configure DEVICE --port PORT [--verify] [--report FILE] [--serial TEXT|-] [--repeat] [--fast]
//   varnexconfig verify DEVICE --port PORT [--report FILE] [--serial TEXT|-]
//   varnexconfig configure --profile FILE --port PORT [...], verify --profile FILE --port PORT [...]
//   varnexconfig profile DEVICE [--out FILE]
//   varnexconfig read --port PORT [--saved] [--out FILE]
//   varnexconfig ports
//   varnexconfig --help | -h | --version | -V
namespace Cli {

enum class Command { Configure, Verify, Ports, Help, Version, Profile, Read };

enum ExitCode {
    kDone = 0,
    kStepFailed = 1,
    kUsage = 2,
    kPortNotOpened = 3,
    kDifference = 4,
    kReportLost = 5,
    kInterrupted = 130, // as a shell reports a program ended by Ctrl-C
};

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
    bool serialFromInput = false; // --serial -: one line of standard input before each unit
    QString profileFile; // configure, verify: the device's table from this file instead of DEVICE
    QString out;         // profile, read: the file written (empty: standard output)
    bool saved = false;  // read: the saved configuration rather than the running one
};

struct Parsed {
    Arguments arguments;
    QString error; // empty when the arguments are usable; else one line naming the fault
};

// `args` without the program name.
Parsed Parse(const QStringList& args);

// True when main() should hand `args` (without the program name) to the
// command line rather than open the window: anything but nothing at all or
// one of Qt's own window options such as "-platform offscreen" first.
bool WantsCommandLine(const QStringList& args);

QString Usage();

// The table the parser and the help are made of, for the man page's check.
struct OptionSpec {
    const char* name;      // long name, without the dashes
    const char* shortName; // one letter, or nullptr
    const char* valueName; // nullptr for a flag
    unsigned commands;     // bit (1 << Command) for each command that takes it
    const char* help;
};
struct ExitSpec {
    int code;
    const char* meaning;
};
std::span<const OptionSpec> Options();
std::span<const ExitSpec> ExitCodes();

} // namespace Cli
