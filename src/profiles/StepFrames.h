#pragma once

#include "link/UbxFrame.h"
#include "profiles/SetupOutputs.h"

#include <QString>

#include <vector>

// What a step does, from its kind's block in StepKinds.cpp: the receiver
// operation the exact run calls, the frames it sends (which the fast runner
// sends as they are) and the status it shows. Its name in progress lines and
// records is in StepNames.h, its failure text is FailureMessage.
namespace SetupOutputs {

// Every frame `step` sends, each once, in the order it sends them: the
// reset's recipe part by part; one command for each other step (the save's
// CFG-CFG included).
std::vector<uBloxLowLevelComms::UbxBuffer> StepFrames(const Step& step);

// The status text the step's operation shows while its command is out.
QString StepStatus(const Step& step);

// The port an exact run works on, and the PC port number its reset's
// opening gives it.
struct ExactPort {
    SerialControl& port;
    int number;
};
// Runs the step as the window's run does: through its receiver operation on
// `at.port`, with that operation's waits and status text.
bool RunExactStep(const Step& step, const ExactPort& at);

} // namespace SetupOutputs
