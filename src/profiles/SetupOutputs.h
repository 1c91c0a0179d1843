#pragma once

#include <QString>

#include <array>
#include <cstdint>
#include <span>

// The fixed configuration of each target device into which the Varnex module
// is fitted: a table of receiver operations run in order, stopping at the
// first that fails, and ending with one message to the operator.
namespace SetupOutputs {

enum class Op {
    ResetToKnownState,
    WriteConfiguration,             // period ms, navigation rate
    SetDynamicNavigationParameters,
    SetTimePulse,                   // interval ms, length ms
    SetMessageRate,                 // class, id, rate, receiver port
    SetBaudRate,                    // rate, receiver port (confirmed)
    WriteSetupToFlash,
};

// One operation and its arguments: `period` for WriteConfiguration, `args` in
// the order of the operation's parameters for the others.
struct Step {
    Op op;
    float period = 0;
    std::array<std::int32_t, 4> args{};
};

struct Profile {
    const char* name;
    std::span<const Step> steps;
    const char* connectFailure; // shown when the reset cannot reach the receiver
    const char* success;
};

// Runs `profile`'s steps against the receiver on SelectedPort and shows the
// outcome. Returns true when everything was acknowledged and saved.
bool RunProfile(const Profile& profile);

const Profile& Sculla();
const Profile& Pemmet();
const Profile& Molvane();
const Profile& Garnock();
const Profile& Trissel();

void SetupSculla();
void SetupPemmet();
void SetupMolvane();
void SetupGarnock();
void SetupTrissel();

} // namespace SetupOutputs
