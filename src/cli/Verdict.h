#pragma once

#include "cli/Report.h"

#include <QString>

#include <cstdint>

// A unit's end in words: the verdict line the operator reads at a glance, and
// the reason and message its record keeps. Pure functions of the record.
namespace Cli {

// The units of a loop so far.
struct Tally {
    int passed = 0;
    int failed = 0;
    int lost = 0; // report lines lost
};

// How a read-back ended, as the unit's end: its exit code, outcome, the
// verdict's words and the message saying why. A new way for a read-back to
// end is a new case here.
struct Judgement {
    int exitCode = 0;
    QString outcome;
    QString reason;
    QString message;
};
Judgement JudgeReadBack(const Verification::ReadBack& readBack);

// The verdict's words for a step that failed: "save refused (CFG-CFG)",
// "time pulse unanswered (CFG-TP)", from the step and its last frame.
QString FailedStepReason(const UnitRecord& unit);
// The receiver as the verdict names it: "u-blox 8 protocol 18.00"; empty
// when its generation is not known.
QString ReceiverWords(const UnitRecord& unit);
// For a unit whose identity is known and whose failed step was refused:
// "the receiver, a u-blox 6 (7.03 (45969), protocol 13.03), refused CFG-MSG
// (four-target form)"; empty otherwise.
QString RefusedBy(const UnitRecord& unit);

// "CFG-CFG", or "06 09" for a message without a name here.
QString MessageName(std::uint8_t msgClass, std::uint8_t msgId);
// The name of the message a recorded frame ("B5 62 06 09 ...") carries.
QString MessageOfFrame(const QString& spacedHex);

// "PASS  unit 3  SN P3  Molvane  verified  0.8 s  (2 passed, 1 failed)":
// `number` 0 and no tally for a single run.
QString VerdictLine(const UnitRecord& unit, int number, const Tally* tally);
// The loop's end: "Units: 2 passed, 1 failed" (and the lost lines).
QString TallyLine(const Tally& tally);

} // namespace Cli
