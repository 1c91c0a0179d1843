#pragma once

#include "cli/Arguments.h"
#include "cli/UnitRun.h"
#include "cli/Verdict.h"

#include <memory>

// A run of one unit, or of a bench loop's units: each unit run, recorded in
// the report, judged on the console, counted; Ctrl-C, SIGTERM and SIGHUP
// handled while it lives (the first finishes the unit and the loop, the second
// abandons the unit and records it as interrupted).
namespace Cli {

class Console;

class Session {
public:
    Session(const Arguments& a, Console& console, bool loop);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Runs unit `number` (from 1 in a loop, 0 for a single run) with
    // `unitArguments`, on `path` when given, records it and says its verdict.
    UnitRecord Unit(const Arguments& unitArguments, int number, const QString& path = QString());
    const Tally& Counts() const { return tally_; }
    // The loop's end: its counts once more.
    void End();
    // A lost record first, then the last failure, an abandonment, else done.
    int ExitCode() const;

private:
    struct Guarded;
    bool Record(const UnitRecord& unit, int number);
    void Judge(const UnitRecord& unit, int number, bool recorded);
    void UpdateNotices();
    [[noreturn]] void Abandon();

    const Arguments& a_;
    Console& console_;
    bool loop_;
    Tally tally_;
    int lastFailure_ = kDone;
    int number_ = 0;
    UnitWatch watch_;
    std::unique_ptr<Guarded> guarded_;
};

} // namespace Cli
