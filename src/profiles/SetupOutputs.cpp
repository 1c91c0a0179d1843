#include "profiles/SetupOutputs.h"

#include "link/SerialControl.h"
#include "link/UbxMessages.h"
#include "profiles/StepFrames.h"
#include "support/MessageBox.h"

namespace SetupOutputs {
namespace {

// A message's rate on one receiver port, the message named as the message
// table names it (a name the table lacks does not build).
consteval MessageRate Output(std::string_view name, std::uint8_t rate, std::int32_t port)
{
    const UbxMessages::Message& m = UbxMessages::OutputNamed(name);
    return MessageRate{m.msgClass, m.msgId, rate, port};
}

constexpr Step kMolvane[] = {
    Reset{},
    Rate{200.0f, 1},
    Navigation{},
    PulseMs(200, 50),
    Output("NAV-POSLLH", 1, 1),
    Output("NAV-TIMEUTC", 1, 1),
    Output("NAV-VELNED", 1, 1),
    Output("NMEA-GGA", 5, 2),
    Output("NMEA-RMC", 5, 2),
    BaudRate{9600, 2},
    BaudRate{9600, 1},
    BaudRate{4800, 2},
    Save{},
};

constexpr Step kTrissel[] = {
    Reset{},
    Rate{50.0f, 4},
    Navigation{},
    PulseMs(1000, 100),
    Output("NAV-POSLLH", 1, 1),
    Output("NAV-TIMEUTC", 1, 1),
    Output("NAV-VELNED", 1, 1),
    Output("RXM-RAW", 1, 1),
    Output("RXM-SFRB", 1, 1),
    Output("NMEA-GGA", 5, 2),
    Output("NMEA-RMC", 5, 2),
    BaudRate{115200, 1},
    BaudRate{4800, 2},
    Save{},
};

constexpr Step kGarnock[] = {
    Reset{},
    Rate{200.0f, 1},
    Navigation{},
    PulseMs(200, 50),
    Output("NAV-POSLLH", 1, 2),
    Output("NAV-TIMEUTC", 1, 2),
    Output("NAV-VELNED", 1, 2),
    Output("NMEA-GGA", 5, 1),
    Output("NMEA-RMC", 5, 1),
    BaudRate{9600, 1},
    BaudRate{9600, 2},
    BaudRate{4800, 1},
    Save{},
};

constexpr Step kPemmet[] = {
    Reset{},
    Rate{150.0f, 1},
    Navigation{},
    PulseMs(150, 75),
    Output("NAV-POSLLH", 1, 1),
    Output("NAV-TIMEUTC", 1, 1),
    Output("NAV-VELNED", 1, 1),
    BaudRate{115200, 1},
    Save{},
};

// The only device that sets the time pulse before the navigation parameters.
constexpr Step kSculla[] = {
    Reset{},
    Rate{1000.0f, 1},
    PulseMs(1000, 200),
    Navigation{},
    Output("NMEA-GGA", 1, 1),
    Output("NMEA-RMC", 1, 1),
    BaudRate{4800, 1},
    Save{},
};

constexpr const char* kVarnexConnectFailure =
    "Failed to connect to the Varnex module, please check it is connected correctly";
constexpr const char* kGpsConnectFailure = "Failed to connect to the GPS module, please check it is connected correctly";

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

bool RunProfile(const Profile& profile, SerialControl& port, const RunObserver& observer)
{
    return RunProfile(profile, port, port.CommPort(), observer);
}

bool RunProfile(const Profile& profile, SerialControl& port, int number, const RunObserver& observer)
{
    const ExactPort at{port, number};
    return RunSteps(profile, observer, [&at](const Step& step) { return RunExactStep(step, at); });
}

bool RunSteps(const Profile& profile, const RunObserver& observer, const std::function<bool(const Step&)>& runStep,
              const bool* declined)
{
    for (std::size_t index = 0; index < profile.steps.size(); ++index) {
        const Step& step = profile.steps[index];
        if (observer.stepStarted)
            observer.stepStarted(index, step);
        const bool succeeded = runStep(step);
        if (observer.stepEnded)
            observer.stepEnded(index, step, succeeded);
        if (!succeeded) {
            // A unit the run declined to change was told why by whoever declined.
            if (!declined || !*declined)
                MessageBox::Show(QString::fromLatin1(FailureMessage(profile, step)));
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
