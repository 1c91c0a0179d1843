#include "KeyTable.h"

#include <initializer_list>
#include <limits>

namespace VarnexSim {
namespace {

struct Row {
    quint32 id;
    const char* name;
    KeyKind kind;
    qint64 low;
    qint64 high;
    quint32 allowed;
    KeyPort port;
};

constexpr qint64 kU2Max = 0xFFFF;
constexpr qint64 kU4Max = 0xFFFFFFFF;
constexpr qint64 kI2Min = std::numeric_limits<qint16>::min();
constexpr qint64 kI2Max = std::numeric_limits<qint16>::max();
constexpr qint64 kI4Min = std::numeric_limits<qint32>::min();
constexpr qint64 kI4Max = std::numeric_limits<qint32>::max();

constexpr quint32 Values(std::initializer_list<int> values)
{
    quint32 bits = 0;
    for (int v : values)
        bits |= 1u << v;
    return bits;
}

constexpr Row L(quint32 id, const char* name, KeyPort port = KeyPort::None)
{
    return {id, name, KeyKind::Bool, 0, 1, 0, port};
}
constexpr Row U(quint32 id, const char* name, qint64 low, qint64 high, KeyPort port = KeyPort::None)
{
    return {id, name, KeyKind::Unsigned, low, high, 0, port};
}
constexpr Row I(quint32 id, const char* name, qint64 low, qint64 high)
{
    return {id, name, KeyKind::Signed, low, high, 0, KeyPort::None};
}
constexpr Row E(quint32 id, const char* name, quint32 allowed, KeyPort port = KeyPort::None)
{
    return {id, name, KeyKind::Enum, 0, 0, allowed, port};
}
constexpr Row R(quint32 id, const char* name) { return {id, name, KeyKind::Real, 0, 0, 0, KeyPort::None}; }

constexpr auto kUart1 = KeyPort::Uart1;
constexpr auto kUart2 = KeyPort::Uart2;
constexpr auto kUsb = KeyPort::Usb;
constexpr quint32 kStopBits = Values({0, 1, 2, 3}); // half, one, one and a half, two
constexpr quint32 kDataBits = Values({0, 1});       // eight, seven
constexpr quint32 kParity = Values({0, 1, 2});      // none, odd, even
constexpr quint32 kTimeRef = Values({0, 1, 2, 3, 4}); // UTC, GPS, GLONASS, BeiDou, Galileo

// Ports, protocols, rates, the time pulse and the navigation settings.
constexpr Row kItems[] = {
    U(0x40520001, "CFG-UART1-BAUDRATE", 1200, 921600, kUart1),
    E(0x20520002, "CFG-UART1-STOPBITS", kStopBits, kUart1),
    E(0x20520003, "CFG-UART1-DATABITS", kDataBits, kUart1),
    E(0x20520004, "CFG-UART1-PARITY", kParity, kUart1),
    L(0x10520005, "CFG-UART1-ENABLED", kUart1),
    U(0x40530001, "CFG-UART2-BAUDRATE", 1200, 921600, kUart2),
    E(0x20530002, "CFG-UART2-STOPBITS", kStopBits, kUart2),
    E(0x20530003, "CFG-UART2-DATABITS", kDataBits, kUart2),
    E(0x20530004, "CFG-UART2-PARITY", kParity, kUart2),
    L(0x10530005, "CFG-UART2-ENABLED", kUart2),
    L(0x10730001, "CFG-UART1INPROT-UBX", kUart1),
    L(0x10730002, "CFG-UART1INPROT-NMEA", kUart1),
    L(0x10740001, "CFG-UART1OUTPROT-UBX", kUart1),
    L(0x10740002, "CFG-UART1OUTPROT-NMEA", kUart1),
    L(0x10750001, "CFG-UART2INPROT-UBX", kUart2),
    L(0x10750002, "CFG-UART2INPROT-NMEA", kUart2),
    L(0x10760001, "CFG-UART2OUTPROT-UBX", kUart2),
    L(0x10760002, "CFG-UART2OUTPROT-NMEA", kUart2),
    L(0x10770001, "CFG-USBINPROT-UBX", kUsb),
    L(0x10770002, "CFG-USBINPROT-NMEA", kUsb),
    L(0x10780001, "CFG-USBOUTPROT-UBX", kUsb),
    L(0x10780002, "CFG-USBOUTPROT-NMEA", kUsb),
    U(0x30210001, "CFG-RATE-MEAS", 25, kU2Max),   // ms
    U(0x30210002, "CFG-RATE-NAV", 1, 127),        // measurements per solution
    E(0x20210003, "CFG-RATE-TIMEREF", kTimeRef),
    E(0x20050023, "CFG-TP-PULSE_DEF", Values({0, 1})),        // period, frequency
    E(0x20050030, "CFG-TP-PULSE_LENGTH_DEF", Values({0, 1})), // ratio, length
    U(0x40050002, "CFG-TP-PERIOD_TP1", 0, kU4Max),      // µs
    U(0x40050003, "CFG-TP-PERIOD_LOCK_TP1", 0, kU4Max), // µs
    U(0x40050004, "CFG-TP-LEN_TP1", 0, kU4Max),         // µs
    U(0x40050005, "CFG-TP-LEN_LOCK_TP1", 0, kU4Max),    // µs
    U(0x40050024, "CFG-TP-FREQ_TP1", 0, kU4Max),        // Hz
    U(0x40050025, "CFG-TP-FREQ_LOCK_TP1", 0, kU4Max),   // Hz
    R(0x5005002a, "CFG-TP-DUTY_TP1"),                   // %
    R(0x5005002b, "CFG-TP-DUTY_LOCK_TP1"),              // %
    L(0x10050007, "CFG-TP-TP1_ENA"),
    L(0x10050009, "CFG-TP-USE_LOCKED_TP1"),
    L(0x1005000a, "CFG-TP-ALIGN_TO_TOW_TP1"),
    L(0x1005000b, "CFG-TP-POL_TP1"),
    E(0x2005000c, "CFG-TP-TIMEGRID_TP1", Values({0, 1, 2, 3, 4, 5})), // as TIMEREF, 5 NavIC
    I(0x30050001, "CFG-TP-ANT_CABLEDELAY", kI2Min, kI2Max),           // ns
    I(0x40050006, "CFG-TP-USER_DELAY_TP1", kI4Min, kI4Max),           // ns
    E(0x20110011, "CFG-NAVSPG-FIXMODE", Values({1, 2, 3})),           // 2D, 3D, auto
    L(0x10110013, "CFG-NAVSPG-INIFIX3D"),
    E(0x2011001c, "CFG-NAVSPG-UTCSTANDARD", Values({0, 3, 5, 6, 7, 8})),
    // Platform models as in CFG-NAV5; 1 is unused, 11 and up are on few products.
    E(0x20110021, "CFG-NAVSPG-DYNMODEL", Values({0, 2, 3, 4, 5, 6, 7, 8, 9, 10})),
    U(0x201100a3, "CFG-NAVSPG-INFIL_MINCNO", 0, 255), // dBHz
    I(0x201100a4, "CFG-NAVSPG-INFIL_MINELEV", -90, 90), // deg
    U(0x301100b1, "CFG-NAVSPG-OUTFIL_PDOP", 0, kU2Max), // 0.1
    U(0x301100b2, "CFG-NAVSPG-OUTFIL_TDOP", 0, kU2Max), // 0.1
    U(0x301100b3, "CFG-NAVSPG-OUTFIL_PACC", 0, kU2Max), // m
    U(0x301100b4, "CFG-NAVSPG-OUTFIL_TACC", 0, kU2Max), // m
    I(0x401100c1, "CFG-NAVSPG-CONSTR_ALT", kI4Min, kI4Max), // 0.01 m
};

// Output rates (U1, per navigation solution; 0 off): one row a message, its
// items for I2C, UART1, UART2, USB and SPI.
struct MsgOutRow {
    MsgKey msg;
    const char* name;
    std::array<quint32, 5> ids;
};

constexpr MsgOutRow kMsgOut[] = {
    {Key(0x01, 0x02), "UBX_NAV_POSLLH", {0x20910029, 0x2091002a, 0x2091002b, 0x2091002c, 0x2091002d}},
    {Key(0x01, 0x21), "UBX_NAV_TIMEUTC", {0x2091005b, 0x2091005c, 0x2091005d, 0x2091005e, 0x2091005f}},
    {Key(0x01, 0x12), "UBX_NAV_VELNED", {0x20910042, 0x20910043, 0x20910044, 0x20910045, 0x20910046}},
    {Key(0x01, 0x07), "UBX_NAV_PVT", {0x20910006, 0x20910007, 0x20910008, 0x20910009, 0x2091000a}},
    {Key(0x02, 0x15), "UBX_RXM_RAWX", {0x209102a4, 0x209102a5, 0x209102a6, 0x209102a7, 0x209102a8}},
    {Key(0x02, 0x13), "UBX_RXM_SFRBX", {0x20910231, 0x20910232, 0x20910233, 0x20910234, 0x20910235}},
    {Key(0x02, 0x14), "UBX_RXM_MEASX", {0x20910204, 0x20910205, 0x20910206, 0x20910207, 0x20910208}},
    {Key(0xF0, 0x00), "NMEA_ID_GGA", {0x209100ba, 0x209100bb, 0x209100bc, 0x209100bd, 0x209100be}},
    {Key(0xF0, 0x01), "NMEA_ID_GLL", {0x209100c9, 0x209100ca, 0x209100cb, 0x209100cc, 0x209100cd}},
    {Key(0xF0, 0x02), "NMEA_ID_GSA", {0x209100bf, 0x209100c0, 0x209100c1, 0x209100c2, 0x209100c3}},
    {Key(0xF0, 0x03), "NMEA_ID_GSV", {0x209100c4, 0x209100c5, 0x209100c6, 0x209100c7, 0x209100c8}},
    {Key(0xF0, 0x04), "NMEA_ID_RMC", {0x209100ab, 0x209100ac, 0x209100ad, 0x209100ae, 0x209100af}},
    {Key(0xF0, 0x05), "NMEA_ID_VTG", {0x209100b0, 0x209100b1, 0x209100b2, 0x209100b3, 0x209100b4}},
};

constexpr KeyPort kMsgOutPorts[] = {KeyPort::I2c, KeyPort::Uart1, KeyPort::Uart2, KeyPort::Usb, KeyPort::Spi};
constexpr const char* kMsgOutPortNames[] = {"I2C", "UART1", "UART2", "USB", "SPI"};
constexpr MsgKey kRawx = Key(0x02, 0x15);
constexpr quint32 kAllItems = 0x0FFFFFFF;

bool Known(const KeyInfo& k, int generation)
{
    const bool oneUart = generation == 10;
    return !(oneUart && (k.port == KeyPort::Uart2 || k.port == KeyPort::Usb || k.rawMeasurement));
}

std::vector<KeyInfo> Build(int generation)
{
    std::vector<KeyInfo> keys;
    for (const Row& r : kItems)
        keys.push_back(KeyInfo{r.id, QString::fromLatin1(r.name), r.kind, r.low, r.high, r.allowed, r.port, 0, false});
    for (const MsgOutRow& m : kMsgOut)
        for (int p = 0; p < 5; ++p)
            keys.push_back(KeyInfo{m.ids[p],
                                   QStringLiteral("CFG-MSGOUT-%1_%2").arg(m.name, kMsgOutPortNames[p]),
                                   KeyKind::Unsigned, 0, 255, 0, kMsgOutPorts[p], m.msg, m.msg == kRawx});
    std::erase_if(keys, [generation](const KeyInfo& k) { return !Known(k, generation); });
    return keys;
}

} // namespace

int ValueBytes(quint32 id)
{
    switch ((id >> 28) & 0x7) {
    case 1: return 1; // one bit, sent as a byte
    case 2: return 1;
    case 3: return 2;
    case 4: return 4;
    case 5: return 8;
    default: return 0;
    }
}

const std::vector<KeyInfo>& KeysOf(int generation)
{
    static const std::vector<KeyInfo> nine = Build(9);
    static const std::vector<KeyInfo> ten = Build(10);
    return generation == 10 ? ten : nine;
}

const KeyInfo* FindKey(quint32 id, int generation)
{
    for (const KeyInfo& k : KeysOf(generation))
        if (k.id == id)
            return &k;
    return nullptr;
}

bool IsWildcard(quint32 id) { return id == kAllItems || (id & 0xFFFF) == 0xFFFF; }

std::vector<const KeyInfo*> KeysNamed(quint32 id, int generation)
{
    std::vector<const KeyInfo*> named;
    if (!IsWildcard(id)) {
        if (const KeyInfo* k = FindKey(id, generation))
            named.push_back(k);
        return named;
    }
    const quint32 group = (id >> 16) & 0xFF;
    for (const KeyInfo& k : KeysOf(generation))
        if (id == kAllItems || ((k.id >> 16) & 0xFF) == group)
            named.push_back(&k);
    return named;
}

bool ValueValid(const KeyInfo& key, quint64 value)
{
    const int bits = 8 * ValueBytes(key.id);
    switch (key.kind) {
    case KeyKind::Bool: return value <= 1;
    case KeyKind::Unsigned: return qint64(value) >= key.low && qint64(value) <= key.high;
    case KeyKind::Signed: {
        const qint64 v = bits < 64 && (value >> (bits - 1)) & 1 ? qint64(value) - (qint64(1) << bits) : qint64(value);
        return v >= key.low && v <= key.high;
    }
    case KeyKind::Enum: return value < 32 && (key.allowed >> value) & 1;
    case KeyKind::Real: return true;
    }
    return false;
}

quint32 MsgOutKey(MsgKey msg, int port)
{
    for (const MsgOutRow& m : kMsgOut)
        if (m.msg == msg && port >= 0 && port < 5)
            return m.ids[port];
    return 0;
}

} // namespace VarnexSim
