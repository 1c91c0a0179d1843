// The fast runner: the same device tables and messages as RunProfile and the
// same receiver at the end, paced by the line instead of fixed waits. How it
// finds the link, confirms each command and follows a link move is told in
// docs/ARCHITECTURE.md ("The fast runner").
#include "profiles/SetupOutputs.h"

#include "link/CommsFrm.h"
#include "profiles/FastLink.h"
#include "receiver_config/Payloads.h"
#include "receiver_config/ResetList.h"
#include "receiver_config/VarnexCommsRoutines.h"
#include "support/SupportFunctions.h"

namespace SetupOutputs {
namespace {

using namespace FastLink;

// A command judged as the exact run judges it: acknowledged, or, where the
// exact run accepts it once a poll answers (a CFG-PRT for a port that does
// not carry the link), refused or unanswered while the receiver still
// answers on the link. The refusal stays in the run's record.
bool Acknowledged(Line& line, UbxBuffer frame) { return SendCommand(line, std::move(frame)) == Answer::Ack; }
bool AcceptedOnceAnswering(Line& line, UbxBuffer frame)
{
    return SendCommand(line, std::move(frame)) == Answer::Ack || StillAnswers(line);
}

// The known state: every port at the reset's rate, one solution a second,
// every listed message off. A CFG-MSG carries the rates of all four ports, so
// one command per message turns it off everywhere.
bool Reset(Line& line, Link& link)
{
    SupportFunctions::ShowStatus(QStringLiteral("Reading Configuration"));
    if (link.rate == 0 && line.Open())
        link = FindLink(line).value_or(Link{});
    if (link.rate == 0) {
        if (!BlindBringUp(line, link))
            return false;
    } else if (link.rate != VarnexCommsRoutines::kKnownLinkRate) {
        if (!MoveLink(line, *link.receiverPort, VarnexCommsRoutines::kKnownLinkRate))
            return false;
        link.rate = VarnexCommsRoutines::kKnownLinkRate;
    }
    // The exact run sends these blind and judges the link by the poll that
    // follows; a port that refuses UART settings (DDC, USB) changes nothing.
    for (std::int32_t port = 0; port < Payloads::kReceiverPortCount; ++port)
        SendCommand(line, Payloads::CfgPrt(VarnexCommsRoutines::kKnownLinkRate, port));
    SupportFunctions::ShowStatus(QStringLiteral("Writing Configuration"));
    if (!Acknowledged(line, Payloads::CfgRate(VarnexCommsRoutines::kKnownMeasurementPeriod, VarnexCommsRoutines::kKnownNavigationRate)))
        return false;
    SupportFunctions::ShowStatus(QStringLiteral("Resetting All Messages To Known State"));
    for (const VarnexCommsRoutines::MessageId& m : VarnexCommsRoutines::kResetMessages)
        if (!Acknowledged(line, Payloads::CfgMsg(m.msgClass, m.msgId, 0, 0)))
            return false;
    return true;
}

bool SetBaud(Line& line, Link& link, std::int32_t rate, int port)
{
    if (!link.receiverPort) {
        // Which port carries the link is not known: the exact run's confirmed
        // baud change finds out by polling, and the PC follows where needed.
        const bool done = VarnexCommsRoutines::SetBaudRate(rate, VarnexCommsRoutines::BaudMode::Confirming, port);
        link.rate = line.Adopt();
        return done;
    }
    SupportFunctions::ShowStatus(VarnexCommsRoutines::SetBaudRateStatus(rate, port));
    if (port != *link.receiverPort || rate == link.rate)
        return AcceptedOnceAnswering(line, Payloads::CfgPrt(rate, port));
    if (!MoveLink(line, port, rate))
        return false;
    link.rate = rate;
    return true;
}

bool RunStep(Line& line, Link& link, const Step& s)
{
    const auto byte = [](std::int32_t v) { return static_cast<std::uint8_t>(v); };
    switch (s.op) {
    case Op::ResetToKnownState: return Reset(line, link);
    case Op::WriteConfiguration:
        SupportFunctions::ShowStatus(QStringLiteral("Writing Configuration"));
        return Acknowledged(line, Payloads::CfgRate(s.period, byte(s.args[0])));
    case Op::SetDynamicNavigationParameters:
        SupportFunctions::ShowStatus(QStringLiteral("Set Dynamic Navigation Parameters"));
        return Acknowledged(line, Payloads::CfgNav(s.payload));
    case Op::SetTimePulse:
        SupportFunctions::ShowStatus(VarnexCommsRoutines::SetTimePulseStatus(s.args[0]));
        return Acknowledged(line, Payloads::CfgTp(s.args[0], s.args[1]));
    case Op::SetMessageRate:
        SupportFunctions::ShowStatus(
            VarnexCommsRoutines::SetMessageRateStatus(byte(s.args[0]), byte(s.args[1]), byte(s.args[2]), s.args[3]));
        return Acknowledged(line, Payloads::CfgMsg(byte(s.args[0]), byte(s.args[1]), byte(s.args[2]), s.args[3], s.payload));
    case Op::SetBaudRate: return SetBaud(line, link, s.args[0], s.args[1]);
    case Op::WriteSetupToFlash:
        SupportFunctions::ShowStatus(QStringLiteral("Writing Setup To Flash"));
        return Acknowledged(line, Payloads::CfgCfgSaveAll());
    }
    return false;
}

} // namespace

std::optional<FoundLink> FindReceiver()
{
    Line line(CommsFrm::SerialPort());
    if (line.Open())
        if (const auto link = FindLink(line))
            return link;
    CommsFrm::SerialPort().SetPortOpen(false);
    return std::nullopt;
}

bool RunProfileFast(const Profile& profile, const RunObserver& observer)
{
    Line line(CommsFrm::SerialPort());
    Link link; // found by the reset, the first step of every device
    return RunSteps(profile, observer, [&](const Step& step) {
        const bool succeeded = RunStep(line, link, step);
        SupportFunctions::ClearStatus();
        return succeeded;
    });
}

} // namespace SetupOutputs
