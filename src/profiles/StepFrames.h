#pragma once

#include "link/UbxFrame.h"
#include "profiles/SetupOutputs.h"

#include <QString>

#include <vector>

// What each kind of step does, in one place: the receiver operation the exact
// run calls, the frames it sends (which the fast runner sends as they are),
// the status it shows and the message its failure shows. Its name in
// progress lines and records is in StepNames.h.
namespace SetupOutputs {

// Every frame `step` sends, each once, in the order it sends them: the
// reset's recipe part by part; one command for each other step (the save's
// CFG-CFG included).
std::vector<uBloxLowLevelComms::UbxBuffer> StepFrames(const Step& step);

// The status text the step's operation shows while its command is out.
QString StepStatus(const Step& step);

// Runs the step as the window's run does: through its receiver operation,
// with that operation's waits and status text.
bool RunExactStep(const Step& step);

} // namespace SetupOutputs
