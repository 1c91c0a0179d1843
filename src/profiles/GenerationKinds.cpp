// The kinds of step of later generations: the navigation settings and the
// time pulse by their named fields (CFG-NAV5, CFG-TP5), a message's rates on
// six ports (CFG-MSG as u-blox 5 to 8 document it), and key-value items
// (CFG-VALSET of u-blox 9 and 10). Each is its own whole command.
#include "profiles/GenerationKinds.h"

#include "link/UbxKeys.h"
#include "link/UbxMessages.h"
#include "link/UbxProtocol.h"
#include "link/uBloxLowLevelComms.h"
#include "receiver_config/VarnexCommsRoutines.h"
#include "support/SupportFunctions.h"

#include <algorithm>
#include <iterator>

namespace SetupOutputs {
namespace {

namespace Msg = UbxMessages;
using uBloxLowLevelComms::UbxBuffer;

// The exact run sends each frame as the window's operations do: status
// shown, every frame acknowledged.
bool SendAcknowledged(const ExactPort& at, const QString& status, Frames frames)
{
    SupportFunctions::ShowStatus(status);
    const bool all = std::all_of(frames.begin(), frames.end(),
                                 [&at](UbxBuffer& f) { return uBloxLowLevelComms::SendAcknowledged(at.port, std::move(f)); });
    SupportFunctions::ClearStatus();
    return all;
}

// A field of a whole block by its key in a file: signed or not, in 0.1
// steps or whole, and the bit of the block's mask that makes it apply
// (-1 where the block has no mask).
struct BlockKey {
    std::string_view key;
    const Msg::Field* field;
    int maskBit = -1;
    bool isSigned = false;
    bool tenths = false;
};

consteval const Msg::Field* Nav5(std::string_view name) { return &Msg::FieldNamed(Msg::kNav5Fields, name); }
consteval const Msg::Field* Tp5(std::string_view name) { return &Msg::FieldNamed(Msg::kTp5Fields, name); }

constexpr BlockKey kNav5Block[] = {
    {"dynamic_model", Nav5("dynModel"), 0},
    {"min_elevation_deg", Nav5("minElev"), 1, true},
    {"fix_mode", Nav5("fixMode"), 2},
    {"fixed_altitude_cm", Nav5("fixedAlt"), 2, true},
    {"fixed_altitude_variance", Nav5("fixedAltVar"), 2},
    {"dead_reckoning_limit_s", Nav5("drLimit"), 3},
    {"position_dop_mask", Nav5("pDop"), 4, false, true},
    {"position_accuracy_mask_m", Nav5("pAcc"), 4},
    {"time_dop_mask", Nav5("tDop"), 5, false, true},
    {"time_accuracy_mask_m", Nav5("tAcc"), 5},
    {"static_hold_threshold_cm_s", Nav5("staticHoldThresh"), 6},
    {"static_hold_max_distance_m", Nav5("staticHoldMaxDist"), 6},
    {"dgnss_timeout_s", Nav5("dgnssTimeOut"), 7},
    {"cno_threshold_satellites", Nav5("cnoThreshNumSVs"), 8},
    {"cno_threshold_dbhz", Nav5("cnoThresh"), 8},
    {"utc_standard", Nav5("utcStandard"), 10},
};
constexpr BlockKey kTp5Block[] = {
    {"pulse", Tp5("tpIdx")},
    {"version", Tp5("version")},
    {"cable_delay_ns", Tp5("antCableDelay"), -1, true},
    {"rf_group_delay_ns", Tp5("rfGroupDelay"), -1, true},
    {"period", Tp5("freqPeriod")},
    {"period_locked", Tp5("freqPeriodLock")},
    {"length", Tp5("pulseLenRatio")},
    {"length_locked", Tp5("pulseLenRatioLock")},
    {"user_delay_ns", Tp5("userConfigDelay"), -1, true},
    {"flags", Tp5("flags")},
};
constexpr const Msg::Field& kNav5Mask = Msg::FieldNamed(Msg::kNav5Fields, "mask");

template <std::size_t N>
constexpr auto KeysOf(const BlockKey (&block)[N])
{
    std::array<std::string_view, N + 1> keys{"kind"};
    for (std::size_t i = 0; i < N; ++i)
        keys[i + 1] = block[i].key;
    return keys;
}
constexpr auto kNav5FileKeys = KeysOf(kNav5Block);
constexpr auto kTp5FileKeys = KeysOf(kTp5Block);
constexpr std::string_view kOutputFileKeys[] = {"kind", "message", "class", "id", "rates", "rate", "port"};
constexpr std::string_view kKeysFileKeys[] = {"kind", "items"};

template <std::size_t Size>
std::int64_t Get(const std::array<std::uint8_t, Size>& block, const BlockKey& k)
{
    const std::int64_t raw = UbxProtocol::LittleEndianAt(block, k.field->offset, k.field->width);
    const std::int64_t top = std::int64_t(1) << (8 * k.field->width - 1);
    return k.isSigned && raw >= top ? raw - 2 * top : raw;
}
std::int64_t ReadValue(const StepTable& t, const BlockKey& k)
{
    if (k.tenths)
        return t.Tenths(k.key);
    const int bits = 8 * k.field->width;
    const std::int64_t low = k.isSigned ? -(std::int64_t(1) << (bits - 1)) : 0;
    const std::int64_t high = k.isSigned ? (std::int64_t(1) << (bits - 1)) - 1 : (std::int64_t(1) << bits) - 1;
    return t.Integer(k.key, k.key, low, high);
}
template <std::size_t Size>
void WriteValue(const std::array<std::uint8_t, Size>& block, const BlockKey& k, StepLines& out)
{
    if (k.tenths)
        out.Tenths(k.key, Get(block, k));
    else
        out.Integer(k.key, Get(block, k));
}

Frames Whole(std::uint8_t msgId, std::span<const std::uint8_t> payload)
{
    return {uBloxLowLevelComms::MakeFrame(UbxProtocol::kClassCfg, msgId, payload)};
}

QString Hex(std::uint8_t byte) { return Msg::Hex(byte); }

} // namespace

const std::span<const std::string_view> kNavigation5Keys = kNav5FileKeys;
const std::span<const std::string_view> kTimePulse5Keys = kTp5FileKeys;
const std::span<const std::string_view> kOutputKeys = kOutputFileKeys;
const std::span<const std::string_view> kKeysKeys = kKeysFileKeys;

// ---- navigation5: CFG-NAV5, the fields a file names, and only those applied ----

bool Exact(const Navigation5& n, const ExactPort& at) { return SendAcknowledged(at, Status(n), FramesOf(n)); }
Frames FramesOf(const Navigation5& n) { return Whole(UbxProtocol::kIdCfgNav5, n.block); }
QString Status(const Navigation5&) { return QStringLiteral("Setting navigation (CFG-NAV5)"); }
QString Name(const Navigation5& n)
{
    return QStringLiteral("SetNavigation5 mask %1").arg(UbxProtocol::LittleEndianAt(n.block, kNav5Mask.offset, kNav5Mask.width), 4, 16, QLatin1Char('0'));
}
const char* Failure(const Navigation5&) { return kParameterFailure; }
void Read(const StepTable& t, Navigation5, ProfileFile::LoadedProfile& profile)
{
    Navigation5 step;
    std::uint32_t mask = 0;
    for (const BlockKey& k : kNav5Block)
        if (t.Has(k.key)) {
            Msg::PutValue(step.block, *k.field, ReadValue(t, k));
            mask |= 1u << k.maskBit;
        }
    if (mask == 0)
        t.Refuse({}, "navigation5 names no setting");
    Msg::PutValue(step.block, kNav5Mask, mask);
    profile.Add(step);
}
void Write(const Navigation5& n, StepLines& out)
{
    const auto mask = UbxProtocol::LittleEndianAt(n.block, kNav5Mask.offset, kNav5Mask.width);
    for (const BlockKey& k : kNav5Block)
        if (mask >> k.maskBit & 1)
            WriteValue(n.block, k, out);
}

std::vector<const Msg::Field*> AppliedFields(const Navigation5& n)
{
    const auto mask = UbxProtocol::LittleEndianAt(n.block, kNav5Mask.offset, kNav5Mask.width);
    std::vector<const Msg::Field*> fields;
    for (const BlockKey& k : kNav5Block)
        if (mask >> k.maskBit & 1)
            fields.push_back(k.field);
    return fields;
}

// ---- time_pulse5: CFG-TP5, one pulse whole ----

bool Exact(const TimePulse5& t, const ExactPort& at) { return SendAcknowledged(at, Status(t), FramesOf(t)); }
Frames FramesOf(const TimePulse5& t) { return Whole(UbxProtocol::kIdCfgTp5, t.block); }
QString Status(const TimePulse5& t) { return QStringLiteral("Set Time Pulse %1 (CFG-TP5)").arg(t.block[0]); }
QString Name(const TimePulse5& t)
{
    return QStringLiteral("SetTimePulse5 pulse %1 period %2 length %3")
        .arg(t.block[0])
        .arg(Get(t.block, kTp5Block[4]))
        .arg(Get(t.block, kTp5Block[6]));
}
const char* Failure(const TimePulse5&) { return kParameterFailure; }
void Read(const StepTable& t, TimePulse5, ProfileFile::LoadedProfile& profile)
{
    TimePulse5 step;
    for (const BlockKey& k : kTp5Block)
        if (t.Has(k.key))
            Msg::PutValue(step.block, *k.field, ReadValue(t, k));
    if (step.block[0] > 1)
        t.Refuse("pulse", "pulse must be 0 (TIMEPULSE) or 1 (TIMEPULSE2)");
    profile.Add(step);
}
void Write(const TimePulse5& t, StepLines& out)
{
    for (const BlockKey& k : kTp5Block)
        WriteValue(t.block, k, out);
}

// ---- output: CFG-MSG with a rate for each of six ports ----

bool Exact(const Output& o, const ExactPort& at) { return SendAcknowledged(at, Status(o), FramesOf(o)); }
Frames FramesOf(const Output& o)
{
    std::array<std::uint8_t, 8> payload{o.msgClass, o.msgId};
    std::copy(o.rates.begin(), o.rates.end(), payload.begin() + 2);
    return Whole(UbxProtocol::kIdCfgMsg, payload);
}
QString Status(const Output& o)
{
    const auto highest = std::max_element(o.rates.begin(), o.rates.end());
    return VarnexCommsRoutines::SetMessageRateStatus(o.msgClass, o.msgId, *highest,
                                                     std::int32_t(highest - o.rates.begin()));
}
QString Name(const Output& o)
{
    QString rates;
    for (const std::uint8_t r : o.rates)
        rates += u' ' + QString::number(r);
    return QStringLiteral("SetOutput %1 %2 rates%3").arg(Hex(o.msgClass), Hex(o.msgId), rates);
}
const char* Failure(const Output&) { return kParameterFailure; }
void Read(const StepTable& t, Output, ProfileFile::LoadedProfile& profile)
{
    Output step;
    const MessageKey message = ReadMessageKey(t, "output");
    step.msgClass = message.msgClass;
    step.msgId = message.msgId;
    if (t.Has("rates")) {
        if (t.Has("rate") || t.Has("port"))
            t.Refuse("rates", "give either rates or rate and port, not both");
        const auto rates = t.Integers("rates", step.rates.size(), "message rate", 0, 255,
                                      "rates must list six rates: DDC, UART1, UART2, USB, SPI and the reserved port");
        std::copy(rates.begin(), rates.end(), step.rates.begin());
    } else {
        const auto rate = t.Integer("rate", "message rate", 0, 255);
        step.rates[std::size_t(t.Integer("port", "port", 0, 4))] = std::uint8_t(rate);
    }
    profile.Add(step);
}
void Write(const Output& o, StepLines& out)
{
    WriteMessageKey(o.msgClass, o.msgId, out);
    out.Integers("rates", o.rates);
}

// ---- keys: CFG-VALSET of items by their names, into RAM, BBR and flash ----

bool Exact(const Keys& k, const ExactPort& at) { return SendAcknowledged(at, Status(k), FramesOf(k)); }
Frames FramesOf(const Keys& k) { return Payloads::CfgValset(k.items, Payloads::kAllLayers); }
QString Status(const Keys& k) { return QStringLiteral("Setting %1 configuration items").arg(k.items.size()); }
QString Name(const Keys& k) { return QStringLiteral("SetKeys %1 items").arg(k.items.size()); }
const char* Failure(const Keys&) { return kParameterFailure; }
void Read(const StepTable& t, Keys, ProfileFile::LoadedProfile& profile)
{
    std::vector<Payloads::KeyValue> items;
    for (const auto& [name, value] : t.Items("items")) {
        const auto id = UbxKeys::Parse(name);
        if (!id)
            t.Refuse("items", "unknown key " + name + " (give its name, or its key as 0x and eight hex digits)");
        if (!UbxKeys::Fits(*id, value))
            t.Refuse("items", name + " " + std::to_string(value) + " does not fit its type");
        if (std::any_of(items.begin(), items.end(), [&](const Payloads::KeyValue& i) { return i.id == *id; }))
            t.Refuse("items", name + " is given twice");
        items.push_back({*id, value});
    }
    if (items.empty())
        t.Refuse("items", "keys step has no items");
    profile.Add(Keys{items});
}
void Write(const Keys& k, StepLines& out)
{
    for (const Payloads::KeyValue& item : k.items)
        out.Item(UbxKeys::NameOf(item.id), item.value, out.NoteOf(item.id));
}

// ---- the reset's form ----

namespace {
struct FormName {
    ResetForm form;
    std::string_view name;
};
constexpr FormName kForms[] = {{ResetForm::FourTargets, "four-target"},
                               {ResetForm::SixPorts, "six-port"},
                               {ResetForm::Keys, "keys"},
                               {ResetForm::KeysOneUart, "keys-one-uart"}};
} // namespace

ResetForm ReadResetForm(const StepTable& t)
{
    if (!t.Has("form"))
        return ResetForm::FourTargets;
    const std::string name = t.Text("form");
    for (const FormName& f : kForms)
        if (f.name == name)
            return f.form;
    t.Refuse("form", "reset form " + name + " is not one of four-target, six-port, keys, keys-one-uart");
}

void WriteResetForm(ResetForm form, StepLines& out)
{
    if (form != ResetForm::FourTargets)
        for (const FormName& f : kForms)
            if (f.form == form)
                out.Text("form", f.name);
}

} // namespace SetupOutputs
