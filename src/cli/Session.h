#pragma once

#include "cli/Arguments.h"
#include "cli/UnitRun.h"
#include "cli/Verdict.h"
#include "records/Store.h"

#include <functional>
#include <memory>

class SerialControl;

// A run of one unit, or of a bench loop's units: each unit run, recorded in
// the report, judged on the console, counted; Ctrl-C, SIGTERM and SIGHUP
// handled while it lives (the first finishes the unit and the loop, the second
// abandons the unit and records it as interrupted).
namespace Cli {

class Console;

// Every unit of a session runs on the one port it is given.
class Session {
public:
    Session(const Arguments& a, Console& console, SerialControl& port, bool loop);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // A unit's record as it was written, and whether the write got there.
    struct UnitResult {
        UnitRecord unit;
        bool recorded = true;
    };
    // Runs unit `number` (from 1 in a loop, 0 for a single run) with
    // `unitArguments`, on `path` when given, records it and says its verdict.
    UnitResult Unit(const Arguments& unitArguments, int number, const QString& path = QString());
    // Told once each unit is judged (also one abandoned by a second Ctrl-C):
    // its record and whether that got written.
    void OnJudged(std::function<void(const UnitRecord& unit, bool recorded)> listener) { onJudged_ = std::move(listener); }
    // Told at each step of a unit: its number from 1, the unit's step count, its name.
    void OnStep(std::function<void(int step, int steps, const QString& name)> listener) { onStep_ = std::move(listener); }
    const Tally& Counts() const { return tally_; }
    SerialControl& Port() { return port_; }
    // Opens the record database of --record, upgrading its schema. False,
    // with `refusal`, when it answers but will not take a unit (read-only,
    // a newer schema); a database that cannot be reached is not refused:
    // its units wait in the spool.
    bool OpenRecord(QString& refusal);
    // The last unit's record waits in the spool rather than in the database.
    bool LastRecordSpooled() const { return lastSpooled_; }
    // The loop's end: its counts once more.
    void End();
    // A lost record first, then the last failure, an abandonment, else done.
    int ExitCode() const;

private:
    struct Guarded;
    bool Record(const UnitRecord& unit, int number);
    bool RecordInDatabase(const QByteArray& line, const UnitRecord& unit, int number);
    void Judge(const UnitRecord& unit, int number, bool recorded);
    void UpdateNotices();
    [[noreturn]] void Abandon();

    const Arguments& a_;
    Console& console_;
    SerialControl& port_;
    bool loop_;
    Tally tally_;
    int lastFailure_ = kDone;
    int number_ = 0;
    UnitWatch watch_;
    std::function<void(int, int, const QString&)> onStep_;
    std::function<void(const UnitRecord&, bool)> onJudged_;
    std::unique_ptr<Guarded> guarded_;
    std::unique_ptr<Records::Recorder> recorder_;
    bool lastSpooled_ = false;
};

} // namespace Cli
