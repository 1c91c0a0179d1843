#include "profiles/StepFrames.h"

#include "receiver_config/Payloads.h"
#include "receiver_config/ResetList.h"
#include "receiver_config/VarnexCommsRoutines.h"

#include <algorithm>

namespace SetupOutputs {
namespace {

using uBloxLowLevelComms::UbxBuffer;
using namespace VarnexCommsRoutines;

std::uint8_t Byte(std::int32_t value) { return static_cast<std::uint8_t>(value); }
std::vector<UbxBuffer> One(UbxBuffer frame) { return {std::move(frame)}; }

std::vector<UbxBuffer> AllResetFrames(const Step&)
{
    ResetFrameSet reset = ResetFrames();
    std::vector<UbxBuffer> frames = std::move(reset.ports);
    frames.push_back(std::move(reset.rate));
    std::move(reset.messages.begin(), reset.messages.end(), std::back_inserter(frames));
    return frames;
}

// One row per kind of step: the frames it sends and the status it shows.
struct Kind {
    Op op;
    std::vector<UbxBuffer> (*frames)(const Step&);
    QString (*status)(const Step&);
};

constexpr Kind kKinds[] = {
    {Op::ResetToKnownState, AllResetFrames,
     [](const Step&) { return QString(kReadConfigurationStatus); }},
    {Op::WriteConfiguration,
     [](const Step& s) { return One(Payloads::CfgRate(s.period, Byte(s.args[0]))); },
     [](const Step&) { return QString(kWriteConfigurationStatus); }},
    {Op::SetDynamicNavigationParameters,
     [](const Step& s) { return One(Payloads::CfgNav(s.payload)); },
     [](const Step&) { return QString(kSetDynamicNavigationParametersStatus); }},
    {Op::SetTimePulse,
     [](const Step& s) { return One(Payloads::CfgTp(s.args[0], s.args[1])); },
     [](const Step& s) { return SetTimePulseStatus(s.args[0]); }},
    {Op::SetMessageRate,
     [](const Step& s) {
         return One(Payloads::CfgMsg(Byte(s.args[0]), Byte(s.args[1]), Byte(s.args[2]), s.args[3], s.payload));
     },
     [](const Step& s) { return SetMessageRateStatus(Byte(s.args[0]), Byte(s.args[1]), Byte(s.args[2]), s.args[3]); }},
    {Op::SetBaudRate,
     [](const Step& s) { return One(Payloads::CfgPrt(s.args[0], s.args[1])); },
     [](const Step& s) { return SetBaudRateStatus(s.args[0], s.args[1]); }},
    {Op::WriteSetupToFlash,
     [](const Step&) { return One(Payloads::CfgCfgSaveAll()); },
     [](const Step&) { return QString(kWriteSetupToFlashStatus); }},
};

const Kind* KindOf(Op op)
{
    const auto it = std::find_if(std::begin(kKinds), std::end(kKinds), [op](const Kind& k) { return k.op == op; });
    return it == std::end(kKinds) ? nullptr : it;
}

} // namespace

ResetFrameSet ResetFrames()
{
    ResetFrameSet reset;
    for (std::int32_t port = 0; port < Payloads::kReceiverPortCount; ++port)
        reset.ports.push_back(Payloads::CfgPrt(kKnownLinkRate, port));
    reset.rate = Payloads::CfgRate(kKnownMeasurementPeriod, kKnownNavigationRate);
    for (const MessageId& m : kResetMessages)
        reset.messages.push_back(Payloads::CfgMsg(m.msgClass, m.msgId, 0, 0));
    return reset;
}

std::vector<UbxBuffer> StepFrames(const Step& step)
{
    const Kind* kind = KindOf(step.op);
    return kind ? kind->frames(step) : std::vector<UbxBuffer>{};
}

QString StepStatus(const Step& step)
{
    const Kind* kind = KindOf(step.op);
    return kind ? kind->status(step) : QString();
}

} // namespace SetupOutputs
