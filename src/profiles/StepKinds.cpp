// Every kind of step in one place, one block per kind: the exact run's
// receiver operation, the frames it sends (which the fast runner sends as
// they are), its status text, its name in progress lines and records, the
// message its failure shows, and its keys in a profile file, read and
// written. Everything that tells kinds apart does it by type (std::visit),
// so a kind missing a function here does not build.
#include "profiles/GenerationKinds.h"
#include "profiles/StepFrames.h"
#include "profiles/StepKinds.h"
#include "profiles/StepNames.h"

#include "link/UbxMessages.h"
#include "link/UbxProtocol.h"
#include "link/uBloxLowLevelComms.h"
#include "receiver_config/Payloads.h"
#include "receiver_config/ResetList.h"
#include "receiver_config/VarnexCommsRoutines.h"
#include "support/SupportFunctions.h"

#include <QLocale>

#include <algorithm>
#include <array>
#include <cmath>

namespace SetupOutputs {
namespace {

using uBloxLowLevelComms::UbxBuffer;
using namespace VarnexCommsRoutines;
using ProfileFile::LoadedProfile;

Frames One(UbxBuffer frame) { return {std::move(frame)}; }
QString Hex(std::uint8_t byte) { return UbxMessages::Hex(byte); }

// The operator texts keep their spelling on purpose: operators and their
// documents know them as they are. The reset's failure is the device's own.
constexpr const char* kBaudFailure = "Failed to set Varnex baud rate correctly please check it is connected correctly";
constexpr const char* kFlashFailure = "Failed to write Varnex to flash memory please check it is connected correctly";

constexpr std::int64_t kHighestPort = Payloads::kReceiverPortCount - 1;
constexpr std::string_view kBareKeys[] = {"kind"};

// ---- reset: the reset's recipe, part by part ----

// The reset of the u-blox 5 to 8 generations as the exact run sends it: the
// ports commanded blind as the older reset does, then every command of the
// rate and the messages acknowledged. A key-value reset has no exact form:
// its link moves by an item the PC cannot follow blind.
bool ExactSixPorts(const ExactPort& at)
{
    return WalkReset([&at](const ResetStage& stage) {
        if (stage.part == ResetPart::LinkAtKnownRate)
            return OpenPortAtBaud(at.port, at.number, kKnownLinkRate);
        SupportFunctions::ShowStatus(stage.status);
        std::vector<UbxBuffer> frames = ResetFrames(stage.part, ResetForm::SixPorts);
        const bool all = std::all_of(frames.begin(), frames.end(), [&at](UbxBuffer& f) {
            return uBloxLowLevelComms::SendAcknowledged(at.port, std::move(f));
        });
        SupportFunctions::ClearStatus();
        return all;
    });
}
bool Exact(const Reset& r, const ExactPort& at)
{
    switch (r.form) {
    case ResetForm::FourTargets: return ResetToKnownState(at.port, at.number);
    case ResetForm::SixPorts: return ExactSixPorts(at);
    case ResetForm::Keys:
    case ResetForm::KeysOneUart: break;
    }
    return false;
}
Frames FramesOf(const Reset& r)
{
    Frames frames;
    for (const ResetStage& stage : kResetRecipe)
        for (UbxBuffer& f : ResetFrames(stage.part, r.form))
            frames.push_back(std::move(f));
    return frames;
}
QString Status(const Reset&) { return kReadConfigurationStatus; }
QString Name(const Reset&) { return QStringLiteral("ResetToKnownState"); }
const char* Failure(const Reset&) { return nullptr; }
constexpr std::string_view kResetKeys[] = {"kind", "form"};
void Read(const StepTable& t, Reset, LoadedProfile& profile) { profile.Add(Reset{ReadResetForm(t)}); }
void Write(const Reset& r, StepLines& out) { WriteResetForm(r.form, out); }

// ---- rate: CFG-RATE ----

constexpr std::string_view kRateKeys[] = {"kind", "period_ms", "navigation_rate"};
bool Exact(const Rate& r, const ExactPort& at) { return WriteConfiguration(at.port, r.period, r.navRate); }
Frames FramesOf(const Rate& r) { return One(Payloads::CfgRate(r.period, r.navRate)); }
QString Status(const Rate&) { return kWriteConfigurationStatus; }
QString Name(const Rate& r) { return QStringLiteral("WriteConfiguration %1 ms rate %2").arg(double(r.period)).arg(r.navRate); }
const char* Failure(const Rate&) { return kParameterFailure; }
void Read(const StepTable& t, Rate, LoadedProfile& profile)
{
    // Both are 16-bit fields of the frame; a float holds every such period exactly.
    const auto period = t.Integer("period_ms", "period_ms", 1, 65535);
    const auto navigationRate = t.Integer("navigation_rate", "navigation_rate", 1, 65535);
    profile.Add(Rate{float(period), std::uint16_t(navigationRate)});
}
void Write(const Rate& r, StepLines& out)
{
    out.Integer("period_ms", std::int64_t(std::nearbyint(r.period))); // whole ms, as the frame carries them
    out.Integer("navigation_rate", r.navRate);
}

// ---- navigation: CFG-NAV, the fixed block or a whole one of the file's ----

constexpr std::string_view kNavigationKeys[] = {"kind", "position_dop_mask", "time_dop_mask", "position_accuracy_mask_m",
                                                "time_accuracy_mask_m", "bytes_0_15", "bytes_24_27"};
// The block's fields of known meaning, 16-bit fields of CFG-NAV's row.
struct NavKey {
    const char* key;
    const UbxMessages::Field* field;
    bool tenths; // in 0.1 steps, written with one decimal
};
constexpr NavKey kNavKeys[] = {
    {"position_dop_mask", &UbxMessages::FieldNamed(UbxMessages::kNavFields, "offset 16"), true},
    {"time_dop_mask", &UbxMessages::FieldNamed(UbxMessages::kNavFields, "offset 18"), true},
    {"position_accuracy_mask_m", &UbxMessages::FieldNamed(UbxMessages::kNavFields, "offset 20"), false},
    {"time_accuracy_mask_m", &UbxMessages::FieldNamed(UbxMessages::kNavFields, "offset 22"), false},
};
// The bytes whose meaning the program does not interpret, kept as they are.
struct NavBytes {
    const char* key;
    std::size_t offset, size;
};
constexpr NavBytes kNavBytes[] = {{"bytes_0_15", 0, 16}, {"bytes_24_27", 24, 4}};

std::vector<std::uint8_t> NavBlock(std::span<const std::uint8_t> given)
{
    if (given.size() == Payloads::kNavBlockSize)
        return {given.begin(), given.end()};
    const UbxBuffer frame = Payloads::CfgNav();
    const auto start = frame.begin() + UbxProtocol::kPayloadStart;
    return {start, start + Payloads::kNavBlockSize};
}

bool Exact(const Navigation& n, const ExactPort& at) { return SetDynamicNavigationParameters(at.port, n.block); }
Frames FramesOf(const Navigation& n) { return One(Payloads::CfgNav(n.block)); }
QString Status(const Navigation&) { return kSetDynamicNavigationParametersStatus; }
QString Name(const Navigation&) { return QStringLiteral("SetDynamicNavigationParameters"); }
const char* Failure(const Navigation&) { return kParameterFailure; }
void Read(const StepTable& t, Navigation, LoadedProfile& profile)
{
    // The step holds the whole block: the fixed one where the file names no
    // field, so that a file written from it reads back to the same step.
    std::vector<std::uint8_t> block = NavBlock({});
    for (const NavKey& k : kNavKeys) {
        if (!t.Has(k.key))
            continue;
        const std::int64_t value = k.tenths ? t.Tenths(k.key) : t.Integer(k.key, k.key, 0, 65535);
        block[k.field->offset] = std::uint8_t(value & 0xFF);
        block[k.field->offset + 1] = std::uint8_t(value >> 8 & 0xFF);
    }
    for (const NavBytes& b : kNavBytes) {
        if (!t.Has(b.key))
            continue;
        const std::vector<std::uint8_t> bytes = t.HexBytes(b.key, b.size);
        std::copy(bytes.begin(), bytes.end(), block.begin() + std::ptrdiff_t(b.offset));
    }
    profile.Add(Navigation{block});
}
void Write(const Navigation& n, StepLines& out)
{
    const std::vector<std::uint8_t> block = NavBlock(n.block);
    for (const NavKey& k : kNavKeys) {
        const std::int64_t value = UbxProtocol::LittleEndianAt(block, k.field->offset, k.field->width);
        if (k.tenths)
            out.Tenths(k.key, value);
        else
            out.Integer(k.key, value);
    }
    for (const NavBytes& b : kNavBytes)
        out.HexBytes(b.key, std::span(block).subspan(b.offset, b.size));
}

// ---- time_pulse: CFG-TP, in µs as the unit holds it ----

// Files carry the unit's own µs; older files whole ms, still read.
constexpr std::string_view kTimePulseKeys[] = {"kind", "interval_us", "length_us", "interval_ms", "length_ms"};
// CFG-TP carries the interval and the length in µs in 32-bit signed fields.
constexpr std::int64_t kLongestPulseUs = 2147483647;
constexpr std::int64_t kUsPerMs = 1000;
QString Ms(std::int32_t us) { return QString::number(us / double(kUsPerMs), 'g', QLocale::FloatingPointShortest); }
// A pulse of whole ms goes out through the window's own operation.
bool Exact(const TimePulse& t, const ExactPort& at)
{
    if (t.interval % kUsPerMs == 0 && t.length % kUsPerMs == 0)
        return SetTimePulse(at.port, std::int32_t(t.interval / kUsPerMs), std::int32_t(t.length / kUsPerMs));
    return SetTimePulseUs(at.port, t.interval, t.length);
}
Frames FramesOf(const TimePulse& t) { return One(Payloads::CfgTpUs(t.interval, t.length)); }
QString Status(const TimePulse& t) { return SetTimePulseStatusUs(t.interval); }
QString Name(const TimePulse& t) { return QStringLiteral("SetTimePulse %1 ms %2 ms").arg(Ms(t.interval), Ms(t.length)); }
const char* Failure(const TimePulse&) { return kParameterFailure; }
void Read(const StepTable& t, TimePulse, LoadedProfile& profile)
{
    const bool us = t.Has("interval_us") || t.Has("length_us");
    if (us && (t.Has("interval_ms") || t.Has("length_ms")))
        t.Refuse({}, "time_pulse takes interval_us and length_us, or interval_ms and length_ms, not both");
    const std::int64_t unit = us ? 1 : kUsPerMs;
    const char* intervalKey = us ? "interval_us" : "interval_ms";
    const char* lengthKey = us ? "length_us" : "length_ms";
    const auto interval = t.Integer(intervalKey, intervalKey, 1, kLongestPulseUs / unit);
    const auto length = t.Integer(lengthKey, lengthKey, 0, interval);
    profile.Add(TimePulse{std::int32_t(interval * unit), std::int32_t(length * unit)});
}
void Write(const TimePulse& t, StepLines& out)
{
    out.Integer("interval_us", t.interval);
    out.Integer("length_us", t.length);
}

// ---- message: CFG-MSG, one port or all four at once ----

constexpr std::string_view kMessageKeys[] = {"kind", "message", "class", "id", "rate", "port", "rates"};
bool Exact(const MessageRate& m, const ExactPort& at)
{
    return SetMessageRate(at.port, m.msgClass, m.msgId, m.rate, m.port, m.rates);
}
Frames FramesOf(const MessageRate& m) { return One(Payloads::CfgMsg(m.msgClass, m.msgId, m.rate, m.port, m.rates)); }
QString Status(const MessageRate& m) { return SetMessageRateStatus(m.msgClass, m.msgId, m.rate, m.port); }
QString Name(const MessageRate& m)
{
    const QString message = Hex(m.msgClass) + u' ' + Hex(m.msgId);
    if (m.rates.size() == std::size_t(Payloads::kReceiverPortCount))
        return QStringLiteral("SetMessageRate %1 rates %2 %3 %4 %5")
            .arg(message)
            .arg(m.rates[0])
            .arg(m.rates[1])
            .arg(m.rates[2])
            .arg(m.rates[3]);
    return QStringLiteral("SetMessageRate %1 rate %2 port %3").arg(message).arg(m.rate).arg(m.port);
}
const char* Failure(const MessageRate&) { return kParameterFailure; }

void Read(const StepTable& t, MessageRate, LoadedProfile& profile)
{
    MessageRate step;
    const MessageKey message = ReadMessageKey(t, "message");
    step.msgClass = message.msgClass;
    step.msgId = message.msgId;
    if (!t.Has("rates")) {
        step.rate = std::uint8_t(t.Integer("rate", "message rate", 0, 255));
        step.port = std::int32_t(t.Integer("port", "port", 0, kHighestPort));
        profile.Add(step);
        return;
    }
    const std::vector<std::int64_t> rates = t.Integers("rates", std::size_t(Payloads::kReceiverPortCount), "message rate", 0,
                                                       255, "rates must list four rates, one for each of ports 0 to 3");
    if (t.Has("rate") || t.Has("port"))
        t.Refuse("rates", "give either rates or rate and port, not both");
    std::array<std::uint8_t, Payloads::kReceiverPortCount> bytes{};
    for (std::size_t port = 0; port < bytes.size(); ++port) {
        bytes[port] = std::uint8_t(rates[port]);
        // The rate and port that name the step: the first port with the highest rate.
        if (bytes[port] > step.rate) {
            if (step.rate == 0)
                step.port = std::int32_t(port);
            step.rate = bytes[port];
        }
    }
    step.rates = bytes;
    profile.Add(step);
}
void Write(const MessageRate& m, StepLines& out)
{
    WriteMessageKey(m.msgClass, m.msgId, out);
    if (m.rates.size() == std::size_t(Payloads::kReceiverPortCount)) {
        out.Integers("rates", m.rates);
    } else {
        out.Integer("rate", m.rate);
        out.Integer("port", m.port);
    }
}

// ---- baud: CFG-PRT, confirmed ----

constexpr std::string_view kBaudKeys[] = {"kind", "rate", "port"};
// The rates a baud step may set: those the tool's rate lists and the
// receiver share from 4800 bit/s up. Slower links cannot carry a device's
// output; the search would not find a receiver left elsewhere.
constexpr std::int32_t kBaudRates[] = {4800, 9600, 14400, 19200, 28800, 38400, 57600, 115200};
bool Exact(const BaudRate& b, const ExactPort& at) { return SetBaudRate(at.port, b.rate, BaudMode::Confirming, b.port); }
Frames FramesOf(const BaudRate& b) { return One(Payloads::CfgPrt(b.rate, b.port)); }
QString Status(const BaudRate& b) { return SetBaudRateStatus(b.rate, b.port); }
QString Name(const BaudRate& b) { return QStringLiteral("SetBaudRate %1 port %2").arg(b.rate).arg(b.port); }
const char* Failure(const BaudRate&) { return kBaudFailure; }
void Read(const StepTable& t, BaudRate, LoadedProfile& profile)
{
    const auto rate = t.Integer("rate", "baud rate", 0, 115200);
    if (std::find(std::begin(kBaudRates), std::end(kBaudRates), rate) == std::end(kBaudRates))
        t.Refuse("rate", "baud rate " + std::to_string(rate) +
                             " is not one of 4800, 9600, 14400, 19200, 28800, 38400, 57600, 115200");
    const auto port = t.Integer("port", "port", 0, kHighestPort);
    profile.Add(BaudRate{std::int32_t(rate), std::int32_t(port)});
}
void Write(const BaudRate& b, StepLines& out)
{
    out.Integer("rate", b.rate);
    out.Integer("port", b.port);
}

// ---- save: CFG-CFG, everything to flash ----

bool Exact(const Save&, const ExactPort& at) { return WriteSetupToFlash(at.port); }
Frames FramesOf(const Save&) { return One(Payloads::CfgCfgSaveAll()); }
QString Status(const Save&) { return kWriteSetupToFlashStatus; }
QString Name(const Save&) { return QStringLiteral("WriteSetupToFlash"); }
const char* Failure(const Save&) { return kFlashFailure; }
void Read(const StepTable&, Save, LoadedProfile& profile) { profile.Add(Save{}); }
void Write(const Save&, StepLines&) {}

// The kinds by their names in a file.
const FileKind kFileKinds[] = {
    {Reset{}, "reset", kResetKeys},
    {Rate{}, "rate", kRateKeys},
    {Navigation{}, "navigation", kNavigationKeys},
    {TimePulse{}, "time_pulse", kTimePulseKeys},
    {MessageRate{}, "message", kMessageKeys},
    {BaudRate{}, "baud", kBaudKeys},
    {Save{}, "save", kBareKeys},
    {Navigation5{}, "navigation5", kNavigation5Keys},
    {TimePulse5{}, "time_pulse5", kTimePulse5Keys},
    {Output{}, "output", kOutputKeys},
    {Keys{}, "keys", kKeysKeys},
};
static_assert(std::size(kFileKinds) == std::variant_size_v<Step>);

} // namespace

// A message's class or id: when the message is named too, it must be that one's.
static std::uint8_t MessageByte(const StepTable& t, const char* key, const UbxMessages::Message* named,
                                std::uint8_t namedValue)
{
    if (!t.Has(key))
        return namedValue;
    const auto value = std::uint8_t(t.Integer(key, key, 0, 255));
    if (named && value != namedValue)
        t.Refuse(key, std::string(key) + " is not that of " + named->name);
    return value;
}

MessageKey ReadMessageKey(const StepTable& t, std::string_view kind)
{
    const UbxMessages::Message* named = nullptr;
    if (t.Has("message")) {
        const std::string name = t.Text("message");
        named = UbxMessages::FindOutput(name);
        if (!named)
            t.Refuse("message", "unknown message " + name + " (give class and id instead)");
    }
    if (!named && (!t.Has("class") || !t.Has("id")))
        t.Refuse({}, std::string(kind) + " step has neither message nor class and id");
    return {MessageByte(t, "class", named, named ? named->msgClass : 0), MessageByte(t, "id", named, named ? named->msgId : 0)};
}

void WriteMessageKey(std::uint8_t msgClass, std::uint8_t msgId, StepLines& out)
{
    if (const UbxMessages::Message* named = UbxMessages::FindOutput(msgClass, msgId))
        out.Text("message", named->name);
    out.Hex("class", msgClass);
    out.Hex("id", msgId);
}

Frames StepFrames(const Step& step)
{
    return std::visit([](const auto& kind) { return FramesOf(kind); }, step);
}

QString StepStatus(const Step& step)
{
    return std::visit([](const auto& kind) { return Status(kind); }, step);
}

bool RunExactStep(const Step& step, const ExactPort& at)
{
    return std::visit([&at](const auto& kind) { return Exact(kind, at); }, step);
}

QString StepName(const Step& step)
{
    return std::visit([](const auto& kind) { return Name(kind); }, step);
}

const char* FailureMessage(const Profile& profile, const Step& step)
{
    const char* own = std::visit([](const auto& kind) { return Failure(kind); }, step);
    return own ? own : profile.connectFailure;
}

std::span<const FileKind> FileKinds() { return kFileKinds; }

const FileKind& FileKindOf(const Step& step)
{
    return *std::find_if(std::begin(kFileKinds), std::end(kFileKinds),
                         [&](const FileKind& k) { return k.blank.index() == step.index(); });
}

void ReadStep(const FileKind& kind, const StepTable& table, LoadedProfile& profile)
{
    std::visit([&](auto blank) { Read(table, blank, profile); }, kind.blank);
}

void WriteStep(const Step& step, StepLines& lines)
{
    std::visit([&lines](const auto& kind) { Write(kind, lines); }, step);
}

} // namespace SetupOutputs
