#include "profiles/Presence.h"

#include "link/SerialControl.h"
#include "profiles/FastLink.h"
#include "receiver_config/ResetList.h"
#include "support/Clock.h"
#include "support/Timing.h"

#include <algorithm>

namespace Presence {
namespace {

using uBloxLowLevelComms::Answer;

bool InResetList(const QString& name)
{
    return std::any_of(VarnexCommsRoutines::kResetMessages.begin(), VarnexCommsRoutines::kResetMessages.end(), [&](const auto& m) {
        return name == QStringLiteral("CFG-MSG %1 %2").arg(UbxMessages::Hex(m.msgClass), UbxMessages::Hex(m.msgId));
    });
}

bool TurnedOn(const Verification::Expectation& e)
{
    return std::any_of(e.wants.begin(), e.wants.end(), [](const Verification::Want& w) { return w.value != 0; });
}

// The cheap read, polled: true when the board answers as the unit left it.
// Nothing answering is not a difference.
std::optional<bool> Same(FastLink::Line& line, const Verification::Expectation& check)
{
    const FastLink::Reply reply = FastLink::PollReply(line, check.poll);
    if (reply.answer != Answer::Reply)
        return std::nullopt;
    return Verification::AllEqual(Verification::Compare(check, std::vector<std::uint8_t>(reply.payload.begin(), reply.payload.end())));
}

} // namespace

Verification::Expectation CheapRead(const SetupOutputs::Profile& profile)
{
    const std::vector<Verification::Expectation> expected = Verification::ExpectedState(profile);
    const auto own = std::find_if(expected.begin(), expected.end(), [](const Verification::Expectation& e) {
        return e.message == &UbxMessages::kCfgMsg && TurnedOn(e) && !InResetList(e.name);
    });
    if (own != expected.end())
        return *own;
    const auto rate = std::find_if(expected.begin(), expected.end(),
                                   [](const Verification::Expectation& e) { return e.message == &UbxMessages::kCfgRate; });
    return rate != expected.end() ? *rate : expected.front();
}

namespace {

// The port at the unit's rate, opened afresh when it is not open or its
// device went away under it (an adapter pulled and put back).
bool Reopen(SerialControl& port, FastLink::Line& line, std::int32_t rate)
{
    if (port.PortOpen() && !port.PortGone())
        return true;
    port.SetPortOpen(false);
    port.SetRate(rate);
    const bool open = port.SetPortOpen(true);
    line.Adopt();
    return open;
}

} // namespace

Verdict Watch(SerialControl& port, const LeftUnit& unit, const std::function<bool()>& stop)
{
    FastLink::Line line(port);
    Reopen(port, line, unit.rate);
    if (line.Adopt() != unit.rate)
        line.MoveTo(unit.rate);
    const double look = Timing::InSeconds(Timing::kBenchLoopLook);
    const double goneAfter = Timing::InSeconds(Timing::kUnitGoneAfter);
    double lastSign = Clock::Now();
    bool checked = true; // the unit just configured needs no check until it has been quiet
    for (;;) {
        if (stop())
            return Verdict::Stopped;
        const double until = Clock::Now() + look;
        // What the last look heard is forgotten first, also when the port
        // cannot be reopened: stale output is no sign of the unit.
        const bool open = Reopen(port, line, unit.rate);
        line.Flush();
        if (open)
            line.Await(until, [](const UbxStream::Frame&) { return false; });
        // A port that stopped delivering ends a wait early: the look still lasts its time.
        if (const double left = until - Clock::Now(); left > 0)
            Clock::Sleep(left);
        const double now = Clock::Now();
        if (line.HeardTraffic() && !line.Gone()) {
            // Output after a quiet moment may be another board's: one poll tells.
            if (!checked && unit.check && Same(line, *unit.check) == false)
                return Verdict::NewBoard;
            checked = true;
            lastSign = now;
        } else if (now - lastSign >= look * 2) {
            checked = false;
        }
        if (now - lastSign < goneAfter)
            continue;
        // A unit whose output is all off shows itself only by answering.
        if (line.Gone() || !FastLink::AskAt(line, unit.rate))
            return Verdict::Gone;
        lastSign = Clock::Now();
    }
}

} // namespace Presence
