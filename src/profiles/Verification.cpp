#include "profiles/Verification.h"

#include "link/UbxProtocol.h"
#include "link/uBloxLowLevelComms.h"
#include "profiles/FastLink.h"
#include "profiles/StepFrames.h"
#include "receiver_config/Payloads.h"
#include "support/SupportFunctions.h"

#include <algorithm>
#include <map>

namespace Verification {
namespace {

using uBloxLowLevelComms::UbxBuffer;
using namespace UbxProtocol;

// CFG-PRT by port type. A UART port (1, 2) has a mode (data bits, parity,
// stop bits) and a rate; DDC (0) keeps its bus address in the mode and has no
// rate, USB (3) has neither: their rate reads 0 whatever was sent.
constexpr Field kInProtoMask = {"inProtoMask", CfgPrtField::kInProtoMask, 2};
constexpr Field kOutProtoMask = {"outProtoMask", CfgPrtField::kOutProtoMask, 2};
constexpr Field kUartFields[] = {
    {"mode", CfgPrtField::kMode, 4}, {"baudRate", CfgPrtField::kBaudRate, 4}, kInProtoMask, kOutProtoMask,
};
constexpr Field kProtocolFields[] = {kInProtoMask, kOutProtoMask};
std::span<const Field> PrtFields(int port)
{
    return port == 1 || port == 2 ? std::span<const Field>(kUartFields) : std::span<const Field>(kProtocolFields);
}
constexpr Field kMsgFields[] = {{"port 0", 2, 1}, {"port 1", 3, 1}, {"port 2", 4, 1}, {"port 3", 5, 1}};
constexpr Field kRateFields[] = {{"measRate", 0, 2}, {"navRate", 2, 2}, {"timeRef", 4, 2}};
// The navigation parameter block as it is sent: single bytes, and the five
// 16-bit values at offsets 10, 16, 18, 20 and 22.
constexpr Field kNavFields[] = {
    {"offset 0", 0, 1},   {"offset 1", 1, 1},   {"offset 2", 2, 1},   {"offset 3", 3, 1},
    {"offset 4", 4, 1},   {"offset 5", 5, 1},   {"offset 6", 6, 1},   {"offset 7", 7, 1},
    {"offset 8", 8, 1},   {"offset 9", 9, 1},   {"offset 10", 10, 2}, {"offset 12", 12, 1},
    {"offset 13", 13, 1}, {"offset 14", 14, 1}, {"offset 15", 15, 1}, {"offset 16", 16, 2},
    {"offset 18", 18, 2}, {"offset 20", 20, 2}, {"offset 22", 22, 2}, {"offset 24", 24, 1},
    {"offset 25", 25, 1}, {"offset 26", 26, 1}, {"offset 27", 27, 1},
};
constexpr Field kTpFields[] = {
    {"interval", 0, 4},     {"length", 4, 4},        {"status", 8, 1},     {"timeRef", 9, 1},
    {"antennaCableDelay", 12, 2}, {"rfGroupDelay", 14, 2}, {"userDelay", 16, 4},
};

std::vector<std::uint8_t> PayloadOf(const UbxBuffer& frame)
{
    return {frame.begin() + kPayloadStart, frame.end() - kChecksumSize};
}

QString Hex(std::uint8_t byte) { return QStringLiteral("%1").arg(int{byte}, 2, 16, QLatin1Char('0')).toUpper(); }

UbxBuffer Poll(std::uint8_t id, std::vector<std::uint8_t> payload)
{
    UbxBuffer frame = uBloxLowLevelComms::NewUbxBuffer(kClassCfg, id, static_cast<std::uint16_t>(payload.size()));
    std::copy(payload.begin(), payload.end(), frame.begin() + kPayloadStart);
    uBloxLowLevelComms::CalcUbxChecksum(frame);
    return frame;
}

// The frames of a step that stay in the receiver, in order: the save does
// not change what a poll reads back.
std::vector<UbxBuffer> SettingFrames(const SetupOutputs::Step& step)
{
    std::vector<UbxBuffer> frames = SetupOutputs::StepFrames(step);
    std::erase_if(frames, [](const UbxBuffer& frame) { return frame[kIdIndex] == kIdCfgCfg; });
    return frames;
}

} // namespace

std::vector<Expectation> ExpectedState(const SetupOutputs::Profile& profile)
{
    // The last payload written under each key wins: a port for CFG-PRT, a
    // message for CFG-MSG, the one block for the others.
    std::map<int, std::vector<std::uint8_t>> ports;
    std::vector<std::pair<std::uint16_t, std::vector<std::uint8_t>>> messages; // in first-touched order
    std::map<std::uint8_t, std::vector<std::uint8_t>> blocks;
    for (const SetupOutputs::Step& step : profile.steps) {
        for (const UbxBuffer& frame : SettingFrames(step)) {
            std::vector<std::uint8_t> payload = PayloadOf(frame);
            switch (frame[kIdIndex]) {
            case kIdCfgPrt: ports[payload[CfgPrtField::kPortId]] = payload; break;
            case kIdCfgMsg: {
                const std::uint16_t key = static_cast<std::uint16_t>(payload[0] << 8 | payload[1]);
                const auto it = std::find_if(messages.begin(), messages.end(), [&](const auto& m) { return m.first == key; });
                if (it == messages.end())
                    messages.emplace_back(key, payload);
                else
                    it->second = payload;
                break;
            }
            default: blocks[frame[kIdIndex]] = payload; break;
            }
        }
    }

    std::vector<Expectation> expected;
    for (const auto& [port, payload] : ports)
        expected.push_back({QStringLiteral("CFG-PRT port %1").arg(port), Poll(kIdCfgPrt, {std::uint8_t(port)}),
                            kClassCfg, kIdCfgPrt, payload, PrtFields(port)});
    const std::pair<std::uint8_t, std::pair<const char*, std::span<const Field>>> kBlocks[] = {
        {kIdCfgRate, {"CFG-RATE", kRateFields}},
        {kIdCfgNav, {"CFG-NAV", kNavFields}},
        {kIdCfgTp, {"CFG-TP", kTpFields}},
    };
    for (const auto& [id, nameAndFields] : kBlocks) {
        const auto it = blocks.find(id);
        if (it != blocks.end())
            expected.push_back({QString::fromLatin1(nameAndFields.first), Poll(id, {}), kClassCfg, id,
                                it->second, nameAndFields.second});
    }
    for (const auto& [key, payload] : messages)
        expected.push_back({QStringLiteral("CFG-MSG %1 %2").arg(Hex(payload[0]), Hex(payload[1])),
                            Poll(kIdCfgMsg, {payload[0], payload[1]}), kClassCfg,
                            kIdCfgMsg, payload, kMsgFields});
    return expected;
}

std::vector<Item> Compare(const Expectation& expectation, const std::vector<std::uint8_t>& reply)
{
    const auto value = [](const std::vector<std::uint8_t>& bytes, const Field& f) {
        return std::int64_t{UbxProtocol::LittleEndianAt(bytes, std::size_t(f.offset), f.size)};
    };
    std::size_t needed = 0;
    for (const Field& f : expectation.fields)
        needed = std::max(needed, static_cast<std::size_t>(f.offset + f.size));
    const bool answered = reply.size() >= needed;
    std::vector<Item> items;
    for (const Field& f : expectation.fields) {
        Item item{expectation.name + u' ' + QLatin1String(f.name), value(expectation.payload, f), std::nullopt, false};
        if (answered)
            item.read = value(reply, f);
        item.equal = item.read == item.want;
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

namespace {

// Polls every expectation at the line's rate. False when the port vanished,
// which ends the read-back at once.
bool ReadInto(FastLink::Line& line, const std::vector<Expectation>& expected, State state, std::vector<Item>& items)
{
    for (const Expectation& e : expected) {
        SupportFunctions::ShowStatus(QStringLiteral("Reading back %1").arg(e.name));
        const auto reply = FastLink::PollReply(line, e.poll);
        SupportFunctions::ClearStatus();
        if (line.Gone())
            return false;
        const QByteArray bytes = reply.value_or(QByteArray());
        for (Item item : Compare(e, std::vector<std::uint8_t>(bytes.begin(), bytes.end()))) {
            item.state = state;
            items.push_back(std::move(item));
        }
    }
    return true;
}

// Every saved item as unread: the receiver would not load what it saved.
void NothingSaved(const std::vector<Expectation>& expected, std::vector<Item>& items)
{
    for (const Expectation& e : expected)
        for (Item item : Compare(e, {})) {
            item.state = State::Saved;
            items.push_back(std::move(item));
        }
}

} // namespace

ReadBack ReadBackRunningAndSaved(SerialControl& port, const std::vector<Expectation>& expected)
{
    ReadBack result;
    FastLink::Line line(port);
    line.Adopt();
    if (!ReadInto(line, expected, State::Running, result.items)) {
        result.end = ReadBackEnd::PortLost;
        return result;
    }
    SupportFunctions::ShowStatus(QStringLiteral("Loading the saved configuration"));
    const bool loaded = FastLink::SendCommand(line, Payloads::CfgCfgLoadAll()) == uBloxLowLevelComms::Answer::Ack;
    // A saved rate other than the running one moves the link with the load:
    // the receiver is looked for again, and its saved port settings tell the
    // difference.
    const bool linked = loaded && (FastLink::AskAt(line, line.Rate()) || FastLink::FindLink(line));
    SupportFunctions::ClearStatus();
    if (line.Gone()) {
        result.end = ReadBackEnd::PortLost;
        return result;
    }
    if (!linked) {
        NothingSaved(expected, result.items);
        return result;
    }
    result.savedRead = true;
    if (!ReadInto(line, expected, State::Saved, result.items))
        result.end = ReadBackEnd::PortLost;
    return result;
}

} // namespace Verification
