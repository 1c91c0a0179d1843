#include "cli/Session.h"

#include "cli/Console.h"
#include "cli/Interrupts.h"
#include "cli/Texts.h"
#include "link/SerialControl.h"

#include <cstdlib>

namespace Cli {

struct Session::Guarded {
    explicit Guarded(std::function<void()> abandon) : guard(std::move(abandon)) {}
    Interrupts::Guard guard;
};

Session::Session(const Arguments& a, Console& console, SerialControl& port, bool loop)
    : a_(a), console_(console), port_(port), loop_(loop)
{
    watch_.stepStarted = [this] {
        UpdateNotices();
        if (onStep_ && watch_.unit && !watch_.final && !watch_.unit->steps.empty() && console_.StepCount() > 0)
            onStep_(console_.Step(), console_.StepCount(), watch_.unit->steps.back().name);
    };
    guarded_ = std::make_unique<Guarded>([this] { Abandon(); });
    UpdateNotices();
}

Session::~Session() = default;

Session::UnitResult Session::Unit(const Arguments& unitArguments, int number, const QString& path)
{
    number_ = number;
    UnitResult result{RunUnit(port_, unitArguments, console_, path, watch_)};
    result.recorded = Record(result.unit, number);
    Judge(result.unit, number, result.recorded);
    number_ = 0;
    return result;
}

bool Session::OpenRecord(QString& refusal)
{
    if (a_.record.isEmpty())
        return true;
    QString error;
    recorder_ = std::make_unique<Records::Recorder>(*Records::ParseUrl(a_.record, error));
    bool away = false;
    error = recorder_->Open(away);
    if (!error.isEmpty() && !away) {
        refusal = Texts::Said(QStringLiteral("the record database %1 refuses units: %2").arg(recorder_->Where().text, error));
        return false;
    }
    if (away)
        console_.Line(Texts::Said(QStringLiteral("the record database %1 cannot be reached (%2); each unit's record waits "
                                                 "in the spool %3 until it answers")
                                      .arg(recorder_->Where().text, error, Records::SpoolPath())));
    return true;
}

// The unit's record in the database, or in the spool until the database
// takes it; false (and the console names the unit) when neither kept it.
bool Session::RecordInDatabase(const QByteArray& line, const UnitRecord& unit, int number)
{
    using Kind = Records::Recorder::Outcome::Kind;
    const Records::Recorder::Outcome outcome = recorder_->Record(unit.id, line);
    lastSpooled_ = outcome.kind == Kind::Spooled;
    if (outcome.kind == Kind::Lost)
        console_.Verdict(Texts::Said(QStringLiteral("the record of unit %1 on port %2 (serial \"%3\") is lost: %4 did not take it (%5)")
                                         .arg(qMax(number, 1))
                                         .arg(a_.port, unit.serial, recorder_->Where().text, outcome.why)));
    else if (lastSpooled_)
        console_.Verdict(Texts::Said(QStringLiteral("the record of unit %1 waits in the spool: %2 did not take it (%3)")
                                         .arg(qMax(number, 1))
                                         .arg(recorder_->Where().text, outcome.why)));
    return outcome.kind != Kind::Lost;
}

// Writes the unit's line; false (and the console names the unit) when it is lost.
bool Session::Record(const UnitRecord& unit, int number)
{
    const QByteArray line = ToJsonLine(unit, a_.reportFrames || unit.exitCode != kDone);
    const bool inDatabase = !recorder_ || RecordInDatabase(line, unit, number);
    if (a_.report.isEmpty())
        return inDatabase;
    const QString error = AppendWhole(a_.report, line);
    if (!error.isEmpty())
        console_.Verdict(Texts::Said(QStringLiteral("the report line of unit %1 on port %2 (%3, serial \"%4\") is lost: "
                                                    "cannot write %5: %6")
                                         .arg(qMax(number, 1))
                                         .arg(a_.port, unit.outcome, unit.serial, a_.report, error)));
    return error.isEmpty() && inDatabase;
}

void Session::Judge(const UnitRecord& unit, int number, bool recorded)
{
    if (unit.exitCode == kDone) {
        ++tally_.passed;
    } else {
        ++tally_.failed;
        lastFailure_ = unit.exitCode;
    }
    if (!recorded)
        ++tally_.lost;
    console_.Verdict(VerdictLine(unit, number, loop_ ? &tally_ : nullptr));
    if (onJudged_)
        onJudged_(unit, recorded);
}

void Session::End()
{
    if (loop_)
        console_.Verdict(TallyLine(tally_));
    if (!recorder_)
        return;
    if (const int sent = recorder_->SendWaiting(); sent > 0)
        console_.Line(Texts::Said(QStringLiteral("%1 record(s) from the spool sent to %2").arg(sent).arg(recorder_->Where().text)));
    if (const int waiting = recorder_->Waiting(); waiting > 0)
        console_.Verdict(Texts::Said(QStringLiteral("%1 record(s) wait in the spool %2 for %3; the next run with --record %4 "
                                                    "sends them")
                                         .arg(waiting)
                                         .arg(Records::SpoolPath(), recorder_->Where().text, a_.record)));
}

int Session::ExitCode() const
{
    if (tally_.lost > 0)
        return kReportLost;
    if (tally_.failed > 0)
        return lastFailure_;
    return Interrupts::Count() > 1 ? kInterrupted : kDone;
}

// What the first and the second Ctrl-C will say, kept up to date at each step.
void Session::UpdateNotices()
{
    if (!watch_.unit) {
        Interrupts::SetNotices("\nvarnexconfig: interrupted; no unit in progress\n", "\nvarnexconfig: interrupted again\n");
        return;
    }
    const QString unitName = number_ > 0 ? QStringLiteral("unit %1").arg(number_) : QStringLiteral("the unit");
    if (watch_.final) {
        Interrupts::SetNotices(
            ('\n' + Texts::Said(QStringLiteral("%1 has ended (%2); reading its identity, Ctrl-C again ends without it\n")
                                    .arg(unitName, watch_.unit->outcome))).toLocal8Bit(),
            ('\n' + Texts::Said(QStringLiteral("ending; %1 stays %2\n").arg(unitName, watch_.unit->outcome))).toLocal8Bit());
        return;
    }
    const QString step = console_.StepCount() > 0
                             ? QStringLiteral("step %1 of %2").arg(console_.Step()).arg(console_.StepCount())
                             : QStringLiteral("verifying");
    Interrupts::SetNotices(
        ('\n' + Texts::Said(QStringLiteral("finishing %1 (%2); Ctrl-C again abandons it\n").arg(unitName, step))).toLocal8Bit(),
        ('\n' + Texts::Said(QStringLiteral("abandoning %1 in %2\n").arg(unitName, step))).toLocal8Bit());
}

// The second interruption: the port is closed at once, the unit recorded as
// interrupted in the step it was in, and the program ends. A unit whose
// outcome was already known (it is only being asked its identity) keeps its
// outcome: nothing after the save can undo what the save did.
void Session::Abandon()
{
    port_.SetPortOpen(false);
    bool abandoned = false;
    if (watch_.unit) {
        UnitRecord& unit = *watch_.unit;
        const QString unitName = number_ > 0 ? QStringLiteral("unit %1").arg(number_) : QStringLiteral("the unit");
        if (watch_.final) {
            console_.Line(Texts::Said(QStringLiteral("port %1: %2 ended %3 before its identity was read")
                                          .arg(a_.port, unitName, unit.outcome)));
        } else {
            MarkAbandoned(unit);
            abandoned = true;
            console_.Line(Texts::Said(QStringLiteral("port %1: %2 abandoned in step %3").arg(a_.port, unitName, unit.interruptedStep)));
        }
        Judge(unit, number_, Record(unit, number_));
    }
    End();
    std::fflush(nullptr);
    const int code = tally_.lost > 0 ? kReportLost : abandoned || !watch_.unit ? kInterrupted : tally_.failed > 0 ? lastFailure_ : kDone;
    std::_Exit(code);
}

} // namespace Cli
