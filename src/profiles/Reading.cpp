#include "profiles/Reading.h"

#include "link/UbxMessages.h"
#include "profiles/FastLink.h"
#include "link/UbxKeys.h"
#include "receiver_config/Generation.h"
#include "receiver_config/KeyPayloads.h"
#include "receiver_config/Payloads.h"
#include "receiver_config/ReceiverVersion.h"
#include "receiver_config/ResetList.h"
#include "receiver_config/VarnexCommsRoutines.h"
#include "support/SupportFunctions.h"

#include <algorithm>
#include <vector>

namespace Reading {
namespace {

using SetupOutputs::Step;
using VarnexCommsRoutines::MessageId;

namespace Msg = UbxMessages;

// The fields a profile is built from, where the message table puts them.
constexpr const Msg::Field& kBaudRate = Msg::FieldNamed(Msg::kPrtFields, "baudRate");
constexpr const Msg::Field& kMeasRate = Msg::FieldNamed(Msg::kRateFields, "measRate");
constexpr const Msg::Field& kNavRate = Msg::FieldNamed(Msg::kRateFields, "navRate");
constexpr const Msg::Field& kInterval = Msg::FieldNamed(Msg::kTpFields, "interval");
constexpr const Msg::Field& kLength = Msg::FieldNamed(Msg::kTpFields, "length");

// The mask bits of every setting CFG-NAV5 has.
constexpr std::uint16_t kAllNav5Settings = 0x05FF;

// The messages worth reading: the reset list, then the built-in devices'
// own messages outside it, in table order.
std::vector<MessageId> KnownMessages(std::size_t& resetCount)
{
    std::vector<MessageId> messages(VarnexCommsRoutines::kResetMessages.begin(), VarnexCommsRoutines::kResetMessages.end());
    resetCount = messages.size();
    for (const SetupOutputs::Profile& p : SetupOutputs::Profiles())
        for (const Step& s : p.steps)
            if (const auto* set = std::get_if<SetupOutputs::MessageRate>(&s)) {
                const MessageId m{set->msgClass, set->msgId};
                if (std::none_of(messages.begin(), messages.end(),
                                 [&](const MessageId& k) { return k.msgClass == m.msgClass && k.msgId == m.msgId; }))
                    messages.push_back(m);
            }
    return messages;
}

// The load, with the link poll behind it (FastLink::SendFollowed): only an
// ACK-NAK refuses it; `here` the link where the unit answered at the present
// rate with no acknowledgement before it (a load that moved nothing).
bool Load(FastLink::Line& line, std::optional<FastLink::Link>& here)
{
    SupportFunctions::ShowStatus(QStringLiteral("Loading the saved configuration"));
    const bool loaded = FastLink::SendFollowed(line, Payloads::CfgCfgLoadAll(), here) != uBloxLowLevelComms::Answer::Nak;
    SupportFunctions::ClearStatus();
    return loaded && !line.Gone();
}

// The link where it is now: asked at the present rate, the poll resent at the
// line's pace (a unit moving its link after a load misses one sent first),
// then searched for.
std::optional<FastLink::Link> Link(FastLink::Line& line)
{
    if (auto link = FastLink::AskAt(line, line.Rate(), true))
        return link;
    return FastLink::FindLink(line);
}

struct MessageRates {
    MessageId id;
    std::array<std::uint8_t, 6> rates; // ports 0..3; on a unit of the six-port form 4 and 5 too
    bool inResetList;
};

// Everything a profile is built from, as the receiver answered it. A block
// the unit refused (a message its generation does not have) stays empty.
struct Readings {
    std::array<std::int32_t, 3> uartRate{}; // by port number, 1 and 2
    QByteArray rate, nav, tp, nav5, tp5;
    std::vector<MessageRates> messages;
    bool sixPorts = false; // the unit answers CFG-MSG with a rate for each of six ports
};

std::optional<Readings> ReadAll(FastLink::Line& line, const FastLink::Link& link, int generation);
std::unique_ptr<ProfileFile::LoadedProfile> Build(const Readings& r, int linkPort, const std::string& name, int generation);

// The unit's generation by its MON-VER (into `told`, when given); 0 when it does not tell.
int GenerationOf(FastLink::Line& line, VarnexCommsRoutines::ReceiverVersion* told)
{
    const auto reply = FastLink::PollReply(line, Payloads::Poll(UbxMessages::kMonVer));
    const auto version = reply.answer == uBloxLowLevelComms::Answer::Reply
                             ? VarnexCommsRoutines::ParseReceiverVersion(reply.payload)
                             : std::nullopt;
    if (version && told)
        *told = *version;
    return version ? VarnexCommsRoutines::KindOf(*version).generation : 0;
}

// The groups of items a key-value clone reads: both UARTs, the protocols on
// each port, the rates, the time pulse, the navigation settings and the
// output rates.
constexpr std::uint8_t kCloneGroups[] = {0x52, 0x53, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x21, 0x05, 0x11, 0x91};
constexpr std::uint8_t kUart2Group = 0x53;

// One group from `layer`, page by page. Nothing when the unit did not
// answer; an empty list when it refused (a group it lacks, or a layer that
// holds nothing). The wildcard is asked without the items' size and, where
// refused, with each size in turn: receivers differ in which they take.
std::optional<std::vector<Payloads::KeyValue>> ReadGroup(FastLink::Line& line, Payloads::ReadLayer layer, std::uint8_t group)
{
    std::vector<Payloads::KeyValue> items;
    const auto page = [&](std::uint32_t wildcard) -> std::optional<bool> {
        for (std::uint16_t position = 0;; position += std::uint16_t(Payloads::kItemsPerMessage)) {
            const std::uint32_t keys[] = {wildcard};
            const FastLink::Reply reply = FastLink::PollReply(line, Payloads::CfgValget(layer, position, keys));
            if (reply.answer == uBloxLowLevelComms::Answer::Nak)
                return position > 0;
            const auto read = reply.answer == uBloxLowLevelComms::Answer::Reply ? Payloads::ParseValget(reply.payload)
                                                                                 : std::nullopt;
            if (!read)
                return std::nullopt;
            items.insert(items.end(), read->items.begin(), read->items.end());
            if (read->items.size() < Payloads::kItemsPerMessage)
                return true;
        }
    };
    const auto plain = page(UbxKeys::GroupWildcard(group));
    if (!plain)
        return std::nullopt;
    for (std::uint32_t size = 1; !*plain && size <= 5; ++size)
        if (!page(size << 28 | UbxKeys::GroupWildcard(group)))
            return std::nullopt;
    return items;
}

// A unit of a key-value generation, read where it answers (its replies are
// short): every item of the clone's groups from RAM, or with `saved` from
// flash (a flash that holds nothing: the defaults it starts with), into the
// key-value reset, one step of items and the save.
std::unique_ptr<ProfileFile::LoadedProfile> ReadKeys(FastLink::Line& line, bool saved, const std::string& name, int generation)
{
    SupportFunctions::ShowStatus(QStringLiteral("Reading configuration items"));
    const auto readLayer = [&](Payloads::ReadLayer layer, bool& uart2) -> std::optional<std::vector<Payloads::KeyValue>> {
        std::vector<Payloads::KeyValue> items;
        for (const std::uint8_t group : kCloneGroups) {
            const auto read = ReadGroup(line, layer, group);
            if (!read)
                return std::nullopt;
            uart2 = uart2 || (group == kUart2Group && !read->empty());
            items.insert(items.end(), read->begin(), read->end());
        }
        return items;
    };
    // Read at 115200: the link moved by its rate item in the running
    // configuration only, and moved back afterwards (a unit that refuses the
    // move is read where it is).
    const std::int32_t foundAt = line.Rate();
    const std::uint32_t linkRate = UbxKeys::Named("CFG-UART1-BAUDRATE");
    const auto runningRate = [](std::int32_t rate) { return Payloads::CfgValsetUartRate(1, rate, Payloads::kLayerRam); };
    const bool moved = foundAt != VarnexCommsRoutines::kKnownLinkRate
                       && FastLink::MoveLinkBy(line, runningRate(VarnexCommsRoutines::kKnownLinkRate),
                                               VarnexCommsRoutines::kKnownLinkRate);
    if (!moved && line.Rate() != foundAt)
        line.MoveTo(foundAt); // refused: it never moved
    bool uart2 = false;
    auto items = readLayer(saved ? Payloads::ReadLayer::Flash : Payloads::ReadLayer::Ram, uart2);
    if (items && items->empty() && saved)
        items = readLayer(Payloads::ReadLayer::Default, uart2);
    if (moved) {
        // The running rate read is the one the read moved it to.
        if (items && !saved)
            for (Payloads::KeyValue& item : *items)
                if (item.id == linkRate)
                    item.value = foundAt;
        FastLink::MoveLinkBy(line, runningRate(foundAt), foundAt);
    }
    SupportFunctions::ClearStatus();
    if (!items || items->empty())
        return nullptr;
    // The NMEA port: the UART that outputs the most NMEA messages, UART1 on a tie.
    std::array<int, 3> nmeaOn{};
    for (const UbxKeys::Output& o : UbxKeys::Outputs())
        for (const int port : {1, 2})
            if (o.msgClass == 0xF0)
                nmeaOn[std::size_t(port)] += int(std::count_if(items->begin(), items->end(), [&](const auto& i) {
                    return i.id == UbxKeys::OutputKey(o, port) && i.value != 0;
                }));
    const std::int32_t nmeaPort = nmeaOn[2] > nmeaOn[1] ? 2 : 1;
    auto profile = std::make_unique<ProfileFile::LoadedProfile>(name, nmeaPort);
    profile->Add(SetupOutputs::Reset{uart2 ? SetupOutputs::ResetForm::Keys : SetupOutputs::ResetForm::KeysOneUart});
    profile->Add(SetupOutputs::Keys{*items});
    profile->Add(SetupOutputs::Save{});
    if (generation)
        profile->SetGenerations({generation});
    return profile;
}

} // namespace

// The link port's own settings come with the link; on a UART link the rest is
// read at 115200, and the receiver is left at its own rate afterwards: moved
// back with the settings it had, or, after a load, loaded once more.
std::unique_ptr<ProfileFile::LoadedProfile> ReadReceiver(SerialControl& port, bool saved, const std::string& name,
                                                         VarnexCommsRoutines::ReceiverVersion* version)
{
    FastLink::Line line(port);
    line.Adopt();
    auto link = Link(line);
    const int generation = link ? GenerationOf(line, version) : 0;
    if (link && (link->portPollRefused
                 || VarnexCommsRoutines::SupportOf(VarnexCommsRoutines::Form::KeyValue, generation)
                        == VarnexCommsRoutines::Support::Takes))
        return ReadKeys(line, saved, name, generation);
    // A saved rate other than the running one moves the link with the load.
    std::optional<FastLink::Link> here;
    if (link && saved && (!Load(line, here) || !(link = here ? here : Link(line))))
        return nullptr;
    if (!link)
        return nullptr;
    const FastLink::Link found = *link;
    const int linkPort = found.receiverPort.value_or(1);
    const bool move = FastLink::HasRate(linkPort) && found.rate != VarnexCommsRoutines::kKnownLinkRate;
    if (move && !FastLink::MoveLink(line, linkPort, VarnexCommsRoutines::kKnownLinkRate, found.settings))
        return nullptr;
    const auto readings = ReadAll(line, found, generation);
    if (saved) {
        std::optional<FastLink::Link> unmoved;
        if (Load(line, unmoved) && !unmoved)
            line.MoveTo(found.rate);
    } else if (move) {
        FastLink::MoveLink(line, linkPort, found.rate, found.settings);
    }
    return readings ? Build(*readings, linkPort, name, generation) : nullptr;
}

namespace {

std::optional<Readings> ReadAll(FastLink::Line& line, const FastLink::Link& link, int generation)
{
    // Every poll goes out several at a time; each reply must carry the whole settings.
    struct Poll {
        const UbxMessages::Message* message;
        std::vector<std::uint8_t> asked;
    };
    // The link port's own settings came with the link.
    const auto fromLink = [&](std::uint8_t port) {
        return int{port} == link.receiverPort && link.settings.size() >= qsizetype(UbxMessages::kCfgPrt.payloadSize);
    };
    std::vector<Poll> polls;
    for (const std::uint8_t port : {1, 2})
        if (!fromLink(port))
            polls.push_back({&UbxMessages::kCfgPrt, {port}});
    polls.push_back({&UbxMessages::kCfgRate, {}});
    // The navigation block and the time pulse in each form the unit's
    // generation is not known to refuse: those it refuses are not its own.
    const std::size_t blocksAt = polls.size();
    for (const auto* m : {&UbxMessages::kCfgNav, &UbxMessages::kCfgTp, &UbxMessages::kCfgNav5, &UbxMessages::kCfgTp5})
        if (const auto form = VarnexCommsRoutines::FormOf(uBloxLowLevelComms::MakeFrame(m->msgClass, m->msgId));
            !form || VarnexCommsRoutines::SupportOf(*form, generation) != VarnexCommsRoutines::Support::Refuses)
            polls.push_back({m, m == &UbxMessages::kCfgTp5 ? std::vector<std::uint8_t>{0} : std::vector<std::uint8_t>{}});
    const std::size_t blocks = polls.size() - blocksAt;
    std::size_t resetCount = 0;
    const std::vector<MessageId> known = KnownMessages(resetCount);
    for (const MessageId& m : known)
        polls.push_back({&UbxMessages::kCfgMsg, {m.msgClass, m.msgId}});
    std::vector<uBloxLowLevelComms::UbxBuffer> frames;
    for (const Poll& p : polls)
        frames.push_back(Payloads::Poll(*p.message, p.asked));
    SupportFunctions::ShowStatus(QStringLiteral("Reading %1 settings").arg(frames.size()));
    const std::vector<FastLink::Reply> replies = FastLink::PollReplies(line, frames);
    SupportFunctions::ClearStatus();
    std::size_t next = 0;
    const auto take = [&]() -> std::optional<QByteArray> {
        const FastLink::Reply& reply = replies[next];
        const UbxMessages::Message& message = *polls[next++].message;
        if (reply.answer != uBloxLowLevelComms::Answer::Reply || reply.payload.size() < qsizetype(message.payloadSize))
            return std::nullopt;
        return reply.payload;
    };
    // A block: its reply, empty when refused; nothing when unanswered.
    const auto block = [&]() -> std::optional<QByteArray> {
        if (replies[next].answer == uBloxLowLevelComms::Answer::Nak) {
            ++next;
            return QByteArray();
        }
        return take();
    };

    Readings r;
    for (const std::uint8_t port : {1, 2}) {
        const auto prt = fromLink(port) ? std::optional(link.settings) : take();
        if (!prt)
            return std::nullopt;
        r.uartRate[port] = std::int32_t(Msg::ValueOf(*prt, kBaudRate));
    }
    const auto rate = take();
    if (!rate)
        return std::nullopt;
    r.rate = *rate;
    for (std::size_t b = 0; b < blocks; ++b) {
        const UbxMessages::Message* m = polls[next].message;
        const auto read = block();
        if (!read)
            return std::nullopt;
        (m == &UbxMessages::kCfgNav ? r.nav : m == &UbxMessages::kCfgTp ? r.tp : m == &UbxMessages::kCfgNav5 ? r.nav5 : r.tp5) = *read;
    }
    for (std::size_t i = 0; i < known.size(); ++i) {
        const auto reply = take();
        if (!reply)
            return std::nullopt;
        MessageRates rates{known[i], {}, i < resetCount};
        const bool six = reply->size() >= qsizetype(UbxMessages::kCfgMsgPorts.payloadSize);
        r.sixPorts = r.sixPorts || six;
        for (int port = 0; port < (six ? 6 : 4); ++port)
            rates.rates[std::size_t(port)] = std::uint8_t(Msg::ValueOf(*reply, UbxMessages::kMsgPortsFields[2 + port]));
        r.messages.push_back(rates);
    }
    return r;
}

std::unique_ptr<ProfileFile::LoadedProfile> Build(const Readings& readings, int linkPort, const std::string& name, int generation)
{
    const std::vector<MessageRates>& messages = readings.messages;
    const QByteArray& rate = readings.rate;
    const QByteArray& tp = readings.tp;
    // The NMEA port: the UART port that outputs the most NMEA messages, port 1 on a tie.
    std::array<int, 3> nmeaOn{};
    for (const MessageRates& r : messages)
        for (const int port : {1, 2})
            if ((r.id.msgClass == 0xF0 || r.id.msgClass == 0xF1) && r.rates[std::size_t(port)] != 0)
                ++nmeaOn[std::size_t(port)];
    const std::int32_t nmeaPort = nmeaOn[2] > nmeaOn[1] ? 2 : 1;

    auto profile = std::make_unique<ProfileFile::LoadedProfile>(name, nmeaPort);
    profile->Add(SetupOutputs::Reset{readings.sixPorts ? SetupOutputs::ResetForm::SixPorts : SetupOutputs::ResetForm::FourTargets});
    profile->Add(SetupOutputs::Rate{float(Msg::ValueOf(rate, kMeasRate)), std::uint16_t(Msg::ValueOf(rate, kNavRate))});
    if (!readings.nav.isEmpty()) {
        const auto* block = reinterpret_cast<const std::uint8_t*>(readings.nav.constData());
        profile->Add(SetupOutputs::Navigation{std::span(block, Payloads::kNavBlockSize)});
    }
    if (!readings.nav5.isEmpty()) {
        // Every setting as the unit holds it: the mask applies all of them.
        SetupOutputs::Navigation5 n;
        std::copy_n(readings.nav5.begin(), n.block.size(), n.block.begin());
        Msg::PutValue(n.block, Msg::FieldNamed(Msg::kNav5Fields, "mask"), kAllNav5Settings);
        profile->Add(n);
    }
    // As the unit holds them, in µs: a 50.5 ms pulse clones to 50.5 ms.
    if (!tp.isEmpty())
        profile->Add(SetupOutputs::TimePulse{std::int32_t(Msg::ValueOf(tp, kInterval)), std::int32_t(Msg::ValueOf(tp, kLength))});
    if (!readings.tp5.isEmpty()) {
        SetupOutputs::TimePulse5 t;
        std::copy_n(readings.tp5.begin(), t.block.size(), t.block.begin());
        profile->Add(t);
    }
    for (const MessageRates& r : messages) {
        const auto on = std::count_if(r.rates.begin(), r.rates.end(), [](std::uint8_t v) { return v != 0; });
        if (readings.sixPorts) {
            // One command carries every port's rate; the reset turned the listed messages off.
            if (on != 0 || !r.inResetList)
                profile->Add(SetupOutputs::Output{r.id.msgClass, r.id.msgId, r.rates});
            continue;
        }
        // The reset already turned the listed messages off everywhere; the
        // others are set even when off, since the reset leaves them as found.
        if (on == 0 && r.inResetList)
            continue;
        if (on <= 1) {
            // One CFG-MSG sets one port and turns the message off on the others.
            const auto port = on == 0 ? nmeaPort : std::int32_t(std::find_if(r.rates.begin(), r.rates.end(), [](std::uint8_t v) { return v != 0; }) - r.rates.begin());
            profile->Add(SetupOutputs::MessageRate{r.id.msgClass, r.id.msgId, r.rates[std::size_t(port)], port});
        } else {
            const auto highest = *std::max_element(r.rates.begin(), r.rates.end());
            const auto first = std::int32_t(std::find_if(r.rates.begin(), r.rates.end(), [](std::uint8_t v) { return v != 0; }) - r.rates.begin());
            profile->Add(SetupOutputs::MessageRate{r.id.msgClass, r.id.msgId, highest, first, std::span(r.rates).first(4)});
        }
    }
    // The port the PC is wired to moves last: until then the link stays at the reset's rate.
    for (const int port : {linkPort == 1 ? 2 : 1, linkPort == 1 ? 1 : 2})
        profile->Add(SetupOutputs::BaudRate{readings.uartRate[std::size_t(port)], port});
    profile->Add(SetupOutputs::Save{});
    // A clone in the forms of a later generation is for units of that one.
    if (generation && (readings.sixPorts || !readings.nav5.isEmpty() || !readings.tp5.isEmpty()))
        profile->SetGenerations({generation});
    return profile;
}

} // namespace
} // namespace Reading
