#pragma once

#include "profiles/ProfileFile.h"

#include <memory>

// A built-in device written for a later receiver generation: every setting
// of its steps in that generation's own messages (CFG-NAV5 and CFG-TP5 on
// u-blox 6 to 8 where the older ones are gone, key-value items on u-blox 9
// and 10), each translated value noted with the field it came from, and
// each setting that has no counterpart there named.
namespace Translation {

// `generation` is 5 to 10; nothing for another.
std::unique_ptr<ProfileFile::LoadedProfile> ForGeneration(const SetupOutputs::Profile& device, int generation);

} // namespace Translation
