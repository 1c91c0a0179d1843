#include "profiles/ProfileFile.h"

#include "profiles/ProfileFileText.h"
#include "receiver_config/Payloads.h"

#include <toml++/toml.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>

namespace ProfileFile {
namespace {

using SetupOutputs::Op;
using SetupOutputs::Step;

// The rates a baud step may set: those the tool's rate lists and the
// receiver share from 4800 bit/s up. Slower links cannot carry a device's
// output; the search would not find a receiver left elsewhere.
constexpr std::int32_t kBaudRates[] = {4800, 9600, 14400, 19200, 28800, 38400, 57600, 115200};
// CFG-TP carries the interval and the length in µs in 32-bit signed fields.
constexpr std::int64_t kLongestPulseMs = 2147483;
constexpr int kHighestPort = 3;

struct NamedMessage {
    std::uint8_t msgClass, msgId;
    const char* name;
};
constexpr NamedMessage kMessageNames[] = {
    {0x01, 0x01, "NAV-POSECEF"}, {0x01, 0x02, "NAV-POSLLH"},  {0x01, 0x03, "NAV-STATUS"},  {0x01, 0x04, "NAV-DOP"},
    {0x01, 0x06, "NAV-SOL"},     {0x01, 0x11, "NAV-VELECEF"}, {0x01, 0x12, "NAV-VELNED"},  {0x01, 0x20, "NAV-TIMEGPS"},
    {0x01, 0x21, "NAV-TIMEUTC"}, {0x01, 0x22, "NAV-CLOCK"},   {0x01, 0x30, "NAV-SVINFO"},  {0x01, 0x31, "NAV-DGPS"},
    {0x02, 0x10, "RXM-RAW"},     {0x02, 0x11, "RXM-SFRB"},    {0x02, 0x20, "RXM-SVSI"},    {0x0A, 0x02, "MON-IO"},
    {0x0A, 0x06, "MON-MSGPP"},   {0x0A, 0x07, "MON-RXBUF"},   {0x0A, 0x08, "MON-TXBUF"},   {0xF0, 0x00, "NMEA-GGA"},
    {0xF0, 0x01, "NMEA-GLL"},    {0xF0, 0x02, "NMEA-GSA"},    {0xF0, 0x03, "NMEA-GSV"},    {0xF0, 0x04, "NMEA-RMC"},
    {0xF0, 0x05, "NMEA-VTG"},    {0xF0, 0x06, "NMEA-GRS"},    {0xF0, 0x07, "NMEA-GST"},    {0xF0, 0x08, "NMEA-ZDA"},
    {0xF1, 0x00, "PUBX-00"},     {0xF1, 0x03, "PUBX-03"},     {0xF1, 0x04, "PUBX-04"},
};

// The navigation block's fields of known meaning: 16-bit, low byte first.
struct NavField {
    const char* key;
    int offset;
    bool tenths; // in 0.1 steps, written with one decimal
};
constexpr NavField kNavFields[] = {
    {"position_dop_mask", 16, true},
    {"time_dop_mask", 18, true},
    {"position_accuracy_mask_m", 20, false},
    {"time_accuracy_mask_m", 22, false},
};
// The bytes whose meaning the program does not interpret, kept as they are.
struct NavBytes {
    const char* key;
    int offset;
    int size;
};
constexpr NavBytes kNavBytes[] = {{"bytes_0_15", 0, 16}, {"bytes_24_27", 24, 4}};

struct Kind {
    Op op;
    const char* name;
};
constexpr Kind kKinds[] = {
    {Op::ResetToKnownState, "reset"}, {Op::WriteConfiguration, "rate"}, {Op::SetDynamicNavigationParameters, "navigation"},
    {Op::SetTimePulse, "time_pulse"}, {Op::SetMessageRate, "message"},  {Op::SetBaudRate, "baud"},
    {Op::WriteSetupToFlash, "save"},
};

const char* KindName(Op op)
{
    for (const Kind& k : kKinds)
        if (k.op == op)
            return k.name;
    return "";
}

std::vector<std::uint8_t> BuiltInNavBlock()
{
    const auto frame = Payloads::CfgNav();
    return {frame.begin() + 6, frame.begin() + 6 + Payloads::kNavBlockSize};
}

// ---- writing ----

// A string as a TOML literal, escaped by the library.
std::string Quoted(std::string_view text)
{
    std::ostringstream out;
    out << toml::value<std::string>(std::string(text));
    return out.str();
}

std::string Hex(std::uint8_t byte)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", unsigned{byte});
    return text;
}

std::string HexBytes(std::span<const std::uint8_t> bytes)
{
    std::string text;
    for (const std::uint8_t b : bytes) {
        char pair[4];
        std::snprintf(pair, sizeof pair, "%02X", unsigned{b});
        if (!text.empty())
            text += ' ';
        text += pair;
    }
    return Quoted(text);
}

void WriteNavigation(std::ostringstream& out, std::span<const std::uint8_t> given)
{
    const std::vector<std::uint8_t> block =
        given.size() == Payloads::kNavBlockSize ? std::vector<std::uint8_t>(given.begin(), given.end()) : BuiltInNavBlock();
    for (const NavField& f : kNavFields) {
        const int value = block[std::size_t(f.offset)] | block[std::size_t(f.offset + 1)] << 8;
        out << f.key << " = ";
        if (f.tenths)
            out << value / 10 << '.' << value % 10;
        else
            out << value;
        out << '\n';
    }
    for (const NavBytes& b : kNavBytes)
        out << b.key << " = " << HexBytes(std::span(block).subspan(std::size_t(b.offset), std::size_t(b.size))) << '\n';
}

void WriteStep(std::ostringstream& out, const Step& s)
{
    out << "\n[[step]]\nkind = " << Quoted(KindName(s.op)) << '\n';
    switch (s.op) {
    case Op::ResetToKnownState:
    case Op::WriteSetupToFlash: break;
    case Op::WriteConfiguration:
        // Whole milliseconds, as the frame carries them.
        out << "period_ms = " << std::int64_t(std::nearbyint(s.period)) << "\nnavigation_rate = " << s.args[0] << '\n';
        break;
    case Op::SetDynamicNavigationParameters: WriteNavigation(out, s.payload); break;
    case Op::SetTimePulse: out << "interval_ms = " << s.args[0] << "\nlength_ms = " << s.args[1] << '\n'; break;
    case Op::SetMessageRate: {
        const auto msgClass = std::uint8_t(s.args[0]), msgId = std::uint8_t(s.args[1]);
        if (const std::string_view name = MessageName(msgClass, msgId); !name.empty())
            out << "message = " << Quoted(name) << '\n';
        out << "class = " << Hex(msgClass) << "\nid = " << Hex(msgId) << '\n';
        if (s.payload.size() == std::size_t(Payloads::kReceiverPortCount))
            out << "rates = [" << int{s.payload[0]} << ", " << int{s.payload[1]} << ", " << int{s.payload[2]} << ", "
                << int{s.payload[3]} << "]\n";
        else
            out << "rate = " << s.args[2] << "\nport = " << s.args[3] << '\n';
        break;
    }
    case Op::SetBaudRate: out << "rate = " << s.args[0] << "\nport = " << s.args[1] << '\n'; break;
    }
}

// ---- reading ----

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

// The keys each kind of step takes.
constexpr std::string_view kBareKeys[] = {"kind"};
constexpr std::string_view kRateKeys[] = {"kind", "period_ms", "navigation_rate"};
constexpr std::string_view kNavigationKeys[] = {"kind", "position_dop_mask", "time_dop_mask", "position_accuracy_mask_m",
                                                "time_accuracy_mask_m", "bytes_0_15", "bytes_24_27"};
constexpr std::string_view kTimePulseKeys[] = {"kind", "interval_ms", "length_ms"};
constexpr std::string_view kMessageKeys[] = {"kind", "message", "class", "id", "rate", "port", "rates"};
constexpr std::string_view kBaudKeys[] = {"kind", "rate", "port"};
constexpr std::string_view kTopKeys[] = {"name", "nmea_port", "connect_failure", "success", "step"};

std::span<const std::string_view> KeysOf(Op op)
{
    switch (op) {
    case Op::ResetToKnownState:
    case Op::WriteSetupToFlash: return kBareKeys;
    case Op::WriteConfiguration: return kRateKeys;
    case Op::SetDynamicNavigationParameters: return kNavigationKeys;
    case Op::SetTimePulse: return kTimePulseKeys;
    case Op::SetMessageRate: return kMessageKeys;
    case Op::SetBaudRate: return kBaudKeys;
    }
    return kBareKeys;
}

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

void PutSixteen(std::vector<std::uint8_t>& block, int offset, std::int64_t value)
{
    block[std::size_t(offset)] = std::uint8_t(value & 0xFF);
    block[std::size_t(offset + 1)] = std::uint8_t(value >> 8 & 0xFF);
}

void ReadNavigation(const Keys& keys, LoadedProfile& loaded)
{
    std::vector<std::uint8_t> block = BuiltInNavBlock();
    bool given = false;
    for (const NavField& f : kNavFields) {
        const toml::node* node = keys.Find(f.key);
        if (!node)
            continue;
        given = true;
        if (f.tenths) {
            const double value = Number(*node, f.key);
            // Exactly a number of tenths: 12.5 is, 12.50000001 is not.
            const double tenths = std::round(value * 10);
            if (tenths < 0 || tenths > 65535 || tenths / 10 != value)
                throw Fault{node->source(), std::string(f.key) + " must be 0.0 to 6553.5 in steps of 0.1"};
            PutSixteen(block, f.offset, std::int64_t(tenths));
        } else {
            PutSixteen(block, f.offset, Integer(*node, f.key, 0, 65535));
        }
    }
    for (const NavBytes& b : kNavBytes) {
        const toml::node* node = keys.Find(b.key);
        if (!node)
            continue;
        given = true;
        const std::vector<std::uint8_t> bytes = HexText(*node, b.key, std::size_t(b.size));
        std::copy(bytes.begin(), bytes.end(), block.begin() + b.offset);
    }
    // A navigation step with no field of its own sends the fixed block.
    loaded.Add({Op::SetDynamicNavigationParameters}, given ? std::span<const std::uint8_t>(block) : std::span<const std::uint8_t>());
}

void ReadMessage(const Keys& keys, const toml::table& table, LoadedProfile& loaded)
{
    std::optional<NamedMessage> named;
    if (const toml::node* node = keys.Find("message")) {
        const std::string name = Text(*node, "message");
        for (const NamedMessage& m : kMessageNames)
            if (name == m.name)
                named = m;
        if (!named)
            throw Fault{node->source(), "unknown message " + name + " (give class and id instead)"};
    }
    const toml::node* classNode = keys.Find("class");
    const toml::node* idNode = keys.Find("id");
    if (!named && (!classNode || !idNode))
        throw Fault{table.source(), "message step has neither message nor class and id"};
    std::uint8_t msgClass = named ? named->msgClass : 0, msgId = named ? named->msgId : 0;
    if (classNode) {
        msgClass = std::uint8_t(Integer(*classNode, "class", 0, 255));
        if (named && msgClass != named->msgClass)
            throw Fault{classNode->source(), std::string("class is not that of ") + named->name};
    }
    if (idNode) {
        msgId = std::uint8_t(Integer(*idNode, "id", 0, 255));
        if (named && msgId != named->msgId)
            throw Fault{idNode->source(), std::string("id is not that of ") + named->name};
    }
    if (const toml::node* ratesNode = keys.Find("rates")) {
        const toml::array* rates = ratesNode->as_array();
        if (!rates || rates->size() != std::size_t(Payloads::kReceiverPortCount))
            throw Fault{ratesNode->source(), "rates must list four rates, one for each of ports 0 to 3"};
        std::array<std::uint8_t, 4> bytes{};
        int firstPort = 0, highest = 0;
        for (std::size_t port = 0; port < bytes.size(); ++port) {
            bytes[port] = std::uint8_t(Integer((*rates)[port], "message rate", 0, 255));
            if (bytes[port] > highest) {
                if (highest == 0)
                    firstPort = int(port);
                highest = bytes[port];
            }
        }
        if (keys.Find("rate") || keys.Find("port"))
            throw Fault{ratesNode->source(), "give either rates or rate and port, not both"};
        loaded.Add({Op::SetMessageRate, 0, {msgClass, msgId, highest, firstPort}}, bytes);
        return;
    }
    const auto rate = Integer(keys.Need("rate"), "message rate", 0, 255);
    const auto port = Integer(keys.Need("port"), "port", 0, kHighestPort);
    loaded.Add({Op::SetMessageRate, 0, {msgClass, msgId, std::int32_t(rate), std::int32_t(port)}});
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
    const auto found = std::find_if(std::begin(kKinds), std::end(kKinds), [&](const Kind& k) { return kind == k.name; });
    if (found == std::end(kKinds))
        throw Fault{kindNode->source(), "unknown step kind " + kind +
                                            " (reset, rate, navigation, time_pulse, message, baud or save)"};
    const Keys keys(*table, context + " (" + kind + ")", KeysOf(found->op), original);
    switch (found->op) {
    case Op::ResetToKnownState:
    case Op::WriteSetupToFlash: loaded.Add({found->op}); break;
    case Op::WriteConfiguration: {
        // Both are 16-bit fields of the frame; a float holds every such period exactly.
        const auto period = Integer(keys.Need("period_ms"), "period_ms", 1, 65535);
        const auto navigationRate = Integer(keys.Need("navigation_rate"), "navigation_rate", 1, 65535);
        loaded.Add({Op::WriteConfiguration, float(period), {std::int32_t(navigationRate)}});
        break;
    }
    case Op::SetDynamicNavigationParameters: ReadNavigation(keys, loaded); break;
    case Op::SetTimePulse: {
        const auto interval = Integer(keys.Need("interval_ms"), "interval_ms", 1, kLongestPulseMs);
        const auto length = Integer(keys.Need("length_ms"), "length_ms", 0, interval);
        loaded.Add({Op::SetTimePulse, 0, {std::int32_t(interval), std::int32_t(length)}});
        break;
    }
    case Op::SetMessageRate: ReadMessage(keys, *table, loaded); break;
    case Op::SetBaudRate: {
        const toml::node& rateNode = keys.Need("rate");
        const auto rate = Integer(rateNode, "baud rate", 0, 115200);
        if (std::find(std::begin(kBaudRates), std::end(kBaudRates), rate) == std::end(kBaudRates))
            throw Fault{rateNode.source(), "baud rate " + std::to_string(rate) +
                                               " is not one of 4800, 9600, 14400, 19200, 28800, 38400, 57600, 115200"};
        const auto port = Integer(keys.Need("port"), "port", 0, kHighestPort);
        loaded.Add({Op::SetBaudRate, 0, {std::int32_t(rate), std::int32_t(port)}});
        break;
    }
    }
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
    if (built.front().op != Op::ResetToKnownState)
        throw Fault{(*steps)[0].source(), "the first step must be the reset (kind = \"reset\")"};
    if (built.back().op != Op::WriteSetupToFlash)
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

LoadedProfile::LoadedProfile(std::string name, std::int32_t nmeaPort, std::string connectFailure, std::string success)
    : name_(std::move(name)),
      connectFailure_(connectFailure.empty() ? DefaultConnectFailure() : std::move(connectFailure)),
      success_(success.empty() ? DefaultSuccess(name_) : std::move(success))
{
    for (const char c : name_)
        key_ += c == ' ' ? '-' : char(std::tolower(static_cast<unsigned char>(c)));
    profile_.key = key_.c_str();
    profile_.name = name_.c_str();
    profile_.setupCaption = name_.c_str();
    profile_.nmeaCaption = name_.c_str();
    profile_.nmeaPort = nmeaPort;
    profile_.connectFailure = connectFailure_.c_str();
    profile_.success = success_.c_str();
}

void LoadedProfile::Add(SetupOutputs::Step step, std::span<const std::uint8_t> payload)
{
    if (!payload.empty()) {
        payloads_.emplace_back(payload.begin(), payload.end());
        step.payload = payloads_.back();
    }
    steps_.push_back(step);
    profile_.steps = steps_;
}

std::string DefaultConnectFailure()
{
    return "Failed to connect to the GPS module, please check it is connected correctly";
}

std::string DefaultSuccess(std::string_view name) { return "Configured for use with " + std::string(name); }

std::string_view MessageName(std::uint8_t msgClass, std::uint8_t msgId)
{
    for (const NamedMessage& m : kMessageNames)
        if (m.msgClass == msgClass && m.msgId == msgId)
            return m.name;
    return {};
}

std::string Write(const SetupOutputs::Profile& profile)
{
    std::ostringstream out;
    out << "# VarnexConfig device profile: " << ProfileFileText::OneLine(profile.name) << "\n"
        << "# The steps run in order and the run stops at the first that fails. The first\n"
        << "# step resets the receiver to a known state, the last saves the configuration\n"
        << "# to flash. Every key is described in docs/PROFILE_FILES.md.\n\n"
        << "name = " << Quoted(profile.name) << "\n"
        << "nmea_port = " << profile.nmeaPort << "\n"
        << "connect_failure = " << Quoted(profile.connectFailure) << "\n"
        << "success = " << Quoted(profile.success) << "\n";
    for (const Step& s : profile.steps)
        WriteStep(out, s);
    return out.str();
}

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
