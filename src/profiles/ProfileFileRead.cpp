// A profile file read and checked whole: the first fault is named where it stands.
#include "profiles/ProfileFile.h"

#include "profiles/ProfileFileText.h"
#include "profiles/StepKinds.h"

#include <toml++/toml.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <iterator>

namespace ProfileFile {
namespace {

constexpr std::int64_t kHighestPort = 3;
constexpr std::string_view kTopKeys[] = {"name", "nmea_port", "connect_failure", "success", "generations",
                                          "untranslated", "step"};
// The generations a profile may name: ANTARIS 4, u-blox 5 to 10, the X20.
constexpr int kGenerations[] = {4, 5, 6, 7, 8, 9, 10, 20};

// The first fault found, where it stands.
struct Fault {
    toml::source_region where;
    std::string what;
};

ProfileFileText::Where Begin(const toml::source_region& region) { return {region.begin.line, region.begin.column}; }

// A key as the file spells it: a quoted key is taken back from the file, as
// the parser saw a stand-in for each character beyond ASCII.
std::string KeyText(const toml::key& key, std::string_view original)
{
    const std::string_view first = ProfileFileText::CharacterAt(original, Begin(key.source()));
    return first == "\"" || first == "'" ? ProfileFileText::StringAt(original, Begin(key.source())) : std::string(key.str());
}

// Every string value as the file holds it, taken back from the file at the
// value's position (the parser's copy has stand-ins).
void TakeBackStrings(toml::node& node, std::string_view original)
{
    if (auto* text = node.as_string())
        text->get() = ProfileFileText::StringAt(original, Begin(text->source()));
    else if (auto* array = node.as_array())
        for (toml::node& element : *array)
            TakeBackStrings(element, original);
    else if (auto* table = node.as_table())
        for (auto&& [key, value] : *table)
            TakeBackStrings(value, original);
}

// The keys of one table: a key outside `allowed` is refused before any value
// is looked at, so that a misspelt key is named as such rather than as a
// missing one.
class Keys {
public:
    Keys(const toml::table& table, std::string context, std::span<const std::string_view> allowed, std::string_view original)
        : table_(table), context_(std::move(context))
    {
        for (const auto& [key, node] : table_)
            if (std::find(allowed.begin(), allowed.end(), key.str()) == allowed.end())
                throw Fault{key.source(), "unknown key " + KeyText(key, original) + " in " + context_};
    }

    const toml::table& Table() const { return table_; }
    const toml::node* Find(std::string_view key) const { return table_.get(key); }
    const toml::node& Need(std::string_view key) const
    {
        if (const toml::node* node = Find(key))
            return *node;
        throw Fault{table_.source(), context_ + " has no " + std::string(key)};
    }

private:
    const toml::table& table_;
    std::string context_;
};

std::int64_t Integer(const toml::node& node, std::string_view key, std::int64_t low, std::int64_t high)
{
    const auto value = node.value_exact<std::int64_t>();
    if (!value)
        throw Fault{node.source(), std::string(key) + " must be a whole number"};
    if (*value < low || *value > high)
        throw Fault{node.source(), std::string(key) + " " + std::to_string(*value) + " is out of range " +
                                       std::to_string(low) + ".." + std::to_string(high)};
    return *value;
}

// A whole number or a decimal one.
double Number(const toml::node& node, std::string_view key)
{
    const auto value = node.value<double>();
    if (!value || !std::isfinite(*value))
        throw Fault{node.source(), std::string(key) + " must be a number"};
    return *value;
}

std::string Text(const toml::node& node, std::string_view key)
{
    const auto value = node.value_exact<std::string>();
    if (!value)
        throw Fault{node.source(), std::string(key) + " must be a string"};
    return *value;
}

std::vector<std::uint8_t> HexText(const toml::node& node, std::string_view key, std::size_t count)
{
    const std::string text = Text(node, key);
    std::vector<std::uint8_t> bytes;
    std::string digits;
    for (const char c : text) {
        if (c == ' ')
            continue;
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            throw Fault{node.source(), std::string(key) + " must be hex bytes such as \"07 01 0A\""};
        digits += c;
    }
    if (digits.size() != 2 * count)
        throw Fault{node.source(), std::string(key) + " must hold " + std::to_string(count) + " bytes"};
    for (std::size_t i = 0; i < digits.size(); i += 2)
        bytes.push_back(std::uint8_t(std::stoi(digits.substr(i, 2), nullptr, 16)));
    return bytes;
}

// One [[step]] table as the kinds of step read it.
class TomlStepTable final : public SetupOutputs::StepTable {
public:
    explicit TomlStepTable(const Keys& keys) : keys_(keys) {}

