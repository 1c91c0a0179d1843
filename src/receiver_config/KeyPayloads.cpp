#include "receiver_config/KeyPayloads.h"

#include "link/UbxKeys.h"
#include "link/UbxProtocol.h"

#include <algorithm>

namespace Payloads {
namespace {

using uBloxLowLevelComms::UbxBuffer;

// VALSET's header: version, layers, then the transaction (version 1) or
// nothing (version 0), and a reserved byte.
enum Transaction : std::uint8_t { kNone = 0, kBegin = 1, kGoing = 2, kApply = 3 };
constexpr std::size_t kHeader = 4;

void Append(std::vector<std::uint8_t>& out, std::uint64_t value, std::size_t bytes)
{
    for (std::size_t i = 0; i < bytes; ++i)
        out.push_back(std::uint8_t(value >> (8 * i) & 0xFF));
}

UbxBuffer Valset(std::span<const KeyValue> items, std::uint8_t layers, std::uint8_t version, Transaction transaction)
{
    std::vector<std::uint8_t> payload{version, layers, transaction, 0};
    for (const KeyValue& item : items) {
        Append(payload, item.id, 4);
        Append(payload, std::uint64_t(item.value), UbxKeys::ValueSize(item.id));
    }
    return uBloxLowLevelComms::MakeFrame(UbxProtocol::kClassCfg, UbxProtocol::kIdCfgValset, payload);
}

} // namespace

std::vector<UbxBuffer> CfgValset(std::span<const KeyValue> items, std::uint8_t layers)
{
    if (items.size() <= kItemsPerMessage)
        return {Valset(items, layers, 0, kNone)};
    std::vector<UbxBuffer> frames;
    for (std::size_t at = 0; at < items.size(); at += kItemsPerMessage) {
        const std::size_t count = std::min(kItemsPerMessage, items.size() - at);
        const Transaction t = at == 0 ? kBegin : at + count == items.size() ? kApply : kGoing;
        frames.push_back(Valset(items.subspan(at, count), layers, 1, t));
    }
    return frames;
}

UbxBuffer CfgValsetUartRate(int uart, std::int32_t rate, std::uint8_t layers)
{
    const KeyValue item{uart == 2 ? UbxKeys::Named("CFG-UART2-BAUDRATE") : UbxKeys::Named("CFG-UART1-BAUDRATE"), rate};
    return Valset(std::span(&item, 1), layers, 0, kNone);
}

UbxBuffer CfgValget(ReadLayer layer, std::uint16_t position, std::span<const std::uint32_t> keys)
{
    std::vector<std::uint8_t> payload{0, std::uint8_t(layer)};
    Append(payload, position, 2);
    for (const std::uint32_t key : keys)
        Append(payload, key, 4);
    return uBloxLowLevelComms::MakeFrame(UbxProtocol::kClassCfg, UbxProtocol::kIdCfgValget, payload);
}

std::optional<ValgetReply> ParseValget(const QByteArray& payload)
{
    if (payload.size() < qsizetype(kHeader))
        return std::nullopt;
    ValgetReply reply;
    reply.layer = std::uint8_t(payload[1]);
    reply.position = std::uint16_t(UbxProtocol::LittleEndianAt(payload, 2, 2));
    for (qsizetype at = kHeader; at < payload.size();) {
        if (payload.size() - at < 4)
            return std::nullopt;
        const auto id = std::uint32_t(UbxProtocol::LittleEndianAt(payload, std::size_t(at), 4));
        const std::size_t size = UbxKeys::ValueSize(id);
        at += 4;
        if (size == 0 || payload.size() - at < qsizetype(size))
            return std::nullopt;
        std::uint64_t raw = 0;
        for (std::size_t i = 0; i < size; ++i)
            raw |= std::uint64_t(std::uint8_t(payload[at + qsizetype(i)])) << (8 * i);
        reply.items.push_back({id, UbxKeys::Decode(id, raw)});
        at += qsizetype(size);
    }
    return reply;
}

} // namespace Payloads
