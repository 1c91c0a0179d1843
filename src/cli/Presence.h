#pragma once

#include "cli/Arguments.h"

#include <QString>

#include <functional>

// The bench loop's view of the bench: whether the unit in place is still
// there, and when the next one is. Only the loop's device is ever opened.
namespace Cli {

class Console;

class Presence {
public:
    // `deviceKept` is asked at every look; the waits end (false) once it says no.
    Presence(const Arguments& a, const QString& path, Console& console, std::function<bool()> deviceKept);

    // How the wait for a unit to go ended.
    enum class After { Gone, NewBoard, Ended };
    // Waits until unit `number`, just done and left at `rate`, has gone: its
    // device vanished, or neither its own output nor an answer came for the
    // gone limit. A unit that `passed` is also told from a new board put in
    // its place (the line went quiet and what answers then differs from what
    // was just saved). Ended when interrupted or the device is no longer the loop's.
    After UntilGone(int number, std::int32_t rate, bool passed);
    // Waits until a unit answers the link search. False when interrupted.
    bool UntilPresent(int number);

private:
    template <typename Done>
    bool Loop(const QString& waiting, Done done);
    void Look();
    void Show(const QString& waiting);

    const Arguments& a_;
    QString path_;
    Console& console_;
    std::function<bool()> deviceKept_;
    bool there_;
    bool opens_ = false;
    QString openError_;
    double start_ = 0;
    int shown_ = -1;
};

} // namespace Cli
