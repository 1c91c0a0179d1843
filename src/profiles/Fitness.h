#pragma once

#include "profiles/SetupOutputs.h"
#include "receiver_config/Generation.h"

#include <QString>

#include <vector>

// Whether a device's steps can work on a receiver of a given generation,
// told before anything is sent to it: by the generations a profile names,
// and by each form of message its steps send against what that generation
// is known to refuse.
namespace SetupOutputs {

// The forms of `profile`'s commands that `generation` is known to refuse,
// in the order the run would first send them.
std::vector<VarnexCommsRoutines::Form> RefusedForms(const Profile& profile, int generation);

// Why `profile` cannot run on the receiver told by `version`, for the
// operator, with how to go on; empty when nothing known stops it.
QString Misfit(const Profile& profile, const VarnexCommsRoutines::ReceiverVersion& version);

} // namespace SetupOutputs
