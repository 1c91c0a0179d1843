#pragma once

#include "link/UbxProtocol.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

// The configuration messages this tool reads and writes, one row each: class,
// id, name, the size of the payload that sets them, and the fields read by
// name, little-endian, unsigned. A frame builder writes these offsets; the
// proof and the read-back read them through this table.
namespace UbxMessages {

struct Field {
    const char* name;
    std::size_t offset;
    int width; // bytes: 1 to 4 for a number (ValueOf), more for a text field
};

struct Message {
    std::uint8_t msgClass;
    std::uint8_t msgId;
    const char* name;
    std::size_t payloadSize; // of the settings; a poll carries fewer bytes
    std::span<const Field> fields;
};

// CFG-PRT, one port: its identifier, its mode (data bits, parity, stop bits;
// on DDC the bus address), its rate in bit/s and its protocol masks.
inline constexpr Field kPrtFields[] = {
    {"portId", UbxProtocol::CfgPrtField::kPortId, 1},
    {"mode", UbxProtocol::CfgPrtField::kMode, 4},
    {"baudRate", UbxProtocol::CfgPrtField::kBaudRate, 4},
    {"inProtoMask", UbxProtocol::CfgPrtField::kInProtoMask, 2},
    {"outProtoMask", UbxProtocol::CfgPrtField::kOutProtoMask, 2},
    {"flags", UbxProtocol::CfgPrtField::kFlags, 2},
};
// CFG-MSG: the message, then its rate on receiver ports 0 to 3 (solutions per
// output, 0 = off).
inline constexpr Field kMsgFields[] = {
    {"msgClass", 0, 1}, {"msgId", 1, 1}, {"port 0", 2, 1}, {"port 1", 3, 1}, {"port 2", 4, 1}, {"port 3", 5, 1},
};
// CFG-RATE: measurement period (ms), cycles per navigation solution, time reference.
inline constexpr Field kRateFields[] = {{"measRate", 0, 2}, {"navRate", 2, 2}, {"timeRef", 4, 2}};
// CFG-TP: interval and length in microseconds, polarity, time reference and delays in ns.
inline constexpr Field kTpFields[] = {
    {"interval", 0, 4},           {"length", 4, 4},        {"status", 8, 1},     {"timeRef", 9, 1},
    {"antennaCableDelay", 12, 2}, {"rfGroupDelay", 14, 2}, {"userDelay", 16, 4},
};
// CFG-NAV: a block of engine settings kept as qualified, compared as laid
// out: single bytes and the five 16-bit values at offsets 10, 16, 18, 20, 22.
inline constexpr Field kNavFields[] = {
    {"offset 0", 0, 1},   {"offset 1", 1, 1},   {"offset 2", 2, 1},   {"offset 3", 3, 1},
    {"offset 4", 4, 1},   {"offset 5", 5, 1},   {"offset 6", 6, 1},   {"offset 7", 7, 1},
    {"offset 8", 8, 1},   {"offset 9", 9, 1},   {"offset 10", 10, 2}, {"offset 12", 12, 1},
    {"offset 13", 13, 1}, {"offset 14", 14, 1}, {"offset 15", 15, 1}, {"offset 16", 16, 2},
    {"offset 18", 18, 2}, {"offset 20", 20, 2}, {"offset 22", 22, 2}, {"offset 24", 24, 1},
    {"offset 25", 25, 1}, {"offset 26", 26, 1}, {"offset 27", 27, 1},
};
// CFG-CFG: which sections are cleared, saved to flash and loaded from it.
inline constexpr Field kCfgFields[] = {{"clearMask", 0, 4}, {"saveMask", 4, 4}, {"loadMask", 8, 4}};

// CFG-NAV5: the mask of the fields that apply, then the navigation engine's
// settings (fixedAlt and minElev are signed).
inline constexpr Field kNav5Fields[] = {
    {"mask", 0, 2},          {"dynModel", 2, 1},          {"fixMode", 3, 1},         {"fixedAlt", 4, 4},
    {"fixedAltVar", 8, 4},   {"minElev", 12, 1},          {"drLimit", 13, 1},        {"pDop", 14, 2},
    {"tDop", 16, 2},         {"pAcc", 18, 2},             {"tAcc", 20, 2},           {"staticHoldThresh", 22, 1},
    {"dgnssTimeOut", 23, 1}, {"cnoThreshNumSVs", 24, 1},  {"cnoThresh", 25, 1},      {"staticHoldMaxDist", 28, 2},
    {"utcStandard", 30, 1},
};
// CFG-TP5: which pulse, its delays (ns, signed), its period or frequency and
// its length or duty cycle, unlocked and locked, and its flags.
inline constexpr Field kTp5Fields[] = {
    {"tpIdx", 0, 1},          {"version", 1, 1},        {"antCableDelay", 4, 2},      {"rfGroupDelay", 6, 2},
    {"freqPeriod", 8, 4},     {"freqPeriodLock", 12, 4}, {"pulseLenRatio", 16, 4},     {"pulseLenRatioLock", 20, 4},
    {"userConfigDelay", 24, 4}, {"flags", 28, 4},
};
// CFG-MSG as the u-blox 5 to 8 generations document it: the message, then
// its rate on each of six ports (DDC, UART1, UART2, USB, SPI, reserved). The
// first four sit where the older form's four targets do.
inline constexpr Field kMsgPortsFields[] = {
    {"msgClass", 0, 1}, {"msgId", 1, 1}, {"port 0", 2, 1}, {"port 1", 3, 1},
    {"port 2", 4, 1},   {"port 3", 5, 1}, {"port 4", 6, 1}, {"port 5", 7, 1},
};

using namespace UbxProtocol;
inline constexpr Message kCfgPrt{kClassCfg, kIdCfgPrt, "CFG-PRT", CfgPrtField::kPayloadLength, kPrtFields};
inline constexpr Message kCfgMsg{kClassCfg, kIdCfgMsg, "CFG-MSG", 6, kMsgFields};
inline constexpr Message kCfgNav{kClassCfg, kIdCfgNav, "CFG-NAV", 28, kNavFields};
inline constexpr Message kCfgTp{kClassCfg, kIdCfgTp, "CFG-TP", 20, kTpFields};
inline constexpr Message kCfgRate{kClassCfg, kIdCfgRate, "CFG-RATE", 6, kRateFields};
inline constexpr Message kCfgCfg{kClassCfg, kIdCfgCfg, "CFG-CFG", 12, kCfgFields};
// MON-VER, polled with no payload: zero-padded text, the software version,
// the hardware version, then any number of extensions (the ROM version, ...)
// of the width of "extension" each. Read as text, never through ValueOf.
inline constexpr Field kVerFields[] = {{"swVersion", 0, 30}, {"hwVersion", 30, 10}, {"extension", 40, 30}};
inline constexpr Message kMonVer{kClassMon, kIdMonVer, "MON-VER", 70, kVerFields};
inline constexpr Message kCfgNav5{kClassCfg, kIdCfgNav5, "CFG-NAV5", 36, kNav5Fields};
inline constexpr Message kCfgTp5{kClassCfg, kIdCfgTp5, "CFG-TP5", 32, kTp5Fields};
// Not in kMessages: the same class and id as kCfgMsg, told apart by its length.
inline constexpr Message kCfgMsgPorts{kClassCfg, kIdCfgMsg, "CFG-MSG", 8, kMsgPortsFields};

// The key-value messages carry items, not fields: named here, read by UbxKeys.
inline constexpr Message kCfgValset{kClassCfg, kIdCfgValset, "CFG-VALSET", 0, {}};
inline constexpr Message kCfgValget{kClassCfg, kIdCfgValget, "CFG-VALGET", 0, {}};

inline constexpr const Message* kMessages[] = {&kCfgPrt, &kCfgMsg,  &kCfgNav,  &kCfgTp,    &kCfgRate,  &kCfgCfg,
                                               &kMonVer, &kCfgNav5, &kCfgTp5, &kCfgValset, &kCfgValget};

// The row of `msgClass`/`msgId`; nullptr when the table has none.
const Message* Find(std::uint8_t msgClass, std::uint8_t msgId);
// The field called `name` of `message`; nullptr when it has none.
const Field* FieldOf(const Message& message, const char* name);
// A byte as two upper-case hex digits: "F0".
QString Hex(std::uint8_t byte);
// "CFG-PRT"; a message outside the table by its class and id: "F0 04".
QString Name(std::uint8_t msgClass, std::uint8_t msgId);

// Messages the receiver outputs, which a device turns on and off with CFG-MSG:
// named here for the profile files, the devices' tables and the reset's
// list; their payloads are not read, so they have no size or fields. The
// two without a name of their own (RXM 22, MON 00) are named by their id.
inline constexpr Message kOutputMessages[] = {
    {0x01, 0x01, "NAV-POSECEF", 0, {}}, {0x01, 0x02, "NAV-POSLLH", 0, {}},  {0x01, 0x03, "NAV-STATUS", 0, {}},
    {0x01, 0x04, "NAV-DOP", 0, {}},     {0x01, 0x06, "NAV-SOL", 0, {}},     {0x01, 0x08, "NAV-POSUTM", 0, {}},
    {0x01, 0x11, "NAV-VELECEF", 0, {}}, {0x01, 0x12, "NAV-VELNED", 0, {}},  {0x01, 0x20, "NAV-TIMEGPS", 0, {}},
    {0x01, 0x21, "NAV-TIMEUTC", 0, {}}, {0x01, 0x22, "NAV-CLOCK", 0, {}},   {0x01, 0x30, "NAV-SVINFO", 0, {}},
    {0x01, 0x31, "NAV-DGPS", 0, {}},    {0x02, 0x10, "RXM-RAW", 0, {}},     {0x02, 0x11, "RXM-SFRB", 0, {}},
    {0x02, 0x20, "RXM-SVSI", 0, {}},
    {0x0A, 0x01, "MON-SCHD", 0, {}},    {0x0A, 0x02, "MON-IO", 0, {}},      {0x0A, 0x03, "MON-IPC", 0, {}},
    {0x0A, 0x06, "MON-MSGPP", 0, {}},   {0x0A, 0x07, "MON-RXBUF", 0, {}},   {0x0A, 0x08, "MON-TXBUF", 0, {}},
    {0x0B, 0x30, "AID-ALM", 0, {}},     {0x0B, 0x31, "AID-EPH", 0, {}},     {0xF0, 0x00, "NMEA-GGA", 0, {}},
    {0xF0, 0x01, "NMEA-GLL", 0, {}},    {0xF0, 0x02, "NMEA-GSA", 0, {}},    {0xF0, 0x03, "NMEA-GSV", 0, {}},
    {0xF0, 0x04, "NMEA-RMC", 0, {}},    {0xF0, 0x05, "NMEA-VTG", 0, {}},    {0xF0, 0x06, "NMEA-GRS", 0, {}},
    {0xF0, 0x07, "NMEA-GST", 0, {}},    {0xF0, 0x08, "NMEA-ZDA", 0, {}},    {0xF1, 0x00, "PUBX-00", 0, {}},
    {0xF1, 0x01, "PUBX-01", 0, {}},     {0xF1, 0x03, "PUBX-03", 0, {}},     {0xF1, 0x04, "PUBX-04", 0, {}},
};



// The output message of `msgClass`/`msgId`; nullptr when the table has none.
const Message* FindOutput(std::uint8_t msgClass, std::uint8_t msgId);
// The output message called `name` ("NAV-POSLLH", "NMEA-GGA"); nullptr when none is.
const Message* FindOutput(std::string_view name);

// The row called `name` of `rows`, looked up while compiling: a name the
// rows lack does not build.
template <typename Row>
consteval const Row& RowNamed(std::span<const Row> rows, std::string_view name)
{
    for (const Row& row : rows)
        if (std::string_view(row.name) == name)
            return row;
    throw "no such row";
}
// The field called `name` of `fields`, so that a builder naming a field its
// message lacks does not build.
consteval const Field& FieldNamed(std::span<const Field> fields, std::string_view name) { return RowNamed(fields, name); }
// The output message called `name`, so that a table naming a message this
// one lacks does not build.
consteval const Message& OutputNamed(std::string_view name) { return RowNamed<Message>(kOutputMessages, name); }

// CFG-MSG's rate on receiver port 0 to 3, by the port's number.
inline constexpr const Field* kMsgPortRate[] = {
    &FieldNamed(kMsgFields, "port 0"), &FieldNamed(kMsgFields, "port 1"),
    &FieldNamed(kMsgFields, "port 2"), &FieldNamed(kMsgFields, "port 3"),
};

// The value of `field` in `payload` (QByteArray or std::vector<std::uint8_t>),
// which must hold it whole.
template <typename Bytes>
constexpr std::uint32_t ValueOf(const Bytes& payload, const Field& field)
{
    return UbxProtocol::LittleEndianAt(payload, field.offset, field.width);
}

// Writes `value` into `field` of a whole payload block (a std::array or
// std::vector of bytes), least significant byte first; a negative value in
// two's complement, as the signed fields carry it.
template <typename Bytes>
constexpr void PutValue(Bytes& payload, const Field& field, std::int64_t value)
{
    for (int n = 0; n < field.width; ++n)
        payload[field.offset + std::size_t(n)] = std::uint8_t(std::uint64_t(value) >> (8 * n) & 0xFF);
}

} // namespace UbxMessages
