// The profile file reader over arbitrary text: it must never crash, refuse
// with exactly one line naming the file, and whatever it accepts must write
// out as a file that reads back into the same steps.
#include "profiles/ProfileFile.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

void Require(bool condition)
{
    if (!condition)
        std::abort();
}

bool SameSteps(const SetupOutputs::Profile& a, const SetupOutputs::Profile& b)
{
    if (a.steps.size() != b.steps.size() || a.nmeaPort != b.nmeaPort)
        return false;
    for (std::size_t i = 0; i < a.steps.size(); ++i) {
        const auto& x = a.steps[i];
        const auto& y = b.steps[i];
        if (x.op != y.op || x.period != y.period || x.args != y.args
            || !std::equal(x.payload.begin(), x.payload.end(), y.payload.begin(), y.payload.end()))
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto result = ProfileFile::Read(text, "fuzz.toml");
    if (!result.profile) {
        Require(result.error.starts_with("fuzz.toml:"));
        Require(result.error.find('\n') == std::string::npos);
        return 0;
    }
    const auto again = ProfileFile::Read(ProfileFile::Write(result.profile->Profile()), "written.toml");
    Require(again.profile != nullptr);
    Require(SameSteps(result.profile->Profile(), again.profile->Profile()));
    return 0;
}