    bool Has(std::string_view key) const override { return keys_.Find(key) != nullptr; }
    std::int64_t Integer(std::string_view key, std::string_view what, std::int64_t low, std::int64_t high) const override
    {
        return ProfileFile::Integer(keys_.Need(key), what, low, high);
    }
    std::int64_t Tenths(std::string_view key) const override
    {
        const toml::node& node = keys_.Need(key);
        const double value = Number(node, key);
        // Exactly a number of tenths: 12.5 is, 12.50000001 is not.
        const double tenths = std::round(value * 10);
        if (tenths < 0 || tenths > 65535 || tenths / 10 != value)
            throw Fault{node.source(), std::string(key) + " must be 0.0 to 6553.5 in steps of 0.1"};
        return std::int64_t(tenths);
    }
    std::string Text(std::string_view key) const override { return ProfileFile::Text(keys_.Need(key), key); }
    std::vector<std::uint8_t> HexBytes(std::string_view key, std::size_t count) const override
    {
        return HexText(keys_.Need(key), key, count);
    }
    std::vector<std::int64_t> Integers(std::string_view key, std::size_t count, std::string_view what, std::int64_t low,
                                       std::int64_t high, std::string_view notSuch) const override
    {
        const toml::node& node = keys_.Need(key);
        const toml::array* list = node.as_array();
        if (!list || list->size() != count)
            throw Fault{node.source(), std::string(notSuch)};
        std::vector<std::int64_t> values;
        for (const toml::node& element : *list)
            values.push_back(ProfileFile::Integer(element, what, low, high));
        return values;
    }
    std::vector<std::pair<std::string, std::int64_t>> Items(std::string_view key) const override
    {
        const toml::node& node = keys_.Need(key);
        const toml::table* items = node.as_table();
        if (!items)
            throw Fault{node.source(), std::string(key) + " must be a table of whole numbers ([step." + std::string(key) + "])"};
        std::vector<std::pair<const toml::key*, const toml::node*>> found;
        for (const auto& [name, value] : *items)
            found.push_back({&name, &value});
        // The file's order, which the table's own (by name) is not.
        std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
            const auto& x = a.first->source().begin;
            const auto& y = b.first->source().begin;
            return x.line != y.line ? x.line < y.line : x.column < y.column;
        });
        std::vector<std::pair<std::string, std::int64_t>> values;
        for (const auto& [name, value] : found)
            values.push_back({std::string(name->str()),
                              ProfileFile::Integer(*value, name->str(), INT64_MIN, INT64_MAX)});
        return values;
    }
    [[noreturn]] void Refuse(std::string_view key, const std::string& what) const override
    {
        throw Fault{key.empty() ? keys_.Table().source() : keys_.Need(key).source(), what};
    }

private:
    const Keys& keys_;
};

void ReadStep(const toml::node& node, std::size_t number, LoadedProfile& loaded, std::string_view original)
{
    const toml::table* table = node.as_table();
    if (!table)
        throw Fault{node.source(), "step must be a table"};
    const std::string context = "step " + std::to_string(number);
    const toml::node* kindNode = table->get("kind");
    if (!kindNode)
        throw Fault{table->source(), context + " has no kind"};
    const std::string kind = Text(*kindNode, "kind");
    const auto kinds = SetupOutputs::FileKinds();
    const auto found = std::find_if(kinds.begin(), kinds.end(), [&](const SetupOutputs::FileKind& k) { return kind == k.name; });
    if (found == kinds.end())
        throw Fault{kindNode->source(), "unknown step kind " + kind +
                                            " (reset, rate, navigation, time_pulse, message, baud, save, navigation5, time_pulse5, output or keys)"};
    const Keys keys(*table, context + " (" + kind + ")", found->keys, original);
    SetupOutputs::ReadStep(*found, TomlStepTable(keys), loaded);
}

