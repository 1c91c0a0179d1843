#pragma once

#include "link/UbxFrame.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// The key-value configuration messages of u-blox 9 and 10: CFG-VALSET to
// write items into layers, CFG-VALGET to read them from one layer a page at a
// time. Values go little-endian, as wide as each key's size bits say.
namespace Payloads {

// VALSET's layer bits.
inline constexpr std::uint8_t kLayerRam = 0x01, kLayerBbr = 0x02, kLayerFlash = 0x04;
inline constexpr std::uint8_t kAllLayers = kLayerRam | kLayerBbr | kLayerFlash;
// VALGET reads one layer, numbered otherwise.
enum class ReadLayer : std::uint8_t { Ram = 0, Bbr = 1, Flash = 2, Default = 7 };
// A message carries at most this many items.
inline constexpr std::size_t kItemsPerMessage = 64;

struct KeyValue {
    std::uint32_t id = 0;
    std::int64_t value = 0;
    friend bool operator==(const KeyValue&, const KeyValue&) = default;
};

// The VALSET frames that write `items` into `layers`: one message when they
// fit, else a transaction over as few messages as the item limit allows,
// applied by its last, so that nothing is applied unless everything is.
std::vector<uBloxLowLevelComms::UbxBuffer> CfgValset(std::span<const KeyValue> items, std::uint8_t layers);
// The VALSET that moves UART `uart` (1 or 2) to `rate` bit/s in `layers`:
// how a unit without CFG-PRT has its link moved.
uBloxLowLevelComms::UbxBuffer CfgValsetUartRate(int uart, std::int32_t rate, std::uint8_t layers);
// A VALGET poll of `keys` (items, or group wildcards) from `layer`,
// skipping the first `position` items found.
uBloxLowLevelComms::UbxBuffer CfgValget(ReadLayer layer, std::uint16_t position, std::span<const std::uint32_t> keys);

// A VALGET reply: the layer it read, the items skipped, and the items in the
// order the receiver gave them. Nothing when the payload is not whole (an
// item cut short, a key whose size bits name no size).
struct ValgetReply {
    std::uint8_t layer = 0;
    std::uint16_t position = 0;
    std::vector<KeyValue> items;
};
std::optional<ValgetReply> ParseValget(const QByteArray& payload);

} // namespace Payloads
