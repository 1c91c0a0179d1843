#pragma once

#include "cli/Arguments.h"

#include <QString>

#include <cstdio>
#include <optional>

// configure --repeat: one unit after another on one device, each under its
// own serial number, until Ctrl-C.
namespace Cli {

class Console;
class Session;

// The device the loop keeps to, resolved once at its start.
struct LoopDevice {
    QString path;   // what the loop opens: a stable name (by-id, by-path), or the device node pinned
    QString entry;  // the ports folder's link that maps the port; empty when none does
    QString target; // where that link led at the start
};
LoopDevice PinDevice(const Arguments& a);
// Empty while the ports folder's link still leads where it did; else where it leads now.
QString MappingMoved(const LoopDevice& device);

// Reads the serial number of unit `number` from `in` (a barcode scanner ends
// it with Enter). On a terminal, what was typed before the prompt is dropped;
// an empty line, or `previous` (a double scan), is refused and asked again.
// Nothing at the end of the input or when interrupted.
std::optional<QString> AskSerial(std::FILE* in, Console& console, int number, const QString& previous);

int RunBenchLoop(const Arguments& a, const Streams& s, Console& console, Session& session);

} // namespace Cli
