#pragma once

#include "link/SerialDevice.h"
#include "support/Clock.h"

#include <QByteArray>

#include <map>
#include <memory>

// A serial line in virtual time that hands over exactly the bytes a test
// scripts, at the virtual times it scripts them, in pieces of any size: for
// the reply waits' corner cases (split, doubled or foreign acknowledgements)
// that a well-behaved receiver never produces. Everything the program writes
// is kept in `written`.
class ScriptedLine {
public:
    explicit ScriptedLine(Clock::VirtualClock& clock) : clock_(clock) {}

    // Bytes that arrive at the PC at virtual time `at`.
    void Arrive(double at, const QByteArray& bytes) { pending_.emplace(at, bytes); }
    // The line goes away (adapter unplugged) at virtual time `at`.
    void GoneAt(double at) { goneAt_ = at; }

    // A factory for SerialControl::SetDeviceFactory; every device shares this line.
    SerialDeviceFactory Factory();

    QByteArray written;
    int opens = 0;

private:
    friend class ScriptedDevice;
    bool Gone() const { return clock_.Now() >= goneAt_; }
    QByteArray TakeDue();
    double NextArrival() const { return pending_.empty() ? 1e300 : pending_.begin()->first; }

    Clock::VirtualClock& clock_;
    std::multimap<double, QByteArray> pending_;
    double goneAt_ = 1e300;
};
