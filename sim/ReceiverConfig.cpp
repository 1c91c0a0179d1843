#include "ReceiverConfig.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace VarnexSim {
namespace {

struct NamedMessage {
    MsgKey key;
    const char* name;
};

constexpr NamedMessage kNames[] = {
    {Key(0x01, 0x02), "NAV-POSLLH"}, {Key(0x01, 0x12), "NAV-VELNED"},
    {Key(0x01, 0x21), "NAV-TIMEUTC"}, {Key(0x02, 0x10), "RXM-RAW"},
    {Key(0x02, 0x11), "RXM-SFRB"},   {Key(0xF0, 0x00), "NMEA GGA"},
    {Key(0xF0, 0x01), "NMEA GLL"},   {Key(0xF0, 0x02), "NMEA GSA"},
    {Key(0xF0, 0x03), "NMEA GSV"},   {Key(0xF0, 0x04), "NMEA RMC"},
    {Key(0xF0, 0x05), "NMEA VTG"},   {Key(0xF0, 0x06), "NMEA GRS"},
    {Key(0xF0, 0x07), "NMEA GST"},   {Key(0xF0, 0x08), "NMEA ZDA"},
    {Key(0x01, 0x07), "NAV-PVT"},    {Key(0x01, 0x35), "NAV-SAT"},
    {Key(0x02, 0x15), "RXM-RAWX"},
};

// Navigation engine settings as shipped: portable dynamics, 3D fix with 2D
// fallback, the usual elevation and DOP masks.
const char kFactoryNav[] = "03030a181c05003c3c14e80300000007fa00fa0064002c010f000000";
// Time pulse as shipped: 1 s interval, 100 ms length, rising edge, UTC aligned,
// 50 ns cable delay.
const char kFactoryTp[] = "40420f00a0860100010000003200000000000000";

QString KeyText(MsgKey key)
{
    return QStringLiteral("%1 %2").arg(key >> 8, 2, 16, QChar('0')).arg(key & 0xFF, 2, 16, QChar('0')).toUpper();
}

bool ParseKey(const QString& text, MsgKey& key)
{
    const QStringList parts = text.split(' ', Qt::SkipEmptyParts);
    bool ok1 = false;
    bool ok2 = false;
    if (parts.size() != 2)
        return false;
    const uint cls = parts[0].toUInt(&ok1, 16);
    const uint id = parts[1].toUInt(&ok2, 16);
    key = Key(quint8(cls), quint8(id));
    return ok1 && ok2 && cls < 256 && id < 256;
}

QJsonObject PortToJson(int index, const PortSettings& p)
{
    return QJsonObject{
        {"port", index},
        {"baud", p.baud},
        {"mode", QStringLiteral("0x%1").arg(p.mode, 8, 16, QChar('0'))},
        {"inProtoMask", p.inProtoMask},
        {"outProtoMask", p.outProtoMask},
        {"flags", p.flags},
    };
}

PortSettings PortFromJson(const QJsonObject& o)
{
    PortSettings p;
    p.baud = o.value("baud").toInt(p.baud);
    p.mode = o.value("mode").toString().toUInt(nullptr, 16);
    p.inProtoMask = quint16(o.value("inProtoMask").toInt(p.inProtoMask));
    p.outProtoMask = quint16(o.value("outProtoMask").toInt(p.outProtoMask));
    p.flags = quint16(o.value("flags").toInt(0));
    return p;
}

} // namespace

quint8 ReceiverConfig::Rate(MsgKey key, int port) const
{
    const auto it = msgRates.find(key);
    if (it == msgRates.end() || port < 0 || port >= kPortCount)
        return 0;
    return it->second[port];
}

void ReceiverConfig::SetRate(MsgKey key, int port, quint8 rate)
{
    if (port < 0 || port >= kPortCount)
        return;
    msgRates[key][port] = rate;
}

ReceiverConfig FactoryDefaults()
{
    ReceiverConfig c;
    c.ports[kDdcPort].mode = kDdcMode;
    c.ports[kUsbPort].mode = 0;
    for (quint8 id = 0; id <= 5; ++id)
        c.msgRates[Key(0xF0, id)] = {0, 1, 0, 1};
    c.cfgNav = QByteArray::fromHex(kFactoryNav);
    c.cfgTp = QByteArray::fromHex(kFactoryTp);
    c.timeRef = 1; // GPS time
    return c;
}

