#include "profiles/Reading.h"

#include "link/UbxProtocol.h"
#include "profiles/FastLink.h"
#include "receiver_config/Payloads.h"
#include "receiver_config/ResetList.h"
#include "support/SupportFunctions.h"

#include <algorithm>
#include <vector>

namespace Reading {
namespace {

using SetupOutputs::Op;
using SetupOutputs::Step;
using VarnexCommsRoutines::MessageId;

constexpr qsizetype kPrtSize = 20, kRateSize = 6, kTpSize = 20, kMsgSize = 6;

std::uint32_t Little(const QByteArray& p, std::size_t at, int size) { return UbxProtocol::LittleEndianAt(p, at, size); }

uBloxLowLevelComms::UbxBuffer CfgPoll(std::uint8_t id, std::initializer_list<std::uint8_t> payload)
{
    auto frame = uBloxLowLevelComms::NewUbxBuffer(UbxProtocol::kClassCfg, id, static_cast<std::uint16_t>(payload.size()));
    std::copy(payload.begin(), payload.end(), frame.begin() + 6);
    uBloxLowLevelComms::CalcUbxChecksum(frame);
    return frame;
}

// The messages worth reading: the reset list, then the built-in devices'
// own messages outside it, in table order.
std::vector<MessageId> KnownMessages(std::size_t& resetCount)
{
    std::vector<MessageId> messages(VarnexCommsRoutines::kResetMessages.begin(), VarnexCommsRoutines::kResetMessages.end());
    resetCount = messages.size();
    for (const SetupOutputs::Profile& p : SetupOutputs::Profiles())
        for (const Step& s : p.steps)
            if (s.op == Op::SetMessageRate) {
                const MessageId m{std::uint8_t(s.args[0]), std::uint8_t(s.args[1])};
                if (std::none_of(messages.begin(), messages.end(),
                                 [&](const MessageId& k) { return k.msgClass == m.msgClass && k.msgId == m.msgId; }))
                    messages.push_back(m);
            }
    return messages;
}

// One poll's reply of at least `size` bytes, with its step in the status bar.
std::optional<QByteArray> Read(FastLink::Line& line, const QString& what, uBloxLowLevelComms::UbxBuffer poll, qsizetype size)
{
    SupportFunctions::ShowStatus(QStringLiteral("Reading %1").arg(what));
    auto reply = FastLink::PollReply(line, std::move(poll));
    SupportFunctions::ClearStatus();
    if (!reply || reply->size() < size)
        return std::nullopt;
    return reply;
}

std::optional<FastLink::Link> Link(FastLink::Line& line)
{
    if (auto link = FastLink::AskAt(line, line.Rate()))
        return link;
    return FastLink::FindLink(line);
}

struct MessageRates {
    MessageId id;
    std::array<std::uint8_t, 4> rates;
    bool inResetList;
};

} // namespace

std::unique_ptr<ProfileFile::LoadedProfile> ReadReceiver(SerialControl& port, bool saved, const std::string& name)
{
    FastLink::Line line(port);
    line.Adopt();
    auto link = Link(line);
    if (!link)
        return nullptr;
    if (saved) {
        SupportFunctions::ShowStatus(QStringLiteral("Loading the saved configuration"));
        const bool loaded = FastLink::SendCommand(line, Payloads::CfgCfgLoadAll()) == uBloxLowLevelComms::Answer::Ack;
        SupportFunctions::ClearStatus();
        // A saved rate other than the running one moves the link with the load.
        if (!loaded || !(link = Link(line)))
            return nullptr;
    }

    std::array<std::int32_t, 3> uartRate{}; // by port number, 1 and 2
    for (const std::uint8_t port : {1, 2}) {
        const auto prt = Read(line, QStringLiteral("CFG-PRT port %1").arg(port), CfgPoll(UbxProtocol::kIdCfgPrt, {port}), kPrtSize);
        if (!prt)
            return nullptr;
        uartRate[port] = std::int32_t(Little(*prt, UbxProtocol::CfgPrtField::kBaudRate, 4));
    }
    const auto rate = Read(line, QStringLiteral("CFG-RATE"), Payloads::CfgRatePoll(), kRateSize);
    const auto nav = Read(line, QStringLiteral("CFG-NAV"), CfgPoll(UbxProtocol::kIdCfgNav, {}), qsizetype(Payloads::kNavBlockSize));
    const auto tp = Read(line, QStringLiteral("CFG-TP"), CfgPoll(UbxProtocol::kIdCfgTp, {}), kTpSize);
    if (!rate || !nav || !tp)
        return nullptr;
    std::size_t resetCount = 0;
    const std::vector<MessageId> known = KnownMessages(resetCount);
    std::vector<MessageRates> messages;
    for (std::size_t i = 0; i < known.size(); ++i) {
        const MessageId m = known[i];
        const auto reply = Read(line, QStringLiteral("CFG-MSG %1 %2").arg(int{m.msgClass}, 2, 16, QLatin1Char('0')).arg(int{m.msgId}, 2, 16, QLatin1Char('0')),
                                Payloads::CfgMsgPoll(m.msgClass, m.msgId), kMsgSize);
        if (!reply)
            return nullptr;
        MessageRates r{m, {}, i < resetCount};
        for (int port = 0; port < 4; ++port)
            r.rates[std::size_t(port)] = std::uint8_t((*reply)[2 + port]);
        messages.push_back(r);
    }

    // The NMEA port: the UART port that outputs the most NMEA messages, port 1 on a tie.
    std::array<int, 3> nmeaOn{};
    for (const MessageRates& r : messages)
        for (const int port : {1, 2})
            if ((r.id.msgClass == 0xF0 || r.id.msgClass == 0xF1) && r.rates[std::size_t(port)] != 0)
                ++nmeaOn[std::size_t(port)];
    const std::int32_t nmeaPort = nmeaOn[2] > nmeaOn[1] ? 2 : 1;

    auto profile = std::make_unique<ProfileFile::LoadedProfile>(name, nmeaPort);
    profile->Add({Op::ResetToKnownState});
    profile->Add({Op::WriteConfiguration, float(Little(*rate, 0, 2)), {std::int32_t(Little(*rate, 2, 2))}});
    const auto* block = reinterpret_cast<const std::uint8_t*>(nav->constData());
    profile->Add({Op::SetDynamicNavigationParameters}, std::span(block, Payloads::kNavBlockSize));
    profile->Add({Op::SetTimePulse, 0, {std::int32_t(Little(*tp, 0, 4) / 1000), std::int32_t(Little(*tp, 4, 4) / 1000)}});
    for (const MessageRates& r : messages) {
        const auto on = std::count_if(r.rates.begin(), r.rates.end(), [](std::uint8_t v) { return v != 0; });
        // The reset already turned the listed messages off everywhere; the
        // others are set even when off, since the reset leaves them as found.
        if (on == 0 && r.inResetList)
            continue;
        if (on <= 1) {
            // One CFG-MSG sets one port and turns the message off on the others.
            const auto port = on == 0 ? nmeaPort : std::int32_t(std::find_if(r.rates.begin(), r.rates.end(), [](std::uint8_t v) { return v != 0; }) - r.rates.begin());
            profile->Add({Op::SetMessageRate, 0, {r.id.msgClass, r.id.msgId, r.rates[std::size_t(port)], port}});
        } else {
            const auto highest = *std::max_element(r.rates.begin(), r.rates.end());
            const auto first = std::int32_t(std::find_if(r.rates.begin(), r.rates.end(), [](std::uint8_t v) { return v != 0; }) - r.rates.begin());
            profile->Add({Op::SetMessageRate, 0, {r.id.msgClass, r.id.msgId, highest, first}}, r.rates);
        }
    }
    // The port the PC is wired to moves last: until then the link stays at the reset's rate.
    const int linkPort = link->receiverPort.value_or(1);
    for (const int port : {linkPort == 1 ? 2 : 1, linkPort == 1 ? 1 : 2})
        profile->Add({Op::SetBaudRate, 0, {uartRate[std::size_t(port)], port}});
    profile->Add({Op::WriteSetupToFlash});
    return profile;
}

} // namespace Reading
