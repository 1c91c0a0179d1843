#pragma once

#include "profiles/SetupOutputs.h"

#include <QString>
#include <QStringList>

#include <cstdio>
#include <span>

// The command line's arguments, read through QCommandLineParser from one table
// of commands, options and exit codes. A command's row holds its handler, so
// running a command is looking up its row, and `--help` (the whole or one
// command's) is built from the same rows.
namespace Cli {

enum class Command { Configure, Verify, Ports, Help, Version, Profile, Read, Summary, Profiles };

struct Arguments;
struct Streams {
    std::FILE* out = stdout;
    std::FILE* err = stderr;
    bool terminal = false; // err is a terminal: progress updates one line, the verdict may be coloured
    std::FILE* in = stdin; // --serial -: one line before each unit
};
using Handler = int (*)(const Arguments&, const Streams&);

// A lost record outranks every other outcome: a unit whose line is lost
// exits kReportLost whatever else happened to it.
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
    bool events = false; // --repeat: the station's changes as JSON lines on standard output
    bool fast = false;   // configure: the fast runner, same end state
    QString report;      // empty: no report
    QString record;      // --record URL: the database each unit is recorded in; empty: none
    bool byStation = false; // summary --by station
    QString serial;
    bool serialFromInput = false; // --serial -: one line of standard input before each unit
    QString profileFile; // configure, verify: the device's table from this file instead of DEVICE
    QString profileSha256; // of the file's bytes, once read
    QString out;         // profile, read: the file written (empty: standard output)
    bool saved = false;  // read: the saved configuration rather than the running one
    bool quiet = false;  // the verdict alone on the console
    bool reportFrames = false; // every frame and item in the record, also for a unit that passed
    bool dryRun = false; // configure: print the frames, send nothing
    bool json = false;   // ports, summary: for machines
    QString check;       // profile --check FILE
    int generation = 0;  // profile --generation N: the device written for receiver generation N
    QStringList files;   // summary
    Command helpFor = Command::Help; // help: the command whose usage is shown (Help: all)
};

struct Parsed {
    Arguments arguments;
    QString error; // empty when the arguments are usable; else one line naming the fault
};

// `args` without the program name.
Parsed Parse(const QStringList& args);

// `args` without Qt's own window options and their values ("-platform
// offscreen", "-style=fusion"), which belong to the window.
QStringList WithoutQtOptions(const QStringList& args);
// True when main() should hand `args` (without the program name) to the
// command line rather than open the window: anything beyond Qt's own options.
bool WantsCommandLine(const QStringList& args);

// The whole usage, or one command's (`command` not Help).
QString Usage(Command command = Command::Help);
// The handler of the command's row.
Handler HandlerOf(Command command);

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
