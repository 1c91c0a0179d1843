#pragma once

// The one monotonic clock of the program. Every elapsed time (pauses, reply
// time-outs, the reflash's run time) is read here, so tests can swap the
// real clock for a virtual one and run a 5-second time-out in microseconds.

namespace Clock {

class Source {
public:
    virtual ~Source() = default;
    // Seconds since an arbitrary fixed origin; never jumps backwards.
    virtual double Now() = 0;
    // Let `seconds` pass: the real clock sleeps, a virtual clock advances.
    virtual void Sleep(double seconds) = 0;
};

// Seconds on the installed clock (the steady clock unless a test installed another).
double Now();
// Let time pass on the installed clock.
void Sleep(double seconds);
// Install `source` (not owned); nullptr restores the real clock.
void Install(Source* source);

// A clock that moves only when told to: Sleep() and Advance() move it forward.
class VirtualClock final : public Source {
public:
    explicit VirtualClock(double start = 1000.0) : now_(start) {}
    double Now() override { return now_; }
    void Sleep(double seconds) override { Advance(seconds); }
    void Advance(double seconds)
    {
        if (seconds > 0)
            now_ += seconds;
    }
    void AdvanceTo(double t)
    {
        if (t > now_)
            now_ = t;
    }

private:
    double now_;
};

// Installs a clock for the lifetime of the object, restoring the real one after.
class ScopedClock {
public:
    explicit ScopedClock(Source* source) { Install(source); }
    ~ScopedClock() { Install(nullptr); }
    ScopedClock(const ScopedClock&) = delete;
    ScopedClock& operator=(const ScopedClock&) = delete;
};

} // namespace Clock