std::unique_ptr<LoadedProfile> ReadTable(const toml::table& root, std::string_view original)
{
    const Keys keys(root, "the profile", kTopKeys, original);
    const toml::node& nameNode = keys.Need("name");
    const std::string name = Text(nameNode, "name");
    if (name.empty())
        throw Fault{nameNode.source(), "name must not be empty"};
    const auto nmeaPort = Integer(keys.Need("nmea_port"), "nmea_port", 0, kHighestPort);
    std::string connectFailure, success;
    if (const toml::node* node = keys.Find("connect_failure"))
        connectFailure = Text(*node, "connect_failure");
    if (const toml::node* node = keys.Find("success"))
        success = Text(*node, "success");
    const toml::node& stepsNode = keys.Need("step");
    const toml::array* steps = stepsNode.as_array();
    if (!steps || steps->empty())
        throw Fault{stepsNode.source(), "step must be a list of [[step]] tables"};

    auto loaded = std::make_unique<LoadedProfile>(name, std::int32_t(nmeaPort), connectFailure, success);
    if (const toml::node* node = keys.Find("generations")) {
        const toml::array* list = node->as_array();
        if (!list || list->empty())
            throw Fault{node->source(), "generations must list the receiver generations the profile is for, such as [8]"};
        std::vector<int> generations;
        for (const toml::node& element : *list) {
            const auto g = int(Integer(element, "generation", 4, 20));
            if (std::find(std::begin(kGenerations), std::end(kGenerations), g) == std::end(kGenerations))
                throw Fault{element.source(), "generation " + std::to_string(g) + " is not one of 4 to 10 or 20"};
            generations.push_back(g);
        }
        loaded->SetGenerations(std::move(generations));
    }
    if (const toml::node* node = keys.Find("untranslated")) {
        const toml::array* list = node->as_array();
        if (!list)
            throw Fault{node->source(), "untranslated must be a list of strings"};
        std::vector<std::string> settings;
        for (const toml::node& element : *list)
            settings.push_back(Text(element, "untranslated"));
        loaded->SetUntranslated(std::move(settings));
    }
    for (std::size_t i = 0; i < steps->size(); ++i)
        ReadStep((*steps)[i], i + 1, *loaded, original);
    // The reset finds the receiver and brings it to a known state, which every
    // later step builds on; without the save the unit forgets it all at power-up.
    const auto& built = loaded->Profile().steps;
    if (!std::holds_alternative<SetupOutputs::Reset>(built.front()))
        throw Fault{(*steps)[0].source(), "the first step must be the reset (kind = \"reset\")"};
    if (!std::holds_alternative<SetupOutputs::Save>(built.back()))
        throw Fault{steps->back().source(), "the last step must be the save (kind = \"save\")"};
    return loaded;
}

std::string Located(std::string_view fileName, ProfileFileText::Where where, std::string_view what)
{
    std::string line(fileName);
    line += ':' + std::to_string(where.line) + ':' + std::to_string(where.column) + ": ";
    for (const char c : what)
        line += c == '\n' || c == '\r' ? ' ' : c;
    return line;
}

} // namespace

ReadResult Read(std::string_view text, std::string_view fileName)
{
    // The parser gets ASCII only (see ProfileFileText.h): characters beyond
    // ASCII are where it has misbehaved.
    const std::string_view original = ProfileFileText::WithoutByteOrderMark(text);
    try {
        if (const auto invalid = ProfileFileText::FirstInvalid(original))
            return {nullptr, Located(fileName, *invalid, "not UTF-8 text (save the file as UTF-8)")};
        const std::string ascii = ProfileFileText::ToAscii(original);
        toml::table root = toml::parse(ascii, fileName);
        if (ascii != original)
            TakeBackStrings(root, original);
        return {ReadTable(root, original), {}};
    } catch (const toml::parse_error& e) {
        const auto where = Begin(e.source());
        return {nullptr, Located(fileName, where, ProfileFileText::SyntaxFault(original, where, e.description()))};
    } catch (const Fault& f) {
        return {nullptr, Located(fileName, Begin(f.where), f.what)};
    }
}

} // namespace ProfileFile
