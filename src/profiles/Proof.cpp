// Proving a receiver's configuration over the fast runner's line: how the
// proof reads each state at 115200 whatever the unit's own rate is told in
// docs/ARCHITECTURE.md ("The proof").
#include "profiles/Verification.h"

#include "link/SerialControl.h"
#include "profiles/FastLink.h"
#include "link/UbxKeys.h"
#include "receiver_config/KeyPayloads.h"
#include "receiver_config/Payloads.h"
#include "receiver_config/ResetList.h"
#include "support/SupportFunctions.h"

#include <algorithm>

namespace Verification {
namespace {

using FastLink::Line;
using FastLink::Link;
using uBloxLowLevelComms::Answer;

// The rate the proof reads at: the reset's, the fastest the devices use.
constexpr std::int32_t kReadRate = VarnexCommsRoutines::kKnownLinkRate;

void Add(const Expectation& e, const QByteArray& reply, State state, std::int32_t rate, std::vector<Item>& items)
{
    for (Item item : Compare(e, std::vector<std::uint8_t>(reply.begin(), reply.end()))) {
        item.state = state;
        item.rate = rate;
        items.push_back(std::move(item));
    }
}

// The CFG-PRT expectation of `port`; none for a link whose port is not told.
const Expectation* PortExpectation(const std::vector<Expectation>& expected, int port)
{
    if (port < 0)
        return nullptr;
    const auto it = std::find_if(expected.begin(), expected.end(), [&](const Expectation& e) { return e.port == port; });
    return it == expected.end() ? nullptr : &*it;
}

// A key-value profile's items of the link UART (Expectation::linkItems).
const Expectation* LinkItems(const std::vector<Expectation>& expected)
{
    const auto it = std::find_if(expected.begin(), expected.end(), [](const Expectation& e) { return e.linkItems; });
    return it == expected.end() ? nullptr : &*it;
}

// A unit that does not tell its port (it refuses CFG-PRT) is on UART1: its
// link moves by that UART's rate, in the running configuration only, which
// the proof's last load puts back.
uBloxLowLevelComms::UbxBuffer RunningRateItem(std::int32_t rate) { return Payloads::CfgValsetUartRate(1, rate, Payloads::kLayerRam); }

// Reads one state: the link port's own settings as `link` carries them
// (read at the rate the receiver answered), then, on a UART link, the link
// moved to the reading rate with those same settings (unless the search moved
// it already), and every other item polled there; a port the search moved
// counts as read by the search. The receiver's version (MON-VER) is read on
// the way when asked for.
ReadBackEnd ReadState(Line& line, Link& link, const std::vector<Expectation>& expected, State state, ReadBack& result,
                      bool askVersion)
{
    const int linkPort = link.receiverPort.value_or(-1);
    const Expectation* own = PortExpectation(expected, linkPort);
    const Expectation* linkItems = own ? nullptr : LinkItems(expected);
    if (own)
        Add(*own, link.settings, state, link.rate, result.items);
    if (linkItems) {
        // A key-value unit's link items, read here before its link moves.
        const FastLink::Reply reply = FastLink::PollReply(line, linkItems->poll);
        if (line.Gone())
            return ReadBackEnd::PortLost;
        Add(*linkItems, reply.payload, state, line.Rate(), result.items);
    }
    const bool movesByItem = linkItems && !FastLink::HasRate(linkPort);
    if ((FastLink::HasRate(linkPort) || movesByItem) && line.Rate() != kReadRate) {
        SupportFunctions::ShowStatus(QStringLiteral("Moving the link to %1").arg(kReadRate));
        const bool moved = movesByItem ? FastLink::MoveLinkBy(line, RunningRateItem(kReadRate), kReadRate)
                                       : FastLink::MoveLink(line, linkPort, kReadRate, link.settings);
        SupportFunctions::ClearStatus();
        if (!moved)
            return line.Gone() ? ReadBackEnd::PortLost : ReadBackEnd::LinkLost;
    }
    const std::int32_t foundAt = link.rate;
    link.rate = line.Rate();
    // Everything else is polled several at a time, the version last.
    const auto movedBySearch = [&](const Expectation& e) { return link.movedPort && e.port == *link.movedPort; };
    std::vector<uBloxLowLevelComms::UbxBuffer> polls;
    for (const Expectation& e : expected)
        if (&e != own && &e != linkItems && !movedBySearch(e))
            polls.push_back(e.poll);
    if (askVersion)
        polls.push_back(Payloads::Poll(UbxMessages::kMonVer));
    SupportFunctions::ShowStatus(QStringLiteral("Reading back %1 items").arg(polls.size()));
    const std::vector<FastLink::Reply> replies = FastLink::PollReplies(line, polls);
    SupportFunctions::ClearStatus();
    if (line.Gone())
        return ReadBackEnd::PortLost;
    std::size_t next = 0;
    for (const Expectation& e : expected) {
        if (&e == own || &e == linkItems)
            continue;
        if (movedBySearch(e))
            Add(e, link.movedPortSettings, state, foundAt, result.items);
        else
            Add(e, replies[next++].payload, state, line.Rate(), result.items);
    }
    if (askVersion)
        result.version = replies.back().payload;
    return ReadBackEnd::Compared;
}

// The load, followed by the link poll (FastLink::SendFollowed): `here` the
// link where the unit answered at the present rate with no ACK before it.
Answer Load(Line& line, std::optional<Link>& here)
{
    SupportFunctions::ShowStatus(QStringLiteral("Loading the saved configuration"));
    const Answer answer = FastLink::SendFollowed(line, Payloads::CfgCfgLoadAll(), here);
    SupportFunctions::ClearStatus();
    return answer;
}

// The link after a load, which may have moved it to the saved rate once its
// ACK had left: asked first at the rates it can be expected at, each poll
// resent at the line's pace (one that came before the unit had moved is
// lost), then searched for. At the link port's saved rate the move to the
// reading rate goes right behind the poll (the port is known, and `settings`
// keep it a link): one wait behind the receiver's output instead of two.
std::optional<Link> Relink(Line& line, const std::vector<Expectation>& expected, std::optional<int> linkPort,
                           const QByteArray& settings)
{
    std::vector<std::int32_t> rates;
    if (linkPort)
        if (const auto r = SavedRate(expected, *linkPort)) {
            // Where the load went out with the poll and the move already
            // (LoadAndRelink), the line is at that rate: not asked twice.
            if (FastLink::HasRate(*linkPort) && *r != kReadRate && *r != line.Rate())
                if (auto link = FastLink::AskAndMove(line, *r, *linkPort, kReadRate, settings, {}, nullptr, true))
                    return link;
            rates.push_back(*r);
        }
    rates.push_back(line.Rate());
    for (const std::int32_t r : LinkRates(expected))
        if (std::find(rates.begin(), rates.end(), r) == rates.end())
            rates.push_back(r);
    for (const std::int32_t rate : rates) {
        if (auto link = FastLink::AskAt(line, rate, true))
            return link;
        if (line.Gone() || line.HeardTraffic())
            break;
    }
    return line.Gone() ? std::nullopt : FastLink::FindLink(line);
}

// Loads the saved configuration and finds the link it brings. Where the
// link already runs at its port's saved rate (just configured there), the
// load, the link poll and the move to the reading rate go out together: on a
// slow, busy line one wait behind the receiver's output instead of three.
std::pair<Answer, std::optional<Link>> LoadAndRelink(Line& line, const std::vector<Expectation>& expected, const Link& link)
{
    SupportFunctions::ShowStatus(QStringLiteral("Loading the saved configuration"));
    Answer loaded = Answer::None;
    std::optional<Link> saved;
    const std::optional<int> port = link.receiverPort;
    const bool together = port && FastLink::HasRate(*port) && line.Rate() != kReadRate && SavedRate(expected, *port) == line.Rate();
    if (together)
        saved = FastLink::AskAndMove(line, line.Rate(), *port, kReadRate, link.settings, Payloads::CfgCfgLoadAll(), &loaded);
    else
        loaded = FastLink::SendFollowed(line, Payloads::CfgCfgLoadAll(), saved);
    if (!saved && loaded != Answer::Nak && !line.Gone())
        saved = Relink(line, expected, port, link.settings);
    SupportFunctions::ClearStatus();
    return {loaded, saved};
}

// LoadAndRelink, where no acknowledgement is no refusal: a load unanswered
// (its ACK lost or damaged) whose unit answered after it, at the rate the
// load moves its link to, was taken; at the rate it went out at, it is sent
// once more. Told in `result` (ReadBack::loadUnanswered).
std::pair<Answer, std::optional<Link>> LoadSaved(Line& line, const std::vector<Expectation>& expected, const Link& link,
                                                 ReadBack& result)
{
    const std::int32_t sentAt = line.Rate();
    auto [loaded, saved] = LoadAndRelink(line, expected, link);
    if (loaded != Answer::None || !saved)
        return {loaded, saved};
    result.loadUnanswered = true;
    if (saved->rate != sentAt)
        return {Answer::Ack, saved};
    auto [again, relinked] = LoadAndRelink(line, expected, *saved);
    result.loadUnanswered = again == Answer::None;
    return {again == Answer::None && relinked ? Answer::Ack : again, relinked};
}

// How the proof leaves the receiver: put back, its link at `rate`; or not,
// its link last heard at `rate` (0: not known).
void LeftAt(ReadBack& result, bool putBack, std::int32_t rate)
{
    result.putBack = putBack;
    result.leftAt = rate;
}

// Undoes what the proof changed when the saved configuration was not loaded
// over it: a port the search moved is set back as it was read, and the link
// moved back to the rate it was found at with its own settings (`found`, as
// read before the proof moved it).
void PutBack(Line& line, const Link& found, ReadBack& result)
{
    const int linkPort = found.receiverPort.value_or(-1);
    bool done = !line.Gone();
    if (done && found.movedPort && *found.movedPort != linkPort
        && found.movedPortSettings.size() == qsizetype(UbxMessages::kCfgPrt.payloadSize)) {
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(found.movedPortSettings.constData());
        const std::vector<std::uint8_t> payload(bytes, bytes + found.movedPortSettings.size());
        done = FastLink::SendCommand(line, uBloxLowLevelComms::MakeFrame(UbxMessages::kCfgPrt.msgClass, UbxMessages::kCfgPrt.msgId,
                                                                         payload)) == Answer::Ack;
    }
    if (done && FastLink::HasRate(linkPort) && line.Rate() != found.rate)
        done = FastLink::MoveLink(line, linkPort, found.rate, found.settings);
    else if (done && found.portPollRefused && line.Rate() != found.rate)
        done = FastLink::MoveLinkBy(line, RunningRateItem(found.rate), found.rate);
    LeftAt(result, done, done ? found.rate : line.Gone() ? 0 : line.Rate());
}

// The last load: back to what the receiver saved, which it runs from here
// on, as after a power-up. A load unanswered is looked for where it would
// have moved the link, and sent once more where it did not move it; a
// refused one is undone by moving the link back with `saved`'s settings.
void FinalLoad(Line& line, const Link& saved, ReadBack& result)
{
    for (int attempt = 0; attempt < 2 && !line.Gone(); ++attempt) {
        const std::int32_t at = line.Rate();
        std::optional<Link> here;
        const Answer answer = Load(line, here);
        if (answer == Answer::Ack || (answer == Answer::None && at == saved.rate)) {
            line.MoveTo(saved.rate);
            return LeftAt(result, true, saved.rate);
        }
        if (answer == Answer::Nak)
            return PutBack(line, saved, result);
        // Unanswered: answering here, it did not move, so it did not load.
        if (!here && FastLink::AskAt(line, saved.rate, true))
            return LeftAt(result, true, saved.rate);
        if (!here && !FastLink::AskAt(line, at, true))
            break;
    }
    LeftAt(result, false, 0);
}

// The saved state: loaded, found again and read, then loaded once more.
ReadBackEnd ProveSaved(Line& line, const std::vector<Expectation>& expected, const Link& found, const Link& link,
                       bool askVersion, ReadBack& result)
{
    auto [loaded, saved] = LoadSaved(line, expected, link, result);
    const bool moved = saved && saved->rate != found.rate;
    if (line.Gone() || (!saved && loaded != Answer::Nak)) {
        LeftAt(result, false, 0);
        return line.Gone() ? ReadBackEnd::PortLost : ReadBackEnd::LinkLostAfterLoad;
    }
    if (loaded == Answer::Nak) {
        // Nothing loaded: the link goes back as it was found, or as the poll
        // that went out with the load read it.
        PutBack(line, saved && !moved ? *saved : found, result);
        return ReadBackEnd::LoadRefused;
    }
    result.savedRead = true;
    Link savedLink = *saved;
    const ReadBackEnd end = ReadState(line, savedLink, expected, State::Saved, result, askVersion);
    if (end != ReadBackEnd::Compared) {
        LeftAt(result, false, 0);
        return end;
    }
    savedLink.rate = saved->rate;
    FinalLoad(line, savedLink, result);
    return line.Gone() ? ReadBackEnd::PortLost : ReadBackEnd::Compared;
}

} // namespace

bool PutBackFound(SerialControl& port, const SetupOutputs::FoundLink& found)
{
    Line line(port);
    line.Adopt();
    ReadBack result;
    PutBack(line, found, result);
    return result.putBack;
}

std::optional<std::int32_t> SavedRate(const std::vector<Expectation>& expected, int port)
{
    if (const Expectation* e = PortExpectation(expected, port)) {
        for (const Want& w : e->wants)
            if (w.label == QLatin1String("baudRate"))
                return std::int32_t(w.value);
        return std::nullopt;
    }
    // A key-value profile sets the UART's rate item.
    const std::uint32_t rateItem = port == 1   ? UbxKeys::Named("CFG-UART1-BAUDRATE")
                                   : port == 2 ? UbxKeys::Named("CFG-UART2-BAUDRATE")
                                               : 0;
    for (const Expectation& e : expected)
        for (const Want& w : e.wants)
            if (rateItem && w.key == rateItem)
                return std::int32_t(w.value);
    return std::nullopt;
}

std::vector<std::int32_t> LinkRates(const std::vector<Expectation>& expected)
{
    std::vector<std::int32_t> rates;
    for (const int port : {1, 2})
        if (const auto r = SavedRate(expected, port); r && FastLink::HasRate(port) && std::find(rates.begin(), rates.end(), *r) == rates.end())
            rates.push_back(*r);
    return rates;
}

std::optional<SetupOutputs::FoundLink> FindForProof(SerialControl& port, const std::vector<Expectation>& expected)
{
    const std::vector<std::int32_t> rates = LinkRates(expected);
    std::optional<SetupOutputs::MoveOn> moveOn;
    // The move rides with CFG-PRT, which a key-value profile's units may not have.
    if (const auto r = SavedRate(expected, 1);
        r && PortExpectation(expected, 1) && !rates.empty() && rates.front() == *r && *r != kReadRate)
        moveOn = SetupOutputs::MoveOn{1, kReadRate};
    return SetupOutputs::FindReceiver(port, rates, moveOn);
}

ReadBack Prove(SerialControl& port, const std::vector<Expectation>& expected, Start start, const SetupOutputs::FoundLink& searched,
               bool askVersion)
{
    ReadBack result;
    Line line(port);
    line.Adopt();
    Link link = searched;
    const bool found = start == Start::Found;
    if (found && (result.end = ReadState(line, link, expected, State::Running, result, askVersion)) != ReadBackEnd::Compared) {
        LeftAt(result, false, 0);
        return result;
    }
    result.end = ProveSaved(line, expected, searched, link, !found && askVersion, result);
    return result;
}

} // namespace Verification
