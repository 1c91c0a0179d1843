#pragma once

#include "cli/Arguments.h"

#include <QStringList>

// The command line's runs: configure and verify one unit (or, with --repeat,
// one after another), and the small commands around them. No window is
// created: it runs on a bare QCoreApplication, over SSH, in containers and CI.
namespace Cli {

// Parses `args` (without the program name, Qt's options taken out) and runs them.
int Main(const QStringList& args, const Streams& streams);
// Runs parsed arguments: the handler of the command's row.
int Run(const Arguments& arguments, const Streams& streams);

} // namespace Cli
