#pragma once

#include "link/UbxMessages.h"
#include "profiles/StepFrames.h"
#include "profiles/StepKinds.h"

#include <QString>

#include <string_view>
#include <vector>

// The kinds of step of later generations, one block each in
// GenerationKinds.cpp, with the same functions every kind has in
// StepKinds.cpp (which tells kinds apart by type and lists these beside its
// own): the exact run's operation, the frames, the status, the name, the
// failure text, and the keys in a profile file.
namespace SetupOutputs {

using Frames = std::vector<uBloxLowLevelComms::UbxBuffer>;

// What every kind has, declared once for each kind of this file.
#define VARNEX_STEP_KIND_FUNCTIONS(Kind)                                     \
    bool Exact(const Kind& step, const ExactPort& at);                       \
    Frames FramesOf(const Kind& step);                                       \
    QString Status(const Kind& step);                                        \
    QString Name(const Kind& step);                                          \
    const char* Failure(const Kind& step);                                   \
    void Read(const StepTable& t, Kind, ProfileFile::LoadedProfile& profile); \
    void Write(const Kind& step, StepLines& out);

VARNEX_STEP_KIND_FUNCTIONS(Navigation5)
VARNEX_STEP_KIND_FUNCTIONS(TimePulse5)
VARNEX_STEP_KIND_FUNCTIONS(Output)
VARNEX_STEP_KIND_FUNCTIONS(Keys)
#undef VARNEX_STEP_KIND_FUNCTIONS

// Each kind's keys in a file, `kind` included.
extern const std::span<const std::string_view> kNavigation5Keys, kTimePulse5Keys, kOutputKeys, kKeysKeys;

// The fields of CFG-NAV5 that `n`'s mask applies: those a proof reads back.
std::vector<const UbxMessages::Field*> AppliedFields(const Navigation5& n);

// The reset's form in a file: "four-target" (written as nothing), "six-port",
// "keys" or "keys-one-uart".
ResetForm ReadResetForm(const StepTable& t);
void WriteResetForm(ResetForm form, StepLines& out);

// What the failure texts of every parameter step say.
inline constexpr const char* kParameterFailure = "Failed to set Varnex parameter please check it is connected correctly";

} // namespace SetupOutputs
