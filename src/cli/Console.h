#pragma once

#include <QString>

#include <cstdio>

// The command line's face on stderr. While it lives, the window's message
// texts become lines and its status texts become progress: on a terminal one
// line redrawn in place with the step count and the time since the unit
// began; elsewhere (a log) one line per step. Quiet, only verdicts and the
// loop's end are printed.
namespace Cli {

class Console {
public:
    Console(std::FILE* err, bool terminal, bool quiet = false);
    ~Console();
    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;

    // A unit of `stepCount` steps begins now; steps count from 1 in the progress.
    void BeginUnit(int stepCount);
    void SetStep(int index);
    // While probing, status texts are dropped (the bench loop's searches).
    void SetProbing(bool probing) { probing_ = probing; }
    // The bench loop's wait: on a terminal one line updated in place; else
    // printed once per wait (when `text` is the wait's first).
    void Waiting(const QString& text, bool first);
    // A line of its own: a message, an error, a result.
    void Line(const QString& text);
    // A unit's verdict, or the loop's end: printed even when quiet; PASS and
    // FAIL at its start coloured on a terminal unless NO_COLOR is set.
    void Verdict(const QString& text);
    // The last message text shown since BeginUnit.
    QString LastMessage() const { return lastMessage_; }
    int Step() const { return step_; }
    int StepCount() const { return stepCount_; }

private:
    void Status(const QString& text);
    void ClearProgress();
    void Put(const QString& text);

    std::FILE* err_;
    bool terminal_;
    bool quiet_;
    bool colour_;
    bool probing_ = false;
    bool progressShown_ = false;
    int stepCount_ = 0;
    int step_ = 0;
    int loggedStep_ = -1; // the step whose line a log has got
    double start_ = 0;
    QString lastMessage_;
};

} // namespace Cli
