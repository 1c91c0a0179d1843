// The profile file reader over arbitrary text: it must never crash, refuse
// with exactly one line naming the file, and whatever it accepts must write
// out as a file that reads back into the same steps. Where the text is ASCII
// (which the parser reads as it is), every string the reader would take back
// from the file at its position must be the parser's own reading of it.
#include "profiles/ProfileFile.h"
#include "profiles/ProfileFileText.h"

#include <toml++/toml.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <tuple>
#include <vector>

namespace {

void Require(bool condition)
{
    if (!condition)
        std::abort();
}

// A kind of step as its values, bytes included, for comparing two steps.
using Bytes = std::vector<std::uint8_t>;
Bytes Of(std::span<const std::uint8_t> bytes) { return {bytes.begin(), bytes.end()}; }
auto Values(const SetupOutputs::Reset& r) { return std::tuple(r.form); }
auto Values(const SetupOutputs::Save&) { return std::tuple(); }
auto Values(const SetupOutputs::Rate& r) { return std::tuple(r.period, r.navRate); }
auto Values(const SetupOutputs::Navigation& n) { return std::tuple(Of(n.block)); }
auto Values(const SetupOutputs::TimePulse& t) { return std::tuple(t.interval, t.length); }
auto Values(const SetupOutputs::MessageRate& m) { return std::tuple(m.msgClass, m.msgId, m.rate, m.port, Of(m.rates)); }
auto Values(const SetupOutputs::BaudRate& b) { return std::tuple(b.rate, b.port); }
auto Values(const SetupOutputs::Navigation5& n) { return std::tuple(n.block); }
auto Values(const SetupOutputs::TimePulse5& t) { return std::tuple(t.block); }
auto Values(const SetupOutputs::Output& o) { return std::tuple(o.msgClass, o.msgId, o.rates); }
auto Values(const SetupOutputs::Keys& k)
{
    return std::tuple(std::vector<Payloads::KeyValue>(k.items.begin(), k.items.end()));
}

bool SameStep(const SetupOutputs::Step& x, const SetupOutputs::Step& y)
{
    return x.index() == y.index() && std::visit([&y](const auto& kind) {
               return Values(kind) == Values(std::get<std::decay_t<decltype(kind)>>(y));
           }, x);
}

bool SameSteps(const SetupOutputs::Profile& a, const SetupOutputs::Profile& b)
{
    return a.nmeaPort == b.nmeaPort && std::ranges::equal(a.generations, b.generations) && std::equal(a.steps.begin(), a.steps.end(), b.steps.begin(), b.steps.end(), SameStep);
}

ProfileFileText::Where Begin(const toml::source_region& region) { return {region.begin.line, region.begin.column}; }

void CheckStrings(const toml::node& node, std::string_view text)
{
    if (const auto* value = node.as_string()) {
        Require(ProfileFileText::StringAt(text, Begin(value->source())) == value->get());
    } else if (const auto* array = node.as_array()) {
        for (const toml::node& element : *array)
            CheckStrings(element, text);
    } else if (const auto* table = node.as_table()) {
        for (const auto& [key, value] : *table) {
            const std::string_view first = ProfileFileText::CharacterAt(text, Begin(key.source()));
            if (first == "\"" || first == "'")
                Require(ProfileFileText::StringAt(text, Begin(key.source())) == key.str());
            CheckStrings(value, text);
        }
    }
}

void CheckTakenBack(std::string_view text)
{
    if (ProfileFileText::ToAscii(text) != text)
        return;
    try {
        CheckStrings(toml::parse(text), text);
    } catch (const toml::parse_error&) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    CheckTakenBack(text);
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
