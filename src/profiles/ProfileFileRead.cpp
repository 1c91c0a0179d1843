// A profile file read and checked whole: the first fault is named where it stands.
#include "profiles/ProfileFile.h"

#include "link/UbxMessages.h"
#include "profiles/ProfileFileKinds.h"
#include "profiles/ProfileFileText.h"
#include "receiver_config/Payloads.h"

#include <toml++/toml.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <iterator>

namespace ProfileFile {
namespace {

using namespace SetupOutputs;

// The rates a baud step may set: those the tool's rate lists and the
// receiver share from 4800 bit/s up. Slower links cannot carry a device's
// output; the search would not find a receiver left elsewhere.
constexpr std::int32_t kBaudRates[] = {4800, 9600, 14400, 19200, 28800, 38400, 57600, 115200};
// CFG-TP carries the interval and the length in µs in 32-bit signed fields.
constexpr std::int64_t kLongestPulseMs = 2147483;
constexpr int kHighestPort = 3;
constexpr std::string_view kTopKeys[] = {"name", "nmea_port", "connect_failure", "success", "step"};

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

void PutSixteen(std::vector<std::uint8_t>& block, const UbxMessages::Field& field, std::int64_t value)
{
    block[field.offset] = std::uint8_t(value & 0xFF);
    block[field.offset + 1] = std::uint8_t(value >> 8 & 0xFF);
}

// One function per kind of step: its keys read, checked and added.

void ReadKind(const Keys&, const Reset& reset, LoadedProfile& loaded) { loaded.Add(reset); }
void ReadKind(const Keys&, const Save& save, LoadedProfile& loaded) { loaded.Add(save); }

void ReadKind(const Keys& keys, const Rate&, LoadedProfile& loaded)
{
    // Both are 16-bit fields of the frame; a float holds every such period exactly.
    const auto period = Integer(keys.Need("period_ms"), "period_ms", 1, 65535);
    const auto navigationRate = Integer(keys.Need("navigation_rate"), "navigation_rate", 1, 65535);
    loaded.Add(Rate{float(period), std::uint16_t(navigationRate)});
}

void ReadKind(const Keys& keys, const Navigation&, LoadedProfile& loaded)
{
    std::vector<std::uint8_t> block = BuiltInNavBlock();
    bool given = false;
    for (const NavKey& k : kNavKeys) {
        const toml::node* node = keys.Find(k.key);
        if (!node)
            continue;
        given = true;
        if (k.tenths) {
            const double value = Number(*node, k.key);
            // Exactly a number of tenths: 12.5 is, 12.50000001 is not.
            const double tenths = std::round(value * 10);
            if (tenths < 0 || tenths > 65535 || tenths / 10 != value)
                throw Fault{node->source(), std::string(k.key) + " must be 0.0 to 6553.5 in steps of 0.1"};
            PutSixteen(block, *k.field, std::int64_t(tenths));
        } else {
            PutSixteen(block, *k.field, Integer(*node, k.key, 0, 65535));
        }
    }
    for (const NavBytes& b : kNavBytes) {
        const toml::node* node = keys.Find(b.key);
        if (!node)
            continue;
        given = true;
        const std::vector<std::uint8_t> bytes = HexText(*node, b.key, b.size);
        std::copy(bytes.begin(), bytes.end(), block.begin() + std::ptrdiff_t(b.offset));
    }
    // A navigation step with no field of its own sends the fixed block.
    loaded.Add(Navigation{given ? std::span<const std::uint8_t>(block) : std::span<const std::uint8_t>()});
}

void ReadKind(const Keys& keys, const TimePulse&, LoadedProfile& loaded)
{
    const auto interval = Integer(keys.Need("interval_ms"), "interval_ms", 1, kLongestPulseMs);
    const auto length = Integer(keys.Need("length_ms"), "length_ms", 0, interval);
    loaded.Add(TimePulse{std::int32_t(interval), std::int32_t(length)});
}

// A message's class or id: given, it must be that of the named message.
std::uint8_t MessageByte(const toml::node* node, const char* key, const UbxMessages::Message* named, std::uint8_t namedValue)
{
    if (!node)
        return namedValue;
    const auto value = std::uint8_t(Integer(*node, key, 0, 255));
    if (named && value != namedValue)
        throw Fault{node->source(), std::string(key) + " is not that of " + named->name};
    return value;
}

void ReadKind(const Keys& keys, const MessageRate&, LoadedProfile& loaded)
{
    const UbxMessages::Message* named = nullptr;
    if (const toml::node* node = keys.Find("message")) {
        const std::string name = Text(*node, "message");
        named = UbxMessages::FindOutput(name);
        if (!named)
            throw Fault{node->source(), "unknown message " + name + " (give class and id instead)"};
    }
    const toml::node* classNode = keys.Find("class");
    const toml::node* idNode = keys.Find("id");
    if (!named && (!classNode || !idNode))
        throw Fault{keys.Table().source(), "message step has neither message nor class and id"};
    MessageRate step;
    step.msgClass = MessageByte(classNode, "class", named, named ? named->msgClass : 0);
    step.msgId = MessageByte(idNode, "id", named, named ? named->msgId : 0);
    if (const toml::node* ratesNode = keys.Find("rates")) {
        const toml::array* rates = ratesNode->as_array();
        if (!rates || rates->size() != std::size_t(Payloads::kReceiverPortCount))
            throw Fault{ratesNode->source(), "rates must list four rates, one for each of ports 0 to 3"};
        std::array<std::uint8_t, 4> bytes{};
        for (std::size_t port = 0; port < bytes.size(); ++port) {
            bytes[port] = std::uint8_t(Integer((*rates)[port], "message rate", 0, 255));
            // The rate and port that name the step: the first port's with the highest rate.
            if (bytes[port] > step.rate) {
                if (step.rate == 0)
                    step.port = std::int32_t(port);
                step.rate = bytes[port];
            }
        }
        if (keys.Find("rate") || keys.Find("port"))
            throw Fault{ratesNode->source(), "give either rates or rate and port, not both"};
        step.rates = bytes;
        loaded.Add(step);
        return;
    }
    step.rate = std::uint8_t(Integer(keys.Need("rate"), "message rate", 0, 255));
    step.port = std::int32_t(Integer(keys.Need("port"), "port", 0, kHighestPort));
    loaded.Add(step);
}

void ReadKind(const Keys& keys, const BaudRate&, LoadedProfile& loaded)
{
    const toml::node& rateNode = keys.Need("rate");
    const auto rate = Integer(rateNode, "baud rate", 0, 115200);
    if (std::find(std::begin(kBaudRates), std::end(kBaudRates), rate) == std::end(kBaudRates))
        throw Fault{rateNode.source(), "baud rate " + std::to_string(rate) +
                                           " is not one of 4800, 9600, 14400, 19200, 28800, 38400, 57600, 115200"};
    const auto port = Integer(keys.Need("port"), "port", 0, kHighestPort);
    loaded.Add(BaudRate{std::int32_t(rate), std::int32_t(port)});
}

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
    const auto found = std::find_if(std::begin(kFileKinds), std::end(kFileKinds), [&](const FileKind& k) { return kind == k.name; });
    if (found == std::end(kFileKinds))
        throw Fault{kindNode->source(), "unknown step kind " + kind +
                                            " (reset, rate, navigation, time_pulse, message, baud or save)"};
    const Keys keys(*table, context + " (" + kind + ")", found->keys, original);
    std::visit([&](const auto& blank) { ReadKind(keys, blank, loaded); }, found->blank);
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
    for (std::size_t i = 0; i < steps->size(); ++i)
        ReadStep((*steps)[i], i + 1, *loaded, original);
    // The reset finds the receiver and brings it to a known state, which every
    // later step builds on; without the save the unit forgets it all at power-up.
    const auto& built = loaded->Profile().steps;
    if (!std::holds_alternative<Reset>(built.front()))
        throw Fault{(*steps)[0].source(), "the first step must be the reset (kind = \"reset\")"};
    if (!std::holds_alternative<Save>(built.back()))
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
