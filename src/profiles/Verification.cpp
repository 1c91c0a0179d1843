#include "profiles/Verification.h"

#include "link/UbxKeys.h"
#include "profiles/GenerationKinds.h"
#include "receiver_config/KeyPayloads.h"
#include "receiver_config/Payloads.h"
#include "receiver_config/ResetList.h"

#include <algorithm>
#include <array>
#include <map>

namespace Verification {
namespace {

using SetupOutputs::Step;
using uBloxLowLevelComms::UbxBuffer;
namespace Msg = UbxMessages;

// What the reset and every baud change give a UART port: 8 data bits, no
// parity, 1 stop bit, and UBX plus NMEA in and out.
constexpr std::int64_t kUartMode8N1 = 0x08C0;
// The UART mode's defined fields: character length (bits 6-7), parity (bits
// 9-11) and stop bits (bits 12-13). Its other bits are reserved: many units
// report bit 4 set (0x08D0), whatever was written.
constexpr std::int64_t kUartModeFields = 0x3EC0;
constexpr std::int64_t kUbxAndNmea = 0x03;
// What every time pulse carries besides its interval and length: positive
// polarity, GPS time, the antenna cable and RF group delays of the module's
// board (ns), no user delay.
constexpr std::int64_t kPulsePositive = 1, kPulseGpsTime = 1, kCableDelayNs = 50, kRfGroupDelayNs = 820, kUserDelayNs = 0;

struct PortValues {
    std::int64_t mode, baudRate, inProtoMask, outProtoMask;
};
using Rates = std::array<std::int64_t, Payloads::kReceiverPortCount>;

// The values a run leaves, field by field: the last value set for a field wins.
struct Values {
    std::map<int, PortValues> ports;
    std::optional<std::array<std::int64_t, 3>> rate; // measRate, navRate, timeRef
    std::optional<std::vector<std::uint8_t>> nav;
    std::optional<std::array<std::int64_t, 2>> pulse; // interval, length, µs
    std::vector<std::pair<VarnexCommsRoutines::MessageId, Rates>> messages; // in first-touched order
    std::optional<std::array<std::uint8_t, 36>> nav5;
    std::map<int, std::array<std::uint8_t, 32>> tp5; // by pulse
    std::vector<Payloads::KeyValue> keys;             // in first-set order

    void SetKey(const Payloads::KeyValue& item)
    {
        const auto it = std::find_if(keys.begin(), keys.end(), [&](const auto& k) { return k.id == item.id; });
        if (it == keys.end())
            keys.push_back(item);
        else
            it->value = item.value;
    }

