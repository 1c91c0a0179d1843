#pragma once

#include "cli/Arguments.h"

#include <QString>

#include <cstdio>
#include <optional>

// configure --repeat: a bench station on one port (station/Station.h), each
// unit under its own serial number, until Ctrl-C; its changes told on the
// console and, with --events, as JSON lines on standard output.
namespace Cli {

class Console;
class Session;

// Reads the serial number of unit `number` from `in` (a barcode scanner ends
// it with Enter). On a terminal, what was typed before the prompt is dropped;
// an empty line, or `previous` (a double scan), is refused and asked again.
// Nothing at the end of the input or when interrupted.
std::optional<QString> AskSerial(std::FILE* in, Console& console, int number, const QString& previous);

int RunBenchLoop(const Arguments& a, const Streams& s, Console& console, Session& session);

} // namespace Cli
