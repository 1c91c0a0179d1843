#pragma once

#include <QString>

#include <cstdio>

// The command line's face on stderr. While it lives, the window's message
// texts become lines and its status texts become progress: a line each, or,
// on a terminal, one line updated in place with the step count and the time
// since the unit began.
namespace Cli {

class Console {
public:
    Console(std::FILE* err, bool terminal);
    ~Console();
    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;

    // A unit of `stepCount` steps begins now; steps count from 1 in the progress.
    void BeginUnit(int stepCount);
    void SetStep(int index);
    // While quiet, status texts are dropped (the bench loop's probes).
    void SetQuiet(bool quiet) { quiet_ = quiet; }
    // The bench loop's wait: on a terminal one line updated in place; else
    // printed once per wait (when `text` is the wait's first).
    void Waiting(const QString& text, bool first);
    // A line of its own: a message, an error, a result.
    void Line(const QString& text);
    // The last message text shown since BeginUnit.
    QString LastMessage() const { return lastMessage_; }
    int Step() const { return step_; }
    int StepCount() const { return stepCount_; }

private:
    void Status(const QString& text);
    void ClearProgress();

    std::FILE* err_;
    bool terminal_;
    bool quiet_ = false;
    bool progressShown_ = false;
    int stepCount_ = 0;
    int step_ = 0;
    double start_ = 0;
    QString lastMessage_;
};

} // namespace Cli
