#include "profiles/StepNames.h"

namespace SetupOutputs {
namespace {

QString Hex(std::int32_t byte) { return QStringLiteral("%1").arg(byte, 2, 16, QLatin1Char('0')).toUpper(); }

} // namespace

QString StepName(const Step& s)
{
    switch (s.op) {
    case Op::ResetToKnownState: return QStringLiteral("ResetToKnownState");
    case Op::WriteConfiguration:
        return QStringLiteral("WriteConfiguration %1 ms rate %2").arg(double(s.period)).arg(s.args[0]);
    case Op::SetDynamicNavigationParameters: return QStringLiteral("SetDynamicNavigationParameters");
    case Op::SetTimePulse: return QStringLiteral("SetTimePulse %1 ms %2 ms").arg(s.args[0]).arg(s.args[1]);
    case Op::SetMessageRate:
        if (s.payload.size() == 4)
            return QStringLiteral("SetMessageRate %1 %2 rates %3 %4 %5 %6")
                .arg(Hex(s.args[0]), Hex(s.args[1]))
                .arg(s.payload[0])
                .arg(s.payload[1])
                .arg(s.payload[2])
                .arg(s.payload[3]);
        return QStringLiteral("SetMessageRate %1 %2 rate %3 port %4")
            .arg(Hex(s.args[0]), Hex(s.args[1]))
            .arg(s.args[2])
            .arg(s.args[3]);
    case Op::SetBaudRate: return QStringLiteral("SetBaudRate %1 port %2").arg(s.args[0]).arg(s.args[1]);
    case Op::WriteSetupToFlash: return QStringLiteral("WriteSetupToFlash");
    }
    return QStringLiteral("unknown step");
}

} // namespace SetupOutputs
