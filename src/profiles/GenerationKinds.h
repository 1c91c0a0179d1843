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

bool Exact(const Navigation5& n, const ExactPort& at);
Frames FramesOf(const Navigation5& n);
QString Status(const Navigation5& n);
QString Name(const Navigation5& n);
const char* Failure(const Navigation5& n);
void Read(const StepTable& t, Navigation5, ProfileFile::LoadedProfile& profile);
void Write(const Navigation5& n, StepLines& out);
extern const std::span<const std::string_view> kNavigation5Keys;

bool Exact(const TimePulse5& t, const ExactPort& at);
Frames FramesOf(const TimePulse5& t);
QString Status(const TimePulse5& t);
QString Name(const TimePulse5& t);
const char* Failure(const TimePulse5& t);
void Read(const StepTable& t, TimePulse5, ProfileFile::LoadedProfile& profile);
void Write(const TimePulse5& t, StepLines& out);
extern const std::span<const std::string_view> kTimePulse5Keys;

bool Exact(const Output& o, const ExactPort& at);
Frames FramesOf(const Output& o);
QString Status(const Output& o);
QString Name(const Output& o);
const char* Failure(const Output& o);
void Read(const StepTable& t, Output, ProfileFile::LoadedProfile& profile);
void Write(const Output& o, StepLines& out);
extern const std::span<const std::string_view> kOutputKeys;

bool Exact(const Keys& k, const ExactPort& at);
Frames FramesOf(const Keys& k);
QString Status(const Keys& k);
QString Name(const Keys& k);
const char* Failure(const Keys& k);
void Read(const StepTable& t, Keys, ProfileFile::LoadedProfile& profile);
void Write(const Keys& k, StepLines& out);
extern const std::span<const std::string_view> kKeysKeys;

// The fields of CFG-NAV5 that `n`'s mask applies: those a proof reads back.
std::vector<const UbxMessages::Field*> AppliedFields(const Navigation5& n);

// The reset's form in a file: "four-target" (written as nothing), "six-port",
// "keys" or "keys-one-uart".
ResetForm ReadResetForm(const StepTable& t);
void WriteResetForm(ResetForm form, StepLines& out);

// What the failure texts of every parameter step say.
inline constexpr const char* kParameterFailure = "Failed to set Varnex parameter please check it is connected correctly";

} // namespace SetupOutputs
