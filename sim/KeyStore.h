#pragma once

#include "ReceiverConfig.h"

#include <QString>

#include <map>

// The configuration of a key-value unit (u-blox 9 and 10) in its layers.
// RAM is the running configuration and holds every item; BBR and Flash hold
// only what was written to them, and survive a power cycle; Default is the
// factory's and read-only. Each item of RAM at power-up or on a load comes
// from the highest layer that holds it: BBR, then Flash, then Default.
namespace VarnexSim {

// An item's value as its raw little-endian bits, of the size its id names.
using KeyValues = std::map<quint32, quint64>;

// VALGET's layer numbers.
enum class KeyLayer : quint8 { Ram = 0, Bbr = 1, Flash = 2, Default = 7 };
// VALSET's and VALDEL's layer bits.
inline constexpr quint8 kRamBit = 0x01;
inline constexpr quint8 kBbrBit = 0x02;
inline constexpr quint8 kFlashBit = 0x04;

// One item's value bound for the layers whose bits are set in `layers`.
struct KeyWrite {
    quint32 id;
    quint64 value;
    quint8 layers;
};

struct KeyStore {
    KeyValues ram;
    KeyValues bbr;
    KeyValues flash;
};

// Factory values of every item a unit of `generation` knows: UART1 (and
// UART2) at 38400 8N1 with UBX and NMEA in and out, NMEA GGA, GLL, GSA, GSV,
// RMC and VTG at every solution on UART1 (and USB on u-blox 9), one
// measurement a second, a 1 s time pulse of 100 ms, portable dynamics and
// automatic 2D/3D fixes.
KeyValues DefaultKeys(int generation);

// Each item from the highest of the layers that holds it. Values written to
// BBR or Flash alone were never checked: one that is not valid is passed
// over for the next layer's.
KeyValues Merged(const KeyValues& bbr, const KeyValues& flash, const KeyValues& defaults);

// What the items say of the running configuration, written over `config`:
// the UARTs' rates, each port's protocols in and out, the output rate of each
// message on ports 0..3, and the solution rate.
void ApplyKeys(const KeyValues& items, ReceiverConfig& config);
// The items that say what `config` holds (the inverse of ApplyKeys), for the
// items `generation` knows.
void ConfigIntoKeys(const ReceiverConfig& config, int generation, KeyValues& items);

// The BBR and Flash layers as a JSON file meant to be read by people: each
// item by id and name, its value in hex.
bool SaveKeyImage(const QString& path, const KeyStore& store, int generation, QString& error);
bool LoadKeyImage(const QString& path, KeyStore& store, QString& error);

} // namespace VarnexSim
