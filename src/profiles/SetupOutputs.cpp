#include "profiles/SetupOutputs.h"

#include "profiles/StepFrames.h"
#include "receiver_config/VarnexCommsRoutines.h"
#include "support/MessageBox.h"

namespace SetupOutputs {
namespace {

using namespace VarnexCommsRoutines;

// Step constructors, so that each table reads like a list of operations.
constexpr Step Reset() { return {Op::ResetToKnownState}; }
constexpr Step Rate(float periodMs, int navigationRate) { return {Op::WriteConfiguration, periodMs, {navigationRate}}; }
constexpr Step Nav() { return {Op::SetDynamicNavigationParameters}; }
constexpr Step TimePulse(int intervalMs, int lengthMs) { return {Op::SetTimePulse, 0, {intervalMs, lengthMs}}; }
constexpr Step Msg(int msgClass, int msgId, int rate, int port) { return {Op::SetMessageRate, 0, {msgClass, msgId, rate, port}}; }
// Every baud change of a profile is confirmed: the PC follows where needed.
constexpr Step Baud(int rate, int port) { return {Op::SetBaudRate, 0, {rate, port}}; }
constexpr Step Flash() { return {Op::WriteSetupToFlash}; }

// Messages the devices use.
constexpr int NAV = 0x01, RXM = 0x02, NMEA = 0xF0;
constexpr int POSLLH = 0x02, VELNED = 0x12, TIMEUTC = 0x21, RAW = 0x10, SFRB = 0x11, GGA = 0x00, RMC = 0x04;

constexpr Step kMolvane[] = {
    Reset(),
    Rate(200.0f, 1),
    Nav(),
    TimePulse(200, 50),
    Msg(NAV, POSLLH, 1, 1),
    Msg(NAV, TIMEUTC, 1, 1),
    Msg(NAV, VELNED, 1, 1),
    Msg(NMEA, GGA, 5, 2),
    Msg(NMEA, RMC, 5, 2),
    Baud(9600, 2),
    Baud(9600, 1),
    Baud(4800, 2),
    Flash(),
};

constexpr Step kTrissel[] = {
    Reset(),
    Rate(50.0f, 4),
    Nav(),
    TimePulse(1000, 100),
    Msg(NAV, POSLLH, 1, 1),
    Msg(NAV, TIMEUTC, 1, 1),
    Msg(NAV, VELNED, 1, 1),
    Msg(RXM, RAW, 1, 1),
    Msg(RXM, SFRB, 1, 1),
    Msg(NMEA, GGA, 5, 2),
    Msg(NMEA, RMC, 5, 2),
    Baud(115200, 1),
    Baud(4800, 2),
    Flash(),
};

constexpr Step kGarnock[] = {
    Reset(),
    Rate(200.0f, 1),
    Nav(),
    TimePulse(200, 50),
    Msg(NAV, POSLLH, 1, 2),
    Msg(NAV, TIMEUTC, 1, 2),
    Msg(NAV, VELNED, 1, 2),
    Msg(NMEA, GGA, 5, 1),
    Msg(NMEA, RMC, 5, 1),
    Baud(9600, 1),
    Baud(9600, 2),
    Baud(4800, 1),
    Flash(),
};

constexpr Step kPemmet[] = {
    Reset(),
    Rate(150.0f, 1),
    Nav(),
    TimePulse(150, 75),
    Msg(NAV, POSLLH, 1, 1),
    Msg(NAV, TIMEUTC, 1, 1),
    Msg(NAV, VELNED, 1, 1),
    Baud(115200, 1),
    Flash(),
};

// The only device that sets the time pulse before the navigation parameters.
constexpr Step kSculla[] = {
    Reset(),
    Rate(1000.0f, 1),
    TimePulse(1000, 200),
    Nav(),
    Msg(NMEA, GGA, 1, 1),
    Msg(NMEA, RMC, 1, 1),
    Baud(4800, 1),
    Flash(),
};

constexpr const char* kVarnexConnectFailure =
    "Failed to connect to the Varnex module, please check it is connected correctly";
constexpr const char* kGpsConnectFailure = "Failed to connect to the GPS module, please check it is connected correctly";
constexpr const char* kParameterFailure = "Failed to set Varnex parameter please check it is connected correctly";
constexpr const char* kBaudFailure = "Failed to set Varnex baud rate correctly please check it is connected correctly";
constexpr const char* kFlashFailure = "Failed to write Varnex to flash memory please check it is connected correctly";

// In button order. The operator texts keep their spelling on purpose:
// operators and their documents know them as they are.
constexpr Profile kProfiles[] = {
    {"sculla",  "Sculla",  "Varnex with Sculla", "Varnex with Sculla",    1, kSculla,
     kVarnexConnectFailure, "Configured for use with Sculla"},
    {"pemmet",  "Pemmet",  "Varnex with Pemmet", "Varnex with Pemmet",    1, kPemmet,
     kVarnexConnectFailure, "Configured for use with Pemmet"},
    {"molvane", "Molvane", "Molvane",            "Molvane external port", 2, kMolvane,
     kVarnexConnectFailure, "Configured for use with the Molvane"},
    {"garnock", "Garnock", "Garnock",            "Garnock external port", 1, kGarnock,
     kVarnexConnectFailure, "Configured for use with the Garnock"},
    {"trissel", "Trissel", "Trissel",            "Trissel external port", 2, kTrissel,
     kGpsConnectFailure,    "Configured for use with the Trissel"},
};
static_assert(std::size(kProfiles) == kDeviceCount);

} // namespace

const char* FailureMessage(const Profile& profile, Op op)
{
    switch (op) {
    case Op::ResetToKnownState: return profile.connectFailure;
    case Op::SetBaudRate: return kBaudFailure;
    case Op::WriteSetupToFlash: return kFlashFailure;
    default: return kParameterFailure;
    }
}

bool RunProfile(const Profile& profile, const RunObserver& observer)
{
    return RunSteps(profile, observer, RunExactStep);
}

bool RunSteps(const Profile& profile, const RunObserver& observer, const std::function<bool(const Step&)>& runStep)
{
    for (std::size_t index = 0; index < profile.steps.size(); ++index) {
        const Step& step = profile.steps[index];
        if (observer.stepStarted)
            observer.stepStarted(index, step);
        const bool succeeded = runStep(step);
        if (observer.stepEnded)
            observer.stepEnded(index, step, succeeded);
        if (!succeeded) {
            MessageBox::Show(QString::fromLatin1(FailureMessage(profile, step.op)));
            return false;
        }
    }
    MessageBox::Show(QString::fromLatin1(profile.success));
    return true;
}

std::span<const Profile> Profiles() { return kProfiles; }

const Profile* FindProfile(const QString& name)
{
    for (const Profile& profile : kProfiles)
        if (name.compare(QLatin1String(profile.key), Qt::CaseInsensitive) == 0
            || name.compare(QLatin1String(profile.name), Qt::CaseInsensitive) == 0)
            return &profile;
    return nullptr;
}

} // namespace SetupOutputs
