#include "station/Signs.h"

#include "link/SerialControl.h"
#include "receiver_config/ResetList.h"
#include "support/Clock.h"

#include <algorithm>

namespace Station {
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

Sign Listen(FastLink::Line& line, double until)
{
    line.Flush();
    line.Listen(until);
    // A port that stopped delivering ends a wait early: the look still lasts its time.
    if (const double left = until - Clock::Now(); left > 0)
        Clock::Sleep(left);
    if (line.Gone())
        return Sign::Nothing;
    if (line.HeardTraffic())
        return Sign::Talks;
    return line.HeardBytes() ? Sign::Noise : Sign::Nothing;
}

std::optional<bool> Same(FastLink::Line& line, const Verification::Expectation& check)
{
    const FastLink::Reply reply = FastLink::PollReply(line, check.poll);
    if (reply.answer != Answer::Reply)
        return std::nullopt;
    return Verification::AllEqual(Verification::Compare(check, std::vector<std::uint8_t>(reply.payload.begin(), reply.payload.end())));
}

std::optional<std::int32_t> AnswersAt(FastLink::Line& line, std::span<const std::int32_t> rates)
{
    for (const std::int32_t rate : rates) {
        if (line.Gone())
            return std::nullopt;
        if (FastLink::AskAt(line, rate))
            return rate;
    }
    return std::nullopt;
}

} // namespace Station
