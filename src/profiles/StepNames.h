#pragma once

#include "profiles/SetupOutputs.h"

#include <QString>

namespace SetupOutputs {

// A step as the operation it runs and its arguments, for progress lines,
// errors and records: "SetMessageRate F0 04 rate 5 port 2",
// "SetBaudRate 4800 port 2", "WriteConfiguration 200 ms rate 1"; a message
// set on several ports at once: "SetMessageRate F0 00 rates 0 3 7 0" (ports 0..3).
QString StepName(const Step& step);

} // namespace SetupOutputs
