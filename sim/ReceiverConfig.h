#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <map>

// The receiver's configuration, as held in its running memory and in flash.
namespace VarnexSim {

inline constexpr int kPortCount = 4;

// One receiver port. DDC (0) and USB (3) have no rate: a poll reads 0 there,
// DDC's mode holds its bus address and USB's is reserved. `baud` is still
// kept for them, as the rate the model's line runs at when the PC is wired
// to one of them.
inline constexpr int kDdcPort = 0;
inline constexpr int kUsbPort = 3;
inline constexpr quint32 kDdcMode = 0x42 << 1; // bus address 0x42 in bits 1..7
inline bool IsUart(int port) { return port == 1 || port == 2; }
// The rate the model's line runs at when the PC is on USB: no UART paces it,
// and the PC hears it whatever rate its own port is set to.
inline constexpr qint32 kUsbLineBaud = 12000000;

struct PortSettings {
    qint32 baud = 9600;
    quint32 mode = 0x08C0;     // UART: 8 data bits, no parity, 1 stop bit
    quint16 inProtoMask = 0x0003;  // UBX and NMEA
    quint16 outProtoMask = 0x0003; // UBX and NMEA
    quint16 flags = 0;
    bool operator==(const PortSettings&) const = default;
};

// A message's class and id packed as class << 8 | id, the key of the rate table.
using MsgKey = quint16;
constexpr MsgKey Key(quint8 cls, quint8 id) { return MsgKey(cls << 8 | id); }

struct ReceiverConfig {
    std::array<PortSettings, kPortCount> ports;
    quint16 measRateMs = 1000;
    quint16 navRate = 1;
    quint16 timeRef = 0;
    // Output rate of each message on ports 0..3: 0 = off, n = every n-th solution.
    std::map<MsgKey, std::array<quint8, kPortCount>> msgRates;
    QByteArray cfgNav; // CFG-NAV payload, 28 bytes
    QByteArray cfgTp;  // CFG-TP payload, 20 bytes
    // Held by units that take them (u-blox 6 and 8), empty on the others.
    QByteArray cfgNav5;               // CFG-NAV5 payload, 36 bytes
    std::array<QByteArray, 2> cfgTp5; // CFG-TP5 payload of each time pulse, 32 bytes
    std::map<MsgKey, quint8> spiRates; // output rate on SPI, the fifth target of the 8-byte CFG-MSG

    quint8 Rate(MsgKey key, int port) const;
    void SetRate(MsgKey key, int port, quint8 rate);
    bool operator==(const ReceiverConfig&) const = default;
};

// Settings of a receiver fresh from the factory: every port at 9600 bit/s,
// one solution a second, the six basic NMEA sentences on ports 1 and 3.
ReceiverConfig FactoryDefaults();

// The flash image is a JSON file meant to be read by people: rates in decimal,
// messages by name, the opaque CFG-NAV and CFG-TP blocks as hex.
QByteArray ConfigToJson(const ReceiverConfig& config);
bool ConfigFromJson(const QByteArray& json, ReceiverConfig& config, QString& error);
bool SaveConfigFile(const QString& path, const ReceiverConfig& config, QString& error);
bool LoadConfigFile(const QString& path, ReceiverConfig& config, QString& error);

// Human name of a message ("NMEA GGA", "NAV-POSLLH"), or "" when unknown.
QString MessageName(MsgKey key);

} // namespace VarnexSim
