// The fast runner: the same device tables and messages as RunProfile and the
// same receiver at the end, paced by the line instead of fixed waits. How it
// finds the link, confirms each command and follows a link move is told in
// docs/ARCHITECTURE.md ("The fast runner").
#include "profiles/SetupOutputs.h"

#include "profiles/FastLink.h"
#include "link/UbxKeys.h"
#include "profiles/StepFrames.h"
#include "receiver_config/KeyPayloads.h"
#include "receiver_config/ResetList.h"
#include "receiver_config/VarnexCommsRoutines.h"
#include "support/SupportFunctions.h"

#include <QStringList>

#include <algorithm>

namespace SetupOutputs {
namespace {

using namespace FastLink;

// A command judged as the exact run judges it: acknowledged, or, where the
// exact run accepts it once a poll answers (a CFG-PRT for a port that does
// not carry the link), refused or unanswered while the receiver still
// answers on the link. The refusal stays in the run's record.
bool Acknowledged(Line& line, UbxBuffer frame) { return SendCommand(line, std::move(frame)) == Answer::Ack; }
bool AcceptedOnceAnswering(Line& line, UbxBuffer frame)
{
    return SendCommand(line, std::move(frame)) == Answer::Ack || StillAnswers(line);
}

using Admit = std::function<bool(const Link&)>;

bool IsKeyForm(ResetForm form) { return form == ResetForm::Keys || form == ResetForm::KeysOneUart; }

// A unit of a key-value generation moves its link by the UART's rate item;
// its port is not told (it refuses CFG-PRT), and the PC is on UART1 unless
// the unit said otherwise.
bool KeyLinkTo(Line& line, Link& link, std::int32_t rate, std::uint8_t layers)
{
    if (!MoveLinkBy(line, Payloads::CfgValsetUartRate(link.receiverPort == 2 ? 2 : 1, rate, layers), rate))
        return false;
    link.rate = rate;
    return true;
}

// The link found and brought to the reset's rate. `admit` is asked once the
// unit answered, before anything but polls has gone out to it.
bool LinkAtKnownRate(Line& line, Link& link, ResetForm form, const Admit& admit)
{
    Heard heard = Heard::Nothing;
    std::int32_t foundAt = 0;
    if (link.rate == 0 && line.Open()) {
        // At 4800 bit/s and below a unit's factory NMEA alone fills the line
        // and its queue grows while the search waits for the reply: there
        // the move of port 1 (the usual link) to the reset's rate rides with
        // the search, and its ACK waits behind that output once, with the
        // reply. Faster, the move follows the reply as a command of its own.
        constexpr std::int32_t kMovedWithTheSearchBelow = 9600;
        const std::optional<MoveOn> moveOn =
            form == ResetForm::FourTargets || form == ResetForm::SixPorts
                ? std::optional(MoveOn{1, VarnexCommsRoutines::kKnownLinkRate, kMovedWithTheSearchBelow})
                : std::nullopt;
        const Search search = Look(line, {}, moveOn);
        link = search.link.value_or(Link{});
        heard = search.heard;
        foundAt = link.rate;
        if (link.rate != 0)
            link.rate = line.Rate(); // where the move was followed, the new rate
    }
    if (link.rate == 0) {
        // Commanding blind helps a receiver heard talking at a rate the PC
        // cannot read. A silent line has nothing on it to command, and one
        // whose messages showed the rate was asked there already.
        if (IsKeyForm(form) || heard != Heard::Noise || !BlindBringUp(line, link))
            return false;
    }
    if (admit && !admit(link)) {
        // A move that rode with the search is undone: the unit is left at
        // the rate it was found at.
        if (foundAt != 0 && line.Rate() != foundAt && link.receiverPort && !line.Gone())
            MoveLink(line, *link.receiverPort, foundAt);
        return false;
    }
    if (IsKeyForm(form)) {
        if (link.rate != VarnexCommsRoutines::kKnownLinkRate && HasRate(link.receiverPort.value_or(1)))
            return KeyLinkTo(line, link, VarnexCommsRoutines::kKnownLinkRate, Payloads::kLayerRam);
    } else if (link.rate != VarnexCommsRoutines::kKnownLinkRate && HasRate(link.receiverPort.value_or(1))) {
        if (!link.receiverPort)
            return false;
        if (!MoveLink(line, *link.receiverPort, VarnexCommsRoutines::kKnownLinkRate))
            return false;
        link.rate = VarnexCommsRoutines::kKnownLinkRate;
    }
    return true;
}

// The known state, part by part as the reset's recipe lists them, each
// distinct command once: a CFG-MSG carries the rates of all four ports, so
// one command per message turns it off everywhere.
bool RunReset(Line& line, Link& link, const Reset& reset, const Admit& admit)
{
    using VarnexCommsRoutines::ResetPart;
    return VarnexCommsRoutines::WalkReset([&](const VarnexCommsRoutines::ResetStage& stage) {
        SupportFunctions::ShowStatus(stage.status);
        std::vector<UbxBuffer> frames = VarnexCommsRoutines::ResetFrames(stage.part, reset.form);
        if (stage.part != ResetPart::LinkAtKnownRate)
            return std::all_of(frames.begin(), frames.end(), [&](UbxBuffer& f) { return Acknowledged(line, std::move(f)); });
        if (!LinkAtKnownRate(line, link, reset.form, admit))
            return false;
        // The key-value reset moved its link by its own item; the other UART
        // follows with the rest, acknowledged.
        if (IsKeyForm(reset.form))
            return std::all_of(frames.begin(), frames.end(), [&](UbxBuffer& f) { return Acknowledged(line, std::move(f)); });
        // The exact run sends these blind and judges the link by the poll that
        // follows; a port that refuses UART settings (DDC, USB) changes nothing.
        for (UbxBuffer& port : frames)
            SendCommand(line, std::move(port));
        return true;
    });
}

bool SetBaud(Line& line, Link& link, const BaudRate& step)
{
    const std::int32_t rate = step.rate;
    const int port = step.port;
    if (!link.receiverPort) {
        // Which port carries the link is not known: the exact run's confirmed
        // baud change finds out by polling, and the PC follows where needed.
        const bool done = VarnexCommsRoutines::SetBaudRate(line.Port(), rate, VarnexCommsRoutines::BaudMode::Confirming, port);
        link.rate = line.Adopt();
        return done;
    }
    SupportFunctions::ShowStatus(StepStatus(step));
    if (port != *link.receiverPort || rate == link.rate || !HasRate(port))
        return AcceptedOnceAnswering(line, StepFrames(step).front());
    if (!MoveLink(line, port, rate))
        return false;
    link.rate = rate;
    return true;
}

// A VALSET refused whole names no item: each of `frame`'s items is asked
// for alone (VALGET, which a key the unit does not know refuses), and those
// it does not know are told.
void NameUnknownItems(Line& line, const UbxBuffer& frame, const RunObserver& observer)
{
    if (!observer.noted || frame.size() < UbxProtocol::kFrameOverhead + 4)
        return;
    const QByteArray payload(reinterpret_cast<const char*>(frame.data()) + UbxProtocol::kPayloadStart,
                             qsizetype(frame.size() - UbxProtocol::kFrameOverhead));
    // A VALSET's items read as a VALGET reply's do.
    const auto items = Payloads::ParseValget(payload);
    if (!items)
        return;
    QStringList unknown;
    for (const Payloads::KeyValue& item : items->items) {
        const std::uint32_t asked[] = {item.id};
        if (PollReply(line, Payloads::CfgValget(Payloads::ReadLayer::Ram, 0, asked)).answer == Answer::Nak)
            unknown << QString::fromStdString(UbxKeys::NameOf(item.id));
    }
    observer.noted(unknown.isEmpty() ? QStringLiteral("the receiver refused the items and knows each of them: a value "
                                                      "it does not take")
                                     : QStringLiteral("the receiver does not know %1").arg(unknown.join(QStringLiteral(", "))));
}

// Items in as few VALSETs as the item limit allows, each acknowledged; the
// link's own rate item last, on its own, the PC following it.
bool SetKeys(Line& line, Link& link, const Keys& keys, const RunObserver& observer)
{
    const std::uint32_t linkRate =
        link.receiverPort == 2 ? UbxKeys::Named("CFG-UART2-BAUDRATE") : UbxKeys::Named("CFG-UART1-BAUDRATE");
    std::vector<Payloads::KeyValue> items;
    std::optional<std::int32_t> moveTo;
    for (const Payloads::KeyValue& item : keys.items)
        if (item.id == linkRate && item.value != link.rate)
            moveTo = std::int32_t(item.value);
        else
            items.push_back(item);
    SupportFunctions::ShowStatus(StepStatus(keys));
    for (const UbxBuffer& frame : Payloads::CfgValset(items, Payloads::kAllLayers)) {
        const Answer answer = SendCommand(line, frame);
        if (answer == Answer::Nak)
            NameUnknownItems(line, frame, observer);
        if (answer != Answer::Ack)
            return false;
    }
    return !moveTo || KeyLinkTo(line, link, *moveTo, Payloads::kAllLayers);
}

// A step that is its one command, acknowledged, shown as its operation shows it.
bool OneCommand(Line& line, const Step& s)
{
    std::vector<UbxBuffer> frames = StepFrames(s);
    if (frames.size() != 1)
        return false;
    SupportFunctions::ShowStatus(StepStatus(s));
    return Acknowledged(line, std::move(frames.front()));
}

// The reset and a baud change pace the link; every other kind is its one
// command. One overload per kind, so that a kind added to Step and missed
// here does not build.
struct StepRunner {
    Line& line;
    Link& link;
    const Step& step;
    const Admit& admit;
    const RunObserver& observer;
    bool operator()(const Reset& r) const { return RunReset(line, link, r, admit); }
    bool operator()(const Keys& k) const { return SetKeys(line, link, k, observer); }
    bool operator()(const Navigation5&) const { return OneCommand(line, step); }
    bool operator()(const TimePulse5&) const { return OneCommand(line, step); }
    bool operator()(const Output&) const { return OneCommand(line, step); }
    bool operator()(const BaudRate& b) const { return SetBaud(line, link, b); }
    bool operator()(const Rate&) const { return OneCommand(line, step); }
    bool operator()(const Navigation&) const { return OneCommand(line, step); }
    bool operator()(const TimePulse&) const { return OneCommand(line, step); }
    bool operator()(const MessageRate&) const { return OneCommand(line, step); }
    bool operator()(const Save&) const { return OneCommand(line, step); }
};

bool RunStep(Line& line, Link& link, const Step& s, const Admit& admit, const RunObserver& observer)
{
    return std::visit(StepRunner{line, link, s, admit, observer}, s);
}

} // namespace

std::optional<FoundLink> FindReceiver(SerialControl& port, std::span<const std::int32_t> first, std::optional<MoveOn> moveOn)
{
    Line line(port);
    if (line.Open())
        if (const auto link = Look(line, first, moveOn).link)
            return link;
    port.SetPortOpen(false);
    return std::nullopt;
}

bool RunProfileFast(const Profile& profile, SerialControl& port, const RunObserver& observer, FoundLink* found)
{
    Line line(port);
    Link link; // found by the reset, the first step of every device
    Admit admit;
    bool declined = false;
    if (observer.admit)
        admit = [&](const Link& found) { return !(declined = !observer.admit(port, found)); };
    const bool done = RunSteps(
        profile, observer,
        [&](const Step& step) {
            const bool succeeded = RunStep(line, link, step, admit, observer);
            SupportFunctions::ClearStatus();
            return succeeded;
        },
        &declined);
    if (found)
        *found = link;
    return done;
}

} // namespace SetupOutputs
