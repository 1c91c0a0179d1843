#include "profiles/Reading.h"

#include "link/UbxMessages.h"
#include "profiles/FastLink.h"
#include "receiver_config/Payloads.h"
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
    std::array<std::uint8_t, 4> rates;
    bool inResetList;
};

// Everything a profile is built from, as the receiver answered it.
struct Readings {
    std::array<std::int32_t, 3> uartRate{}; // by port number, 1 and 2
    QByteArray rate, nav, tp;
    std::vector<MessageRates> messages;
};

std::optional<Readings> ReadAll(FastLink::Line& line, const FastLink::Link& link);
std::unique_ptr<ProfileFile::LoadedProfile> Build(const Readings& r, int linkPort, const std::string& name);

} // namespace

// The link port's own settings come with the link; on a UART link the rest is
// read at 115200, and the receiver is left at its own rate afterwards: moved
// back with the settings it had, or, after a load, loaded once more.
std::unique_ptr<ProfileFile::LoadedProfile> ReadReceiver(SerialControl& port, bool saved, const std::string& name)
{
    FastLink::Line line(port);
    line.Adopt();
    auto link = Link(line);
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
    const auto readings = ReadAll(line, found);
    if (saved) {
        std::optional<FastLink::Link> unmoved;
        if (Load(line, unmoved) && !unmoved)
            line.MoveTo(found.rate);
    } else if (move) {
        FastLink::MoveLink(line, linkPort, found.rate, found.settings);
    }
    return readings ? Build(*readings, linkPort, name) : nullptr;
}

namespace {

std::optional<Readings> ReadAll(FastLink::Line& line, const FastLink::Link& link)
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
    for (const auto* m : {&UbxMessages::kCfgRate, &UbxMessages::kCfgNav, &UbxMessages::kCfgTp})
        polls.push_back({m, {}});
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

    Readings r;
    for (const std::uint8_t port : {1, 2}) {
        const auto prt = fromLink(port) ? std::optional(link.settings) : take();
        if (!prt)
            return std::nullopt;
        r.uartRate[port] = std::int32_t(Msg::ValueOf(*prt, kBaudRate));
    }
    const auto rate = take();
    const auto nav = take();
    const auto tp = take();
    if (!rate || !nav || !tp)
        return std::nullopt;
    r.rate = *rate;
    r.nav = *nav;
    r.tp = *tp;
    for (std::size_t i = 0; i < known.size(); ++i) {
        const auto reply = take();
        if (!reply)
            return std::nullopt;
        MessageRates rates{known[i], {}, i < resetCount};
        for (int port = 0; port < 4; ++port)
            rates.rates[std::size_t(port)] = std::uint8_t(Msg::ValueOf(*reply, *Msg::kMsgPortRate[port]));
        r.messages.push_back(rates);
    }
    return r;
}

std::unique_ptr<ProfileFile::LoadedProfile> Build(const Readings& readings, int linkPort, const std::string& name)
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
    profile->Add(SetupOutputs::Reset{});
    profile->Add(SetupOutputs::Rate{float(Msg::ValueOf(rate, kMeasRate)), std::uint16_t(Msg::ValueOf(rate, kNavRate))});
    const auto* block = reinterpret_cast<const std::uint8_t*>(readings.nav.constData());
    profile->Add(SetupOutputs::Navigation{std::span(block, Payloads::kNavBlockSize)});
    // As the unit holds them, in µs: a 50.5 ms pulse clones to 50.5 ms.
    profile->Add(SetupOutputs::TimePulse{std::int32_t(Msg::ValueOf(tp, kInterval)), std::int32_t(Msg::ValueOf(tp, kLength))});
    for (const MessageRates& r : messages) {
        const auto on = std::count_if(r.rates.begin(), r.rates.end(), [](std::uint8_t v) { return v != 0; });
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
            profile->Add(SetupOutputs::MessageRate{r.id.msgClass, r.id.msgId, highest, first, r.rates});
        }
    }
    // The port the PC is wired to moves last: until then the link stays at the reset's rate.
    for (const int port : {linkPort == 1 ? 2 : 1, linkPort == 1 ? 1 : 2})
        profile->Add(SetupOutputs::BaudRate{readings.uartRate[std::size_t(port)], port});
    profile->Add(SetupOutputs::Save{});
    return profile;
}

} // namespace
} // namespace Reading
