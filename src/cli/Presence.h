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

    // Waits until unit `number`, just done, has gone: its device vanished, or
    // it has left the link search unanswered for the gone limit. False when
    // interrupted or the device is no longer the loop's.
    bool UntilGone(int number);
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
