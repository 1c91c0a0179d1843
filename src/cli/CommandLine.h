#pragma once

#include "cli/Arguments.h"
#include "cli/Report.h"

#include <QStringList>

#include <cstdio>

// The command line's runs: configure and verify one unit (or, with --repeat,
// one after another), list the ports, help and version. No window is
// created: it runs on a bare QCoreApplication, over SSH, in containers and CI.
namespace Cli {

struct Streams {
    std::FILE* out = stdout;
    std::FILE* err = stderr;
    bool terminal = false; // err is a terminal: progress updates one line
    std::FILE* in = stdin; // --serial -: one line before each unit
};

// Parses `args` (without the program name) and runs them.
int Main(const QStringList& args, const Streams& streams);
// Runs parsed arguments.
int Run(const Arguments& arguments, const Streams& streams);

// One unit: the run (configure) or the search (verify), the read-back when
// asked, the receiver's identity, the port closed afterwards. `path`, when
// given, is opened in place of the port's mapping (the bench loop's stable
// name). Messages and progress go to `console`.
class Console;
UnitRecord RunUnit(const Arguments& arguments, Console& console, const QString& path = QString());

} // namespace Cli