QString MessageName(MsgKey key)
{
    for (const auto& n : kNames)
        if (n.key == key)
            return QString::fromLatin1(n.name);
    return {};
}

QByteArray ConfigToJson(const ReceiverConfig& c)
{
    QJsonArray ports;
    for (int i = 0; i < kPortCount; ++i)
        ports.append(PortToJson(i, c.ports[i]));
    QJsonArray rates;
    for (const auto& [key, r] : c.msgRates) {
        rates.append(QJsonObject{
            {"msg", KeyText(key)},
            {"name", MessageName(key)},
            {"rates", QJsonArray{r[0], r[1], r[2], r[3]}},
        });
    }
    QJsonObject root{
        {"ports", ports},
        {"measRateMs", c.measRateMs},
        {"navRate", c.navRate},
        {"timeRef", c.timeRef},
        {"msgRates", rates},
        {"cfgNav", QString::fromLatin1(c.cfgNav.toHex(' '))},
        {"cfgTp", QString::fromLatin1(c.cfgTp.toHex(' '))},
    };
    if (!c.cfgNav5.isEmpty())
        root.insert("cfgNav5", QString::fromLatin1(c.cfgNav5.toHex(' ')));
    if (!c.cfgTp5[0].isEmpty())
        root.insert("cfgTp5", QJsonArray{QString::fromLatin1(c.cfgTp5[0].toHex(' ')),
                                         QString::fromLatin1(c.cfgTp5[1].toHex(' '))});
    if (!c.spiRates.empty()) {
        QJsonObject spi;
        for (const auto& [key, rate] : c.spiRates)
            spi.insert(KeyText(key), rate);
        root.insert("spiRates", spi);
    }
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

bool ConfigFromJson(const QByteArray& json, ReceiverConfig& out, QString& error)
{
    QJsonParseError perr;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &perr);
    if (!doc.isObject()) {
        error = QStringLiteral("flash image is not a JSON object: %1").arg(perr.errorString());
        return false;
    }
    const QJsonObject root = doc.object();
    ReceiverConfig c = FactoryDefaults();
    c.msgRates.clear();
    const QJsonArray ports = root.value("ports").toArray();
    for (const auto& v : ports) {
        const int index = v.toObject().value("port").toInt(-1);
        if (index >= 0 && index < kPortCount)
            c.ports[index] = PortFromJson(v.toObject());
    }
    c.measRateMs = quint16(root.value("measRateMs").toInt(c.measRateMs));
    c.navRate = quint16(root.value("navRate").toInt(c.navRate));
    c.timeRef = quint16(root.value("timeRef").toInt(c.timeRef));
    for (const auto& v : root.value("msgRates").toArray()) {
        const QJsonObject o = v.toObject();
        MsgKey key = 0;
        if (!ParseKey(o.value("msg").toString(), key)) {
            error = QStringLiteral("bad message key \"%1\"").arg(o.value("msg").toString());
            return false;
        }
        const QJsonArray r = o.value("rates").toArray();
        for (int i = 0; i < kPortCount && i < r.size(); ++i)
            c.msgRates[key][i] = quint8(r[i].toInt());
    }
    c.cfgNav = QByteArray::fromHex(root.value("cfgNav").toString().toLatin1());
    c.cfgTp = QByteArray::fromHex(root.value("cfgTp").toString().toLatin1());
    c.cfgNav5 = QByteArray::fromHex(root.value("cfgNav5").toString().toLatin1());
    const QJsonArray tp5 = root.value("cfgTp5").toArray();
    for (int i = 0; i < 2 && i < tp5.size(); ++i)
        c.cfgTp5[i] = QByteArray::fromHex(tp5[i].toString().toLatin1());
    const QJsonObject spi = root.value("spiRates").toObject();
    for (auto it = spi.begin(); it != spi.end(); ++it) {
        MsgKey key = 0;
        if (!ParseKey(it.key(), key)) {
            error = QStringLiteral("bad message key \"%1\"").arg(it.key());
            return false;
        }
        c.spiRates[key] = quint8(it.value().toInt());
    }
    out = c;
    return true;
}

bool SaveConfigFile(const QString& path, const ReceiverConfig& config, QString& error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(ConfigToJson(config)) < 0 || !file.commit()) {
        error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

bool LoadConfigFile(const QString& path, ReceiverConfig& config, QString& error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    return ConfigFromJson(file.readAll(), config, error);
}

} // namespace VarnexSim
