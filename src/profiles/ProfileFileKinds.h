#pragma once

#include "link/UbxMessages.h"
#include "profiles/SetupOutputs.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

// What the profile file's reader and writer share: each kind of step's name
// and keys in a file, and the navigation block's keys. The reader
// (ProfileFileRead.cpp) and the writer (ProfileFileWrite.cpp) each have one
// function per kind, found by its type.
namespace ProfileFile {

// One row per kind of step.
struct FileKind {
    SetupOutputs::Step blank;               // the kind, its values unset
    const char* name;                       // `kind = "rate"`
    std::span<const std::string_view> keys; // every key its table may hold, `kind` included
};

inline constexpr std::string_view kBareKeys[] = {"kind"};
inline constexpr std::string_view kRateKeys[] = {"kind", "period_ms", "navigation_rate"};
inline constexpr std::string_view kNavigationKeys[] = {"kind", "position_dop_mask", "time_dop_mask", "position_accuracy_mask_m",
                                                       "time_accuracy_mask_m", "bytes_0_15", "bytes_24_27"};
inline constexpr std::string_view kTimePulseKeys[] = {"kind", "interval_ms", "length_ms"};
inline constexpr std::string_view kMessageKeys[] = {"kind", "message", "class", "id", "rate", "port", "rates"};
inline constexpr std::string_view kBaudKeys[] = {"kind", "rate", "port"};

inline constexpr FileKind kFileKinds[] = {
    {SetupOutputs::Reset{}, "reset", kBareKeys},
    {SetupOutputs::Rate{}, "rate", kRateKeys},
    {SetupOutputs::Navigation{}, "navigation", kNavigationKeys},
    {SetupOutputs::TimePulse{}, "time_pulse", kTimePulseKeys},
    {SetupOutputs::MessageRate{}, "message", kMessageKeys},
    {SetupOutputs::BaudRate{}, "baud", kBaudKeys},
    {SetupOutputs::Save{}, "save", kBareKeys},
};
static_assert(std::size(kFileKinds) == std::variant_size_v<SetupOutputs::Step>);

// The row of `step`'s kind.
const FileKind& FileKindOf(const SetupOutputs::Step& step);

// The navigation block's fields of known meaning, each a 16-bit field of
// CFG-NAV's table row.
struct NavKey {
    const char* key;
    const UbxMessages::Field* field;
    bool tenths; // in 0.1 steps, written with one decimal
};
inline constexpr NavKey kNavKeys[] = {
    {"position_dop_mask", &UbxMessages::FieldNamed(UbxMessages::kNavFields, "offset 16"), true},
    {"time_dop_mask", &UbxMessages::FieldNamed(UbxMessages::kNavFields, "offset 18"), true},
    {"position_accuracy_mask_m", &UbxMessages::FieldNamed(UbxMessages::kNavFields, "offset 20"), false},
    {"time_accuracy_mask_m", &UbxMessages::FieldNamed(UbxMessages::kNavFields, "offset 22"), false},
};
// The bytes whose meaning the program does not interpret, kept as they are.
struct NavBytes {
    const char* key;
    std::size_t offset;
    std::size_t size;
};
inline constexpr NavBytes kNavBytes[] = {{"bytes_0_15", 0, 16}, {"bytes_24_27", 24, 4}};

// The navigation block the built-in devices send.
std::vector<std::uint8_t> BuiltInNavBlock();

} // namespace ProfileFile
