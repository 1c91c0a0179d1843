#include "profiles/StepFrames.h"

#include "profiles/StepNames.h"
#include "receiver_config/Payloads.h"
#include "receiver_config/ResetList.h"
#include "receiver_config/VarnexCommsRoutines.h"

#include <algorithm>

namespace SetupOutputs {
namespace {

using uBloxLowLevelComms::UbxBuffer;
using namespace VarnexCommsRoutines;

std::uint8_t Byte(std::int32_t value) { return static_cast<std::uint8_t>(value); }
QString Hex(std::int32_t byte) { return QStringLiteral("%1").arg(byte, 2, 16, QLatin1Char('0')).toUpper(); }
std::vector<UbxBuffer> One(UbxBuffer frame) { return {std::move(frame)}; }

std::vector<UbxBuffer> AllResetFrames(const Step&)
{
    ResetFrameSet reset = ResetFrames();
    std::vector<UbxBuffer> frames = std::move(reset.ports);
    frames.push_back(std::move(reset.rate));
    std::move(reset.messages.begin(), reset.messages.end(), std::back_inserter(frames));
    return frames;
}

QString MessageStepName(const Step& s)
{
    if (s.payload.size() == 4)
        return QStringLiteral("SetMessageRate %1 %2 rates %3 %4 %5 %6")
            .arg(Hex(s.args[0]), Hex(s.args[1]))
            .arg(s.payload[0])
            .arg(s.payload[1])
            .arg(s.payload[2])
            .arg(s.payload[3]);
    return QStringLiteral("SetMessageRate %1 %2 rate %3 port %4").arg(Hex(s.args[0]), Hex(s.args[1])).arg(s.args[2]).arg(s.args[3]);
}

// One row per kind of step: the receiver operation the exact run calls, the
// frames it sends (which the fast run sends and the verification replays),
// the status it shows, and its name in progress lines and records. A new
// kind of step is a new row.
struct Kind {
    Op op;
    bool (*exact)(const Step&);
    std::vector<UbxBuffer> (*frames)(const Step&);
    QString (*status)(const Step&);
    QString (*name)(const Step&);
};

constexpr Kind kKinds[] = {
    {Op::ResetToKnownState,
     [](const Step&) { return ResetToKnownState(); },
     AllResetFrames,
     [](const Step&) { return QString(kReadConfigurationStatus); },
     [](const Step&) { return QStringLiteral("ResetToKnownState"); }},
    {Op::WriteConfiguration,
     [](const Step& s) { return WriteConfiguration(s.period, std::uint16_t(s.args[0])); },
     [](const Step& s) { return One(Payloads::CfgRate(s.period, std::uint16_t(s.args[0]))); },
     [](const Step&) { return QString(kWriteConfigurationStatus); },
     [](const Step& s) { return QStringLiteral("WriteConfiguration %1 ms rate %2").arg(double(s.period)).arg(s.args[0]); }},
    {Op::SetDynamicNavigationParameters,
     [](const Step& s) { return SetDynamicNavigationParameters(s.payload); },
     [](const Step& s) { return One(Payloads::CfgNav(s.payload)); },
     [](const Step&) { return QString(kSetDynamicNavigationParametersStatus); },
     [](const Step&) { return QStringLiteral("SetDynamicNavigationParameters"); }},
    {Op::SetTimePulse,
     [](const Step& s) { return SetTimePulse(s.args[0], s.args[1]); },
     [](const Step& s) { return One(Payloads::CfgTp(s.args[0], s.args[1])); },
     [](const Step& s) { return SetTimePulseStatus(s.args[0]); },
     [](const Step& s) { return QStringLiteral("SetTimePulse %1 ms %2 ms").arg(s.args[0]).arg(s.args[1]); }},
    {Op::SetMessageRate,
     [](const Step& s) { return SetMessageRate(Byte(s.args[0]), Byte(s.args[1]), Byte(s.args[2]), s.args[3], s.payload); },
     [](const Step& s) {
         return One(Payloads::CfgMsg(Byte(s.args[0]), Byte(s.args[1]), Byte(s.args[2]), s.args[3], s.payload));
     },
     [](const Step& s) { return SetMessageRateStatus(Byte(s.args[0]), Byte(s.args[1]), Byte(s.args[2]), s.args[3]); },
     MessageStepName},
    {Op::SetBaudRate,
     [](const Step& s) { return SetBaudRate(s.args[0], BaudMode::Confirming, s.args[1]); },
     [](const Step& s) { return One(Payloads::CfgPrt(s.args[0], s.args[1])); },
     [](const Step& s) { return SetBaudRateStatus(s.args[0], s.args[1]); },
     [](const Step& s) { return QStringLiteral("SetBaudRate %1 port %2").arg(s.args[0]).arg(s.args[1]); }},
    {Op::WriteSetupToFlash,
     [](const Step&) { return WriteSetupToFlash(); },
     [](const Step&) { return One(Payloads::CfgCfgSaveAll()); },
     [](const Step&) { return QString(kWriteSetupToFlashStatus); },
     [](const Step&) { return QStringLiteral("WriteSetupToFlash"); }},
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

bool RunExactStep(const Step& step)
{
    const Kind* kind = KindOf(step.op);
    return kind && kind->exact(step);
}

QString StepName(const Step& step)
{
    const Kind* kind = KindOf(step.op);
    return kind ? kind->name(step) : QStringLiteral("unknown step");
}

} // namespace SetupOutputs
