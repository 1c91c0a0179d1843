#include "profiles/StepFrames.h"

#include "link/UbxMessages.h"
#include "profiles/StepNames.h"
#include "receiver_config/Payloads.h"
#include "receiver_config/ResetList.h"
#include "receiver_config/VarnexCommsRoutines.h"

namespace SetupOutputs {
namespace {

using uBloxLowLevelComms::UbxBuffer;
using namespace VarnexCommsRoutines;
using Frames = std::vector<UbxBuffer>;

Frames One(UbxBuffer frame) { return {std::move(frame)}; }
QString Hex(std::uint8_t byte) { return UbxMessages::Hex(byte); }

// The operator texts keep their spelling on purpose: operators and their
// documents know them as they are. The reset's failure is the device's own.
constexpr const char* kParameterFailure = "Failed to set Varnex parameter please check it is connected correctly";
constexpr const char* kBaudFailure = "Failed to set Varnex baud rate correctly please check it is connected correctly";
constexpr const char* kFlashFailure = "Failed to write Varnex to flash memory please check it is connected correctly";

// One block per kind of step: the exact run's operation, the frames, the
// status, the name in progress lines and records, and the failure text.
// A new kind of step is a new block (and its keys in the profile file format).

bool Exact(const Reset&) { return ResetToKnownState(); }
Frames FramesOf(const Reset&)
{
    Frames frames;
    for (const ResetStage& stage : kResetRecipe)
        for (UbxBuffer& f : ResetFrames(stage.part))
            frames.push_back(std::move(f));
    return frames;
}
QString Status(const Reset&) { return kReadConfigurationStatus; }
QString Name(const Reset&) { return QStringLiteral("ResetToKnownState"); }
const char* Failure(const Reset&) { return nullptr; }

bool Exact(const Rate& r) { return WriteConfiguration(r.period, r.navRate); }
Frames FramesOf(const Rate& r) { return One(Payloads::CfgRate(r.period, r.navRate)); }
QString Status(const Rate&) { return kWriteConfigurationStatus; }
QString Name(const Rate& r) { return QStringLiteral("WriteConfiguration %1 ms rate %2").arg(double(r.period)).arg(r.navRate); }
const char* Failure(const Rate&) { return kParameterFailure; }

bool Exact(const Navigation& n) { return SetDynamicNavigationParameters(n.block); }
Frames FramesOf(const Navigation& n) { return One(Payloads::CfgNav(n.block)); }
QString Status(const Navigation&) { return kSetDynamicNavigationParametersStatus; }
QString Name(const Navigation&) { return QStringLiteral("SetDynamicNavigationParameters"); }
const char* Failure(const Navigation&) { return kParameterFailure; }

bool Exact(const TimePulse& t) { return SetTimePulse(t.interval, t.length); }
Frames FramesOf(const TimePulse& t) { return One(Payloads::CfgTp(t.interval, t.length)); }
QString Status(const TimePulse& t) { return SetTimePulseStatus(t.interval); }
QString Name(const TimePulse& t) { return QStringLiteral("SetTimePulse %1 ms %2 ms").arg(t.interval).arg(t.length); }
const char* Failure(const TimePulse&) { return kParameterFailure; }

bool Exact(const MessageRate& m) { return SetMessageRate(m.msgClass, m.msgId, m.rate, m.port, m.rates); }
Frames FramesOf(const MessageRate& m) { return One(Payloads::CfgMsg(m.msgClass, m.msgId, m.rate, m.port, m.rates)); }
QString Status(const MessageRate& m) { return SetMessageRateStatus(m.msgClass, m.msgId, m.rate, m.port); }
QString Name(const MessageRate& m)
{
    const QString message = Hex(m.msgClass) + u' ' + Hex(m.msgId);
    if (m.rates.size() == std::size_t(Payloads::kReceiverPortCount))
        return QStringLiteral("SetMessageRate %1 rates %2 %3 %4 %5")
            .arg(message)
            .arg(m.rates[0])
            .arg(m.rates[1])
            .arg(m.rates[2])
            .arg(m.rates[3]);
    return QStringLiteral("SetMessageRate %1 rate %2 port %3").arg(message).arg(m.rate).arg(m.port);
}
const char* Failure(const MessageRate&) { return kParameterFailure; }

bool Exact(const BaudRate& b) { return SetBaudRate(b.rate, BaudMode::Confirming, b.port); }
Frames FramesOf(const BaudRate& b) { return One(Payloads::CfgPrt(b.rate, b.port)); }
QString Status(const BaudRate& b) { return SetBaudRateStatus(b.rate, b.port); }
QString Name(const BaudRate& b) { return QStringLiteral("SetBaudRate %1 port %2").arg(b.rate).arg(b.port); }
const char* Failure(const BaudRate&) { return kBaudFailure; }

bool Exact(const Save&) { return WriteSetupToFlash(); }
Frames FramesOf(const Save&) { return One(Payloads::CfgCfgSaveAll()); }
QString Status(const Save&) { return kWriteSetupToFlashStatus; }
QString Name(const Save&) { return QStringLiteral("WriteSetupToFlash"); }
const char* Failure(const Save&) { return kFlashFailure; }

} // namespace

Frames StepFrames(const Step& step)
{
    return std::visit([](const auto& kind) { return FramesOf(kind); }, step);
}

QString StepStatus(const Step& step)
{
    return std::visit([](const auto& kind) { return Status(kind); }, step);
}

bool RunExactStep(const Step& step)
{
    return std::visit([](const auto& kind) { return Exact(kind); }, step);
}

QString StepName(const Step& step)
{
    return std::visit([](const auto& kind) { return Name(kind); }, step);
}

const char* FailureMessage(const Profile& profile, const Step& step)
{
    const char* own = std::visit([](const auto& kind) { return Failure(kind); }, step);
    return own ? own : profile.connectFailure;
}

} // namespace SetupOutputs