    void SetMessage(std::uint8_t msgClass, std::uint8_t msgId, const Rates& rates)
    {
        const auto it = std::find_if(messages.begin(), messages.end(), [&](const auto& m) {
            return m.first.msgClass == msgClass && m.first.msgId == msgId;
        });
        if (it == messages.end())
            messages.push_back({{msgClass, msgId}, rates});
        else
            it->second = rates;
    }
};

// What each kind of step leaves, field by field.
void Apply(const SetupOutputs::Reset& r, Values& v)
{
    using VarnexCommsRoutines::ResetForm;
    if (r.form == ResetForm::Keys || r.form == ResetForm::KeysOneUart) {
        for (const auto& stage : VarnexCommsRoutines::kResetRecipe)
            for (const auto& item : VarnexCommsRoutines::ResetItems(stage.part, r.form == ResetForm::KeysOneUart))
                v.SetKey(item);
        return;
    }
    for (int port = 0; port < Payloads::kReceiverPortCount; ++port)
        v.ports[port] = {kUartMode8N1, VarnexCommsRoutines::kKnownLinkRate, kUbxAndNmea, kUbxAndNmea};
    v.rate = {std::int64_t(VarnexCommsRoutines::kKnownMeasurementPeriod), VarnexCommsRoutines::kKnownNavigationRate, 0};
    for (const auto& m : VarnexCommsRoutines::kResetMessages)
        v.SetMessage(m.msgClass, m.msgId, {});
}
void Apply(const SetupOutputs::Rate& r, Values& v) { v.rate = {std::int64_t(r.period), r.navRate, 0}; }
void Apply(const SetupOutputs::Navigation& n, Values& v)
{
    // The block is data, not values: the file's bytes, or the qualified block.
    const UbxBuffer frame = Payloads::CfgNav(n.block);
    v.nav = std::vector<std::uint8_t>(frame.begin() + UbxProtocol::kPayloadStart, frame.end() - UbxProtocol::kChecksumSize);
}
void Apply(const SetupOutputs::TimePulse& t, Values& v)
{
    v.pulse = {std::int64_t{t.interval}, std::int64_t{t.length}};
}
void Apply(const SetupOutputs::MessageRate& m, Values& v)
{
    Rates rates{};
    if (m.rates.size() == rates.size())
        std::copy(m.rates.begin(), m.rates.end(), rates.begin());
    else if (m.port >= 0 && m.port < Payloads::kReceiverPortCount)
        rates[std::size_t(m.port)] = m.rate;
    v.SetMessage(m.msgClass, m.msgId, rates);
}
void Apply(const SetupOutputs::BaudRate& b, Values& v) { v.ports[b.port] = {kUartMode8N1, b.rate, kUbxAndNmea, kUbxAndNmea}; }
void Apply(const SetupOutputs::Save&, Values&) {}
void Apply(const SetupOutputs::Navigation5& n, Values& v) { v.nav5 = n.block; }
void Apply(const SetupOutputs::TimePulse5& t, Values& v) { v.tp5[t.block[0]] = t.block; }
void Apply(const SetupOutputs::Output& o, Values& v)
{
    Rates rates{};
    std::copy_n(o.rates.begin(), rates.size(), rates.begin());
    v.SetMessage(o.msgClass, o.msgId, rates);
}
void Apply(const SetupOutputs::Keys& k, Values& v)
{
    for (const auto& item : k.items)
        v.SetKey(item);
}

// Items are read from the running configuration as many to a VALGET as it
// takes, each found in the reply by its key; the field of an item's want
// only sizes it. An 8-byte item (a duty cycle) is not read.
constexpr Msg::Field kItemValue = {"value", 0, 4};
inline constexpr Msg::Message kValget{UbxProtocol::kClassCfg, UbxProtocol::kIdCfgValget, "CFG-VALGET", 0, {}};

// The items of UART1, the link of a unit that does not tell its port.
constexpr std::uint8_t kUart1Group = UbxKeys::GroupOf(UbxKeys::Named("CFG-UART1-BAUDRATE"));

void KeyBatches(const std::vector<Payloads::KeyValue>& items, bool linkItems, std::vector<Expectation>& expected)
{
    for (std::size_t at = 0; at < items.size(); at += Payloads::kItemsPerMessage) {
        const std::size_t count = std::min(Payloads::kItemsPerMessage, items.size() - at);
        Expectation e{{}, {}, &kValget, {}};
        e.linkItems = linkItems;
        std::vector<std::uint32_t> asked;
        for (std::size_t i = at; i < at + count; ++i) {
            asked.push_back(items[i].id);
            e.wants.push_back({&kItemValue, QString::fromStdString(UbxKeys::NameOf(items[i].id)), items[i].value, -1,
                               items[i].id});
        }
        e.poll = Payloads::CfgValget(Payloads::ReadLayer::Ram, 0, asked);
        expected.push_back(std::move(e));
    }
}

// The link UART's items first, on their own: the proof reads them where the
// unit answers, then moves the link to read the rest fast.
void KeyExpectations(const std::vector<Payloads::KeyValue>& keys, std::vector<Expectation>& expected)
{
    std::vector<Payloads::KeyValue> link, rest;
    for (const Payloads::KeyValue& k : keys)
        if (UbxKeys::ValueSize(k.id) <= 4)
            (UbxKeys::GroupOf(k.id) == kUart1Group ? link : rest).push_back(k);
    KeyBatches(link, true, expected);
    KeyBatches(rest, false, expected);
}

// A field's wanted value, labelled with the field's name. Fields are named
// through Msg::FieldNamed, so a name the table lacks does not build.
Want WantOf(const Msg::Field& field, std::int64_t value) { return {&field, QLatin1String(field.name), value}; }
constexpr const Msg::Field& kPortMode = Msg::FieldNamed(Msg::kPrtFields, "mode");

Expectation PortExpectation(int port, const PortValues& p)
{
    Expectation e{QStringLiteral("%1 port %2").arg(QLatin1String(Msg::kCfgPrt.name)).arg(port), Payloads::CfgPrtPoll(port), &Msg::kCfgPrt, {}, port};
    // A UART port (1, 2) has a mode and a rate; DDC (0) keeps its bus address
    // in the mode and has no rate, USB (3) has neither: their rate reads 0
    // whatever was sent.
    if (port == 1 || port == 2) {
        e.wants.push_back({&kPortMode, QLatin1String(kPortMode.name), p.mode, kUartModeFields});
        e.wants.push_back(WantOf(Msg::FieldNamed(Msg::kPrtFields, "baudRate"), p.baudRate));
    }
    e.wants.push_back(WantOf(Msg::FieldNamed(Msg::kPrtFields, "inProtoMask"), p.inProtoMask));
    e.wants.push_back(WantOf(Msg::FieldNamed(Msg::kPrtFields, "outProtoMask"), p.outProtoMask));
    return e;
}

Expectation BlockExpectation(const Msg::Message& message, std::vector<Want> wants)
{
    return {QLatin1String(message.name), Payloads::Poll(message), &message, std::move(wants)};
}

} // namespace

std::vector<Expectation> ExpectedState(const SetupOutputs::Profile& profile)
{
    Values v;
    for (const Step& step : profile.steps)
        std::visit([&v](const auto& kind) { Apply(kind, v); }, step);

    std::vector<Expectation> expected;
    for (const auto& [port, values] : v.ports)
        expected.push_back(PortExpectation(port, values));
    if (v.rate)
        expected.push_back(BlockExpectation(Msg::kCfgRate, {WantOf(Msg::FieldNamed(Msg::kRateFields, "measRate"), (*v.rate)[0]),
                                                            WantOf(Msg::FieldNamed(Msg::kRateFields, "navRate"), (*v.rate)[1]),
                                                            WantOf(Msg::FieldNamed(Msg::kRateFields, "timeRef"), (*v.rate)[2])}));
    if (v.nav) {
        std::vector<Want> wants;
        for (const Msg::Field& f : Msg::kCfgNav.fields)
            wants.push_back({&f, QLatin1String(f.name), UbxProtocol::LittleEndianAt(*v.nav, f.offset, f.width)});
        expected.push_back(BlockExpectation(Msg::kCfgNav, std::move(wants)));
    }
    if (v.pulse)
        expected.push_back(BlockExpectation(
            Msg::kCfgTp, {WantOf(Msg::FieldNamed(Msg::kTpFields, "interval"), (*v.pulse)[0]),
                          WantOf(Msg::FieldNamed(Msg::kTpFields, "length"), (*v.pulse)[1]),
                          WantOf(Msg::FieldNamed(Msg::kTpFields, "status"), kPulsePositive),
                          WantOf(Msg::FieldNamed(Msg::kTpFields, "timeRef"), kPulseGpsTime),
                          WantOf(Msg::FieldNamed(Msg::kTpFields, "antennaCableDelay"), kCableDelayNs),
                          WantOf(Msg::FieldNamed(Msg::kTpFields, "rfGroupDelay"), kRfGroupDelayNs),
                          WantOf(Msg::FieldNamed(Msg::kTpFields, "userDelay"), kUserDelayNs)}));
    if (v.nav5) {
        std::vector<Want> wants;
        for (const Msg::Field* f : SetupOutputs::AppliedFields(SetupOutputs::Navigation5{*v.nav5}))
            wants.push_back({f, QLatin1String(f->name), UbxProtocol::LittleEndianAt(*v.nav5, f->offset, f->width)});
        expected.push_back(BlockExpectation(Msg::kCfgNav5, std::move(wants)));
    }
    for (const auto& [pulse, block] : v.tp5) {
        std::vector<Want> wants;
        for (const Msg::Field& f : Msg::kTp5Fields)
            if (std::string_view(f.name) != "version")
                wants.push_back({&f, QLatin1String(f.name), UbxProtocol::LittleEndianAt(block, f.offset, f.width)});
        const std::uint8_t asked[] = {std::uint8_t(pulse)};
        expected.push_back({QStringLiteral("CFG-TP5 pulse %1").arg(pulse),
                            uBloxLowLevelComms::MakeFrame(UbxProtocol::kClassCfg, UbxProtocol::kIdCfgTp5, asked),
                            &Msg::kCfgTp5, std::move(wants)});
    }
    KeyExpectations(v.keys, expected);
    for (const auto& [id, rates] : v.messages) {
        Expectation e{QStringLiteral("%1 %2 %3").arg(QLatin1String(Msg::kCfgMsg.name), Msg::Hex(id.msgClass), Msg::Hex(id.msgId)),
                      Payloads::CfgMsgPoll(id.msgClass, id.msgId),
                      &Msg::kCfgMsg, {}};
        for (int port = 0; port < Payloads::kReceiverPortCount; ++port)
            e.wants.push_back(WantOf(*Msg::kMsgPortRate[port], rates[std::size_t(port)]));
        expected.push_back(std::move(e));
    }
    return expected;
}

namespace {

// Items read by key: each want found in a VALGET reply by its key.
std::vector<Item> CompareItems(const Expectation& expectation, const std::vector<std::uint8_t>& reply)
{
    const auto read = Payloads::ParseValget(QByteArray(reinterpret_cast<const char*>(reply.data()), qsizetype(reply.size())));
    std::vector<Item> items;
    for (const Want& w : expectation.wants) {
        Item item{w.label, w.value, std::nullopt, false};
        if (read)
            for (const Payloads::KeyValue& got : read->items)
                if (got.id == w.key)
                    item.read = got.value;
        item.equal = item.read == item.want;
        items.push_back(item);
    }
    return items;
}

} // namespace

std::vector<Item> Compare(const Expectation& expectation, const std::vector<std::uint8_t>& reply)
{
    if (!expectation.wants.empty() && expectation.wants.front().key != 0)
        return CompareItems(expectation, reply);
    std::size_t needed = 0;
    for (const Want& w : expectation.wants)
        needed = std::max(needed, w.field->offset + std::size_t(w.field->width));
    const bool answered = reply.size() >= needed;
    std::vector<Item> items;
    for (const Want& w : expectation.wants) {
        Item item{expectation.name + u' ' + w.label, w.value, std::nullopt, false};
        if (answered)
            item.read = std::int64_t{UbxProtocol::LittleEndianAt(reply, w.field->offset, w.field->width)};
        item.equal = item.read && ((*item.read ^ item.want) & w.mask) == 0;
        items.push_back(item);
    }
    return items;
}

bool AllEqual(const std::vector<Item>& items)
{
    return !items.empty() && std::all_of(items.begin(), items.end(), [](const Item& i) { return i.equal; });
}

QString StateName(State state) { return state == State::Saved ? QStringLiteral("saved") : QStringLiteral("running"); }

QString Describe(const Item& item)
{
    const QString read = item.read ? QStringLiteral("read %1").arg(*item.read) : QStringLiteral("no reply");
    return QStringLiteral("%1 %2: want %3, %4").arg(StateName(item.state), item.name).arg(item.want).arg(read);
}

QString EndName(ReadBackEnd end)
{
    switch (end) {
    case ReadBackEnd::Compared: return QStringLiteral("compared");
    case ReadBackEnd::PortLost: return QStringLiteral("port lost");
    case ReadBackEnd::LinkLost: return QStringLiteral("link lost");
    case ReadBackEnd::LinkLostAfterLoad: return QStringLiteral("link lost after the load");
    case ReadBackEnd::LoadRefused: return QStringLiteral("load refused");
    }
    return {};
}

} // namespace Verification
