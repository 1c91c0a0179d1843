#include "KeyStore.h"

#include "KeyTable.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <bit>

namespace VarnexSim {
namespace {

struct Factory {
    quint32 id;
    quint64 value;
};

// Factory values other than 0; items not named here are 0 at the factory.
constexpr Factory kFactory[] = {
    {kUart1Baudrate, 38400},
    {0x20520002, 1},     // CFG-UART1-STOPBITS: one
    {0x10520005, 1},     // CFG-UART1-ENABLED
    {kUart2Baudrate, 38400},
    {0x20530002, 1},     // CFG-UART2-STOPBITS: one
    {0x10530005, 1},     // CFG-UART2-ENABLED
    {kRateMeas, 1000},   // ms
    {kRateNav, 1},
    {kRateTimeRef, 1},   // GPS time
    {0x20050030, 1},     // CFG-TP-PULSE_LENGTH_DEF: length
    {0x40050002, 1000000}, // CFG-TP-PERIOD_TP1, µs
    {0x40050003, 1000000}, // CFG-TP-PERIOD_LOCK_TP1, µs
    {0x40050004, 100000},  // CFG-TP-LEN_TP1, µs
    {0x40050005, 100000},  // CFG-TP-LEN_LOCK_TP1, µs
    {0x40050024, 1},       // CFG-TP-FREQ_TP1, Hz
    {0x40050025, 1},       // CFG-TP-FREQ_LOCK_TP1, Hz
    {0x5005002b, std::bit_cast<quint64>(50.0)}, // CFG-TP-DUTY_LOCK_TP1, %
    {0x10050007, 1},     // CFG-TP-TP1_ENA
    {0x10050009, 1},     // CFG-TP-USE_LOCKED_TP1
    {0x1005000a, 1},     // CFG-TP-ALIGN_TO_TOW_TP1
    {0x1005000b, 1},     // CFG-TP-POL_TP1
    {0x30050001, 50},    // CFG-TP-ANT_CABLEDELAY, ns
    {0x20110011, 3},     // CFG-NAVSPG-FIXMODE: auto 2D/3D
    {0x201100a3, 6},     // CFG-NAVSPG-INFIL_MINCNO, dBHz
    {0x201100a4, 10},    // CFG-NAVSPG-INFIL_MINELEV, deg
    {0x301100b1, 250},   // CFG-NAVSPG-OUTFIL_PDOP, 25.0
    {0x301100b2, 250},   // CFG-NAVSPG-OUTFIL_TDOP, 25.0
    {0x301100b3, 100},   // CFG-NAVSPG-OUTFIL_PACC, m
    {0x301100b4, 350},   // CFG-NAVSPG-OUTFIL_TACC, m
};

// NMEA GGA, GLL, GSA, GSV, RMC and VTG.
constexpr quint8 kFactoryNmea[] = {0x00, 0x01, 0x02, 0x03, 0x04, 0x05};

int ModelPort(KeyPort port)
{
    switch (port) {
    case KeyPort::I2c: return 0;
    case KeyPort::Uart1: return 1;
    case KeyPort::Uart2: return 2;
    case KeyPort::Usb: return 3;
    default: return -1;
    }
}

quint16 Protocols(const KeyValues& items, quint32 ubx, quint32 nmea, quint16 mask)
{
    if (items.count(ubx))
        mask = quint16((mask & ~0x0001) | (items.at(ubx) ? 0x0001 : 0));
    if (items.count(nmea))
        mask = quint16((mask & ~0x0002) | (items.at(nmea) ? 0x0002 : 0));
    return mask;
}

QJsonArray LayerToJson(const KeyValues& layer, int generation)
{
    QJsonArray items;
    for (const auto& [id, value] : layer) {
        const KeyInfo* k = FindKey(id, generation);
        items.append(QJsonObject{
            {"key", QStringLiteral("0x%1").arg(id, 8, 16, QChar('0'))},
            {"name", k ? k->name : QString()},
            {"value", QStringLiteral("0x%1").arg(value, 2 * ValueBytes(id), 16, QChar('0'))},
        });
    }
    return items;
}

bool LayerFromJson(const QJsonValue& v, KeyValues& layer, QString& error)
{
    layer.clear();
    for (const auto& item : v.toArray()) {
        const QJsonObject o = item.toObject();
        bool okKey = false;
        bool okValue = false;
        const quint32 id = o.value("key").toString().toUInt(&okKey, 16);
        const quint64 value = o.value("value").toString().toULongLong(&okValue, 16);
        if (!okKey || !okValue) {
            error = QStringLiteral("bad item \"%1\"").arg(o.value("key").toString());
            return false;
        }
        layer[id] = value;
    }
    return true;
}

} // namespace

KeyValues DefaultKeys(int generation)
{
    KeyValues items;
    for (const KeyInfo& k : KeysOf(generation))
        items[k.id] = 0;
    for (const Factory& f : kFactory)
        if (items.count(f.id))
            items[f.id] = f.value;
    for (const ProtocolItems& p : kProtocolItems)
        for (quint32 id : {p.inUbx, p.inNmea, p.outUbx, p.outNmea})
            if (items.count(id))
                items[id] = 1;
    for (quint8 id : kFactoryNmea)
        for (int port : {1, 3})
            if (const quint32 key = MsgOutKey(Key(0xF0, id), port); FindKey(key, generation))
                items[key] = 1;
    return items;
}

KeyValues Merged(const KeyValues& bbr, const KeyValues& flash, const KeyValues& defaults)
{
    KeyValues items = defaults;
    for (const KeyValues* layer : {&flash, &bbr})
        for (const auto& [id, value] : *layer) {
            const KeyInfo* k = FindKey(id, 9); // every item any generation knows
            if (k && ValueValid(*k, value))
                items[id] = value;
        }
    return items;
}

void ApplyKeys(const KeyValues& items, ReceiverConfig& config)
{
    if (items.count(kUart1Baudrate))
        config.ports[1].baud = qint32(items.at(kUart1Baudrate));
    if (items.count(kUart2Baudrate))
        config.ports[2].baud = qint32(items.at(kUart2Baudrate));
    for (const ProtocolItems& p : kProtocolItems) {
        PortSettings& s = config.ports[p.port];
        s.inProtoMask = Protocols(items, p.inUbx, p.inNmea, s.inProtoMask);
        s.outProtoMask = Protocols(items, p.outUbx, p.outNmea, s.outProtoMask);
    }
    if (items.count(kRateMeas))
        config.measRateMs = quint16(items.at(kRateMeas));
    if (items.count(kRateNav))
        config.navRate = quint16(items.at(kRateNav));
    if (items.count(kRateTimeRef))
        config.timeRef = quint16(items.at(kRateTimeRef));
    for (const auto& [id, value] : items) {
        const KeyInfo* k = FindKey(id, 9);
        if (k && k->msg != 0 && ModelPort(k->port) >= 0)
            config.SetRate(k->msg, ModelPort(k->port), quint8(value));
    }
}

void ConfigIntoKeys(const ReceiverConfig& config, int generation, KeyValues& items)
{
    const auto set = [&](quint32 id, quint64 value) {
        if (FindKey(id, generation))
            items[id] = value;
    };
    set(kUart1Baudrate, quint64(config.ports[1].baud));
    set(kUart2Baudrate, quint64(config.ports[2].baud));
    for (const ProtocolItems& p : kProtocolItems) {
        const PortSettings& s = config.ports[p.port];
        set(p.inUbx, s.inProtoMask & 0x0001 ? 1 : 0);
        set(p.inNmea, s.inProtoMask & 0x0002 ? 1 : 0);
        set(p.outUbx, s.outProtoMask & 0x0001 ? 1 : 0);
        set(p.outNmea, s.outProtoMask & 0x0002 ? 1 : 0);
    }
    set(kRateMeas, config.measRateMs);
    set(kRateNav, config.navRate);
    set(kRateTimeRef, config.timeRef);
    for (const KeyInfo& k : KeysOf(generation))
        if (k.msg != 0 && ModelPort(k.port) >= 0)
            items[k.id] = config.Rate(k.msg, ModelPort(k.port));
}

bool SaveKeyImage(const QString& path, const KeyStore& store, int generation, QString& error)
{
    const QJsonObject root{
        {"generation", generation},
        {"bbr", LayerToJson(store.bbr, generation)},
        {"flash", LayerToJson(store.flash, generation)},
    };
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(root).toJson(QJsonDocument::Indented)) < 0 ||
        !file.commit()) {
        error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

bool LoadKeyImage(const QString& path, KeyStore& store, QString& error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    QJsonParseError perr;
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &perr);
    if (!doc.isObject() || !doc.object().contains("flash")) {
        error = QStringLiteral("%1 holds no key layers").arg(path);
        return false;
    }
    KeyStore loaded;
    if (!LayerFromJson(doc.object().value("bbr"), loaded.bbr, error) ||
        !LayerFromJson(doc.object().value("flash"), loaded.flash, error))
        return false;
    store.bbr = loaded.bbr;
    store.flash = loaded.flash;
    return true;
}

} // namespace VarnexSim
