#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

// The configuration items of the key-value generations (u-blox 9 and 10),
// one row each: the name u-blox gives it, its 32-bit key and its type. A
// key's own bits 30..28 tell how many bytes its value takes on the line, so
// an item outside the table can still be carried by its key alone.
namespace UbxKeys {

enum class Type { L, U1, U2, U4, I1, I2, I4, E1, R8 };

struct Key {
    const char* name;
    std::uint32_t id;
    Type type;
};

// The bytes a value of `id` takes (1, 2, 4 or 8; a one-bit item goes as a
// byte); 0 when its size bits name no size.
std::size_t ValueSize(std::uint32_t id);
// The group of a key (bits 23..16): the UART1 settings, the output rates...
constexpr std::uint8_t GroupOf(std::uint32_t id) { return std::uint8_t(id >> 16 & 0xFF); }
// The wildcard asking for every item of a group at once.
constexpr std::uint32_t GroupWildcard(std::uint8_t group) { return std::uint32_t(group) << 16 | 0xFFFF; }

std::span<const Key> Keys();
const Key* Find(std::uint32_t id);
const Key* Find(std::string_view name);
// The key's name, or "0x10730001" for one outside the table.
std::string NameOf(std::uint32_t id);
// A name, or a key written "0x…" as NameOf writes it; nothing for neither.
std::optional<std::uint32_t> Parse(std::string_view name);
// A value as the type holds it: signed types are sign-extended from their
// bytes, a one-bit item is its lowest bit.
std::int64_t Decode(std::uint32_t id, std::uint64_t raw);
// Whether `value` fits the key's type (for a key outside the table, its size).
bool Fits(std::uint32_t id, std::int64_t value);

// The output rate items (CFG-MSGOUT) of one message: its key on I2C; the
// keys on UART1, UART2, USB and SPI follow it one by one.
struct Output {
    std::uint8_t msgClass, msgId;
    const char* name; // "NMEA-GGA", as the message table of the older generations names it
    std::uint32_t i2c;
};
std::span<const Output> Outputs();
// The port of an output key, in the order of the older CFG-MSG's ports:
// 0 I2C (DDC), 1 UART1, 2 UART2, 3 USB, 4 SPI.
std::uint32_t OutputKey(const Output& output, int port);
const Output* FindOutput(std::uint8_t msgClass, std::uint8_t msgId);

// u-blox's names for them (CFG-UART1-BAUDRATE), checked by two sources each.
inline constexpr Key kKeys[] = {
    {"CFG-UART1-BAUDRATE", 0x40520001, Type::U4},      {"CFG-UART1-STOPBITS", 0x20520002, Type::E1},
    {"CFG-UART1-DATABITS", 0x20520003, Type::E1},      {"CFG-UART1-PARITY", 0x20520004, Type::E1},
    {"CFG-UART1-ENABLED", 0x10520005, Type::L},        {"CFG-UART2-BAUDRATE", 0x40530001, Type::U4},
    {"CFG-UART2-STOPBITS", 0x20530002, Type::E1},      {"CFG-UART2-DATABITS", 0x20530003, Type::E1},
    {"CFG-UART2-PARITY", 0x20530004, Type::E1},        {"CFG-UART2-ENABLED", 0x10530005, Type::L},
    {"CFG-UART1INPROT-UBX", 0x10730001, Type::L},      {"CFG-UART1INPROT-NMEA", 0x10730002, Type::L},
    {"CFG-UART1OUTPROT-UBX", 0x10740001, Type::L},     {"CFG-UART1OUTPROT-NMEA", 0x10740002, Type::L},
    {"CFG-UART2INPROT-UBX", 0x10750001, Type::L},      {"CFG-UART2INPROT-NMEA", 0x10750002, Type::L},
    {"CFG-UART2OUTPROT-UBX", 0x10760001, Type::L},     {"CFG-UART2OUTPROT-NMEA", 0x10760002, Type::L},
    {"CFG-USBINPROT-UBX", 0x10770001, Type::L},        {"CFG-USBINPROT-NMEA", 0x10770002, Type::L},
    {"CFG-USBOUTPROT-UBX", 0x10780001, Type::L},       {"CFG-USBOUTPROT-NMEA", 0x10780002, Type::L},
    {"CFG-RATE-MEAS", 0x30210001, Type::U2},           {"CFG-RATE-NAV", 0x30210002, Type::U2},
    {"CFG-RATE-TIMEREF", 0x20210003, Type::E1},        {"CFG-TP-PULSE_DEF", 0x20050023, Type::E1},
    {"CFG-TP-PULSE_LENGTH_DEF", 0x20050030, Type::E1}, {"CFG-TP-PERIOD_TP1", 0x40050002, Type::U4},
    {"CFG-TP-PERIOD_LOCK_TP1", 0x40050003, Type::U4},  {"CFG-TP-LEN_TP1", 0x40050004, Type::U4},
    {"CFG-TP-LEN_LOCK_TP1", 0x40050005, Type::U4},     {"CFG-TP-FREQ_TP1", 0x40050024, Type::U4},
    {"CFG-TP-FREQ_LOCK_TP1", 0x40050025, Type::U4},    {"CFG-TP-DUTY_TP1", 0x5005002a, Type::R8},
    {"CFG-TP-DUTY_LOCK_TP1", 0x5005002b, Type::R8},    {"CFG-TP-TP1_ENA", 0x10050007, Type::L},
    {"CFG-TP-USE_LOCKED_TP1", 0x10050009, Type::L},    {"CFG-TP-ALIGN_TO_TOW_TP1", 0x1005000a, Type::L},
    {"CFG-TP-POL_TP1", 0x1005000b, Type::L},           {"CFG-TP-TIMEGRID_TP1", 0x2005000c, Type::E1},
    {"CFG-TP-ANT_CABLEDELAY", 0x30050001, Type::I2},   {"CFG-TP-USER_DELAY_TP1", 0x40050006, Type::I4},
    {"CFG-NAVSPG-FIXMODE", 0x20110011, Type::E1},      {"CFG-NAVSPG-INIFIX3D", 0x10110013, Type::L},
    {"CFG-NAVSPG-UTCSTANDARD", 0x2011001c, Type::E1},  {"CFG-NAVSPG-DYNMODEL", 0x20110021, Type::E1},
    {"CFG-NAVSPG-INFIL_MINCNO", 0x201100a3, Type::U1}, {"CFG-NAVSPG-INFIL_MINELEV", 0x201100a4, Type::I1},
    {"CFG-NAVSPG-OUTFIL_PDOP", 0x301100b1, Type::U2},  {"CFG-NAVSPG-OUTFIL_TDOP", 0x301100b2, Type::U2},
    {"CFG-NAVSPG-OUTFIL_PACC", 0x301100b3, Type::U2},  {"CFG-NAVSPG-OUTFIL_TACC", 0x301100b4, Type::U2},
    {"CFG-NAVSPG-CONSTR_ALT", 0x401100c1, Type::I4},
};

inline constexpr Output kOutputs[] = {
    {0x01, 0x02, "NAV-POSLLH", 0x20910029}, {0x01, 0x21, "NAV-TIMEUTC", 0x2091005b},
    {0x01, 0x12, "NAV-VELNED", 0x20910042}, {0x01, 0x07, "NAV-PVT", 0x20910006},
    {0x02, 0x15, "RXM-RAWX", 0x209102a4},   {0x02, 0x13, "RXM-SFRBX", 0x20910231},
    {0x02, 0x14, "RXM-MEASX", 0x20910204},  {0xF0, 0x00, "NMEA-GGA", 0x209100ba},
    {0xF0, 0x01, "NMEA-GLL", 0x209100c9},   {0xF0, 0x02, "NMEA-GSA", 0x209100bf},
    {0xF0, 0x03, "NMEA-GSV", 0x209100c4},   {0xF0, 0x04, "NMEA-RMC", 0x209100ab},
    {0xF0, 0x05, "NMEA-VTG", 0x209100b0},
};
// The ports of an output key, in the order they follow its I2C key.
inline constexpr const char* kOutputPorts[] = {"I2C", "UART1", "UART2", "USB", "SPI"};

// The key called `name`, found while compiling: a translation naming a key
// the table lacks does not build.
consteval std::uint32_t Named(std::string_view name)
{
    for (const Key& k : kKeys)
        if (std::string_view(k.name) == name)
            return k.id;
    throw "no such key";
}

} // namespace UbxKeys
