#pragma once

#include <QByteArray>

#include <functional>
#include <memory>

// Ctrl-C, SIGTERM and SIGHUP for the command line's runs. While a Guard lives
// the three are counted instead of ending the program: the first says at once
// (from the handler, in one write to stderr) what will happen and lets the
// unit in progress end; the second says so too and asks for the unit to be
// abandoned at the next safe point: the next pass of the event loop (every
// reply wait and pause pumps it) or the next frame or status text.
// A closed stdout or stderr (SIGPIPE) never ends the program.
namespace Cli::Interrupts {

class Guard {
public:
    // `abandon` runs in the program's own thread at the first safe point after
    // a second signal; it does not return when it ends the program.
    explicit Guard(std::function<void()> abandon);
    ~Guard();
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;

private:
    struct Notifier;
    std::unique_ptr<Notifier> notifier_;
};

// Signals received while the guard lives.
int Count();
// What the handler writes at the first and at the second signal; kept until
// replaced. Safe to call while a signal may arrive.
void SetNotices(const QByteArray& first, const QByteArray& second);
// Runs the abandon action when a second signal has come and it has not run yet.
void SafePoint();

// Ignores SIGPIPE (and SIGXFSZ) and puts /dev/null behind a closed stdin,
// stdout or stderr, so that a port opened later never takes their descriptor,
// output to a vanished reader is dropped instead of ending the run, and a
// write past a file-size limit fails as a write instead of ending it.
void ProtectStandardStreams();

} // namespace Cli::Interrupts
