#pragma once

#include "ReceiverConfig.h"

#include <QString>

#include <vector>

// The configuration items of a key-value unit (u-blox 9 and 10): each item's
// 32-bit id, name, how a value written to RAM is checked, and which
// interface it belongs to. The id carries the value's size in bits 30..28
// (1: one bit sent as a byte, 2: one byte, 3: two, 4: four, 5: eight), the
// group in bits 23..16 and the item in bits 11..0.
namespace VarnexSim {

// Items the model acts on beyond storing them.
inline constexpr quint32 kUart1Baudrate = 0x40520001;
inline constexpr quint32 kUart2Baudrate = 0x40530001;
inline constexpr quint32 kRateMeas = 0x30210001;
inline constexpr quint32 kRateNav = 0x30210002;
inline constexpr quint32 kRateTimeRef = 0x20210003;
// The protocol items of receiver ports 1..3 (UART1, UART2, USB): input UBX is
// the group's item 1 and NMEA item 2; output the same in the next group.
struct ProtocolItems {
    int port;
    quint32 inUbx, inNmea, outUbx, outNmea;
};
inline constexpr ProtocolItems kProtocolItems[] = {
    {1, 0x10730001, 0x10730002, 0x10740001, 0x10740002},
    {2, 0x10750001, 0x10750002, 0x10760001, 0x10760002},
    {3, 0x10770001, 0x10770002, 0x10780001, 0x10780002},
};

// How a value is checked when RAM is among a VALSET's layers.
enum class KeyKind {
    Bool,     // L: 0 or 1
    Unsigned, // U1/U2/U4: within [low, high]
    Signed,   // I1/I2/I4: within [low, high], sign-extended from the key's size
    Enum,     // E1: a value whose bit is set in `allowed`
    Real,     // R8: any value
};

// The interface an item belongs to, for units that lack some of them.
enum class KeyPort { None, I2c, Uart1, Uart2, Usb, Spi };

struct KeyInfo {
    quint32 id = 0;
    QString name;
    KeyKind kind = KeyKind::Unsigned;
    qint64 low = 0;
    qint64 high = 0;
    quint32 allowed = 0;   // Enum: bit n set when value n is valid
    KeyPort port = KeyPort::None;
    MsgKey msg = 0;        // output-rate items: the message whose rate they hold
    bool rawMeasurement = false; // an output rate of raw measurements (RXM-RAWX)
};

// Bytes of an item's value on the wire, from the id's size bits; 0 when the
// bits name no size.
int ValueBytes(quint32 id);

// Every item a unit of `generation` (9 or 10) knows, in the order VALGET
// lists them. A u-blox 10 unit has one UART and no USB, and no raw
// measurement output: those items are unknown to it.
const std::vector<KeyInfo>& KeysOf(int generation);
// The item with this id on a unit of `generation`; nullptr when unknown.
const KeyInfo* FindKey(quint32 id, int generation);

// True for a VALGET id that names many items: 0x0FFFFFFF for all, or a
// group's bits with 0xFFFF in the item half (the size bits may be set too).
bool IsWildcard(quint32 id);
// The items a VALGET id names, in table order: the item itself, or every
// item a wildcard covers. Empty when the id or group is unknown.
std::vector<const KeyInfo*> KeysNamed(quint32 id, int generation);

// True when `value` (the raw little-endian bits of the key's size) is valid for the item.
bool ValueValid(const KeyInfo& key, quint64 value);

// The output-rate item of message `msg` on receiver port `port` (0 I2C,
// 1 UART1, 2 UART2, 3 USB, 4 SPI); 0 when there is none.
quint32 MsgOutKey(MsgKey msg, int port);

} // namespace VarnexSim
