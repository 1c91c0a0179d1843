#pragma once

#include "link/UbxFrame.h"
#include "profiles/SetupOutputs.h"

#include <QString>

#include <vector>

// What each kind of step sends, in one place: the fast runner sends these
// bytes, and the exact run's operations build the same frames with the same
// builders.
namespace SetupOutputs {

// The reset's frames, each once. The exact run repeats the CFG-MSG pass for
// every port, but a CFG-MSG carries the rates of all four ports, so every
// pass sends the same bytes.
struct ResetFrameSet {
    std::vector<uBloxLowLevelComms::UbxBuffer> ports;    // CFG-PRT at the known rate, receiver ports 0..3
    uBloxLowLevelComms::UbxBuffer rate;                  // CFG-RATE: the known period and navigation rate
    std::vector<uBloxLowLevelComms::UbxBuffer> messages; // CFG-MSG off, one per message of the reset list
};
ResetFrameSet ResetFrames();

// Every frame `step` sends, in the order it sends them: the reset's ports,
// rate and messages; one command for each other step (the save's CFG-CFG
// included).
std::vector<uBloxLowLevelComms::UbxBuffer> StepFrames(const Step& step);

// The status text the step's operation shows while its command is out.
QString StepStatus(const Step& step);

// Runs the step as the window's run does: through its receiver operation,
// with that operation's waits and status text.
bool RunExactStep(const Step& step);

} // namespace SetupOutputs
