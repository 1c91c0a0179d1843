#include "link/UbxKeys.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <iterator>

namespace UbxKeys {
namespace {

// Output item names as u-blox writes them: CFG-MSGOUT-NMEA_ID_GGA_UART1,
// CFG-MSGOUT-UBX_NAV_PVT_USB.
std::string OutputName(const Output& o, int port)
{
    std::string message = o.name;
    std::replace(message.begin(), message.end(), '-', '_');
    const std::string prefix = o.msgClass == 0xF0 ? "NMEA_ID_" + message.substr(5) : "UBX_" + message;
    return "CFG-MSGOUT-" + prefix + "_" + kOutputPorts[port];
}

bool IsOutput(std::uint32_t id, const Output*& output, int& port)
{
    for (const Output& o : kOutputs)
        if (id >= o.i2c && id < o.i2c + std::size(kOutputPorts)) {
            output = &o;
            port = int(id - o.i2c);
            return true;
        }
    return false;
}

} // namespace

std::size_t ValueSize(std::uint32_t id)
{
    switch (id >> 28 & 0x7) {
    case 1:
    case 2: return 1;
    case 3: return 2;
    case 4: return 4;
    case 5: return 8;
    default: return 0;
    }
}

std::span<const Key> Keys() { return kKeys; }

const Key* Find(std::uint32_t id)
{
    const auto it = std::find_if(std::begin(kKeys), std::end(kKeys), [id](const Key& k) { return k.id == id; });
    return it == std::end(kKeys) ? nullptr : &*it;
}

const Key* Find(std::string_view name)
{
    const auto it = std::find_if(std::begin(kKeys), std::end(kKeys), [name](const Key& k) { return k.name == name; });
    return it == std::end(kKeys) ? nullptr : &*it;
}

std::string NameOf(std::uint32_t id)
{
    if (const Key* k = Find(id))
        return k->name;
    const Output* output = nullptr;
    int port = 0;
    if (IsOutput(id, output, port))
        return OutputName(*output, port);
    char text[11];
    std::snprintf(text, sizeof text, "0x%08x", unsigned(id));
    return text;
}

std::optional<std::uint32_t> Parse(std::string_view name)
{
    if (const Key* k = Find(name))
        return k->id;
    for (const Output& o : kOutputs)
        for (int port = 0; port < int(std::size(kOutputPorts)); ++port)
            if (OutputName(o, port) == name)
                return OutputKey(o, port);
    if (name.size() == 10 && name.substr(0, 2) == "0x") {
        std::uint32_t id = 0;
        const auto [end, error] = std::from_chars(name.data() + 2, name.data() + name.size(), id, 16);
        if (error == std::errc() && end == name.data() + name.size() && ValueSize(id) != 0)
            return id;
    }
    return std::nullopt;
}

std::int64_t Decode(std::uint32_t id, std::uint64_t raw)
{
    const Key* k = Find(id);
    const Type type = k ? k->type : Type::U4;
    switch (type) {
    case Type::L: return std::int64_t(raw & 1);
    case Type::I1: return std::int8_t(raw);
    case Type::I2: return std::int16_t(raw);
    case Type::I4: return std::int32_t(raw);
    default: break;
    }
    const std::size_t size = ValueSize(id);
    return size >= 8 ? std::int64_t(raw) : std::int64_t(raw & ((std::uint64_t(1) << (8 * size)) - 1));
}

bool Fits(std::uint32_t id, std::int64_t value)
{
    const Key* k = Find(id);
    switch (k ? k->type : Type::U4) {
    case Type::L: return value == 0 || value == 1;
    case Type::I1: return value >= -128 && value <= 127;
    case Type::I2: return value >= -32768 && value <= 32767;
    case Type::I4: return value >= INT32_MIN && value <= INT32_MAX;
    case Type::R8: return true;
    default: break;
    }
    const std::size_t size = ValueSize(id);
    return value >= 0 && (size >= 8 || value < (std::int64_t(1) << (8 * size)));
}

std::span<const Output> Outputs() { return kOutputs; }

std::uint32_t OutputKey(const Output& output, int port) { return output.i2c + std::uint32_t(port); }

const Output* FindOutput(std::uint8_t msgClass, std::uint8_t msgId)
{
    const auto it = std::find_if(std::begin(kOutputs), std::end(kOutputs),
                                 [&](const Output& o) { return o.msgClass == msgClass && o.msgId == msgId; });
    return it == std::end(kOutputs) ? nullptr : &*it;
}

} // namespace UbxKeys
