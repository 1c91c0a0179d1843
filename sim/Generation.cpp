#include "Generation.h"

#include <initializer_list>

namespace VarnexSim {
namespace {

// A zero-padded text field of MON-VER.
QByteArray Padded(const char* text, int size)
{
    QByteArray field(text);
    field.resize(size, '\0');
    return field;
}

QByteArray MonVer(const char* sw, const char* hw, std::initializer_list<const char*> extensions)
{
    QByteArray p = Padded(sw, 30) + Padded(hw, 10);
    for (const char* e : extensions)
        p += Padded(e, 30);
    return p;
}

// Which configuration messages (class 0x06) each generation takes.
struct Taken {
    quint8 id;
    const char* name;
    bool u6, u8, u9, u10;
};

constexpr Taken kTaken[] = {
    //  id    name          u6     u8     u9     u10
    {0x00, "CFG-PRT",    true,  true,  false, false},
    {0x01, "CFG-MSG",    true,  true,  false, false},
    {0x03, "CFG-NAV",    false, false, false, false},
    {0x07, "CFG-TP",     true,  false, false, false},
    {0x08, "CFG-RATE",   true,  true,  false, false},
    {0x09, "CFG-CFG",    true,  true,  true,  true},
    {0x23, "CFG-NAVX5",  false, false, false, false},
    {0x24, "CFG-NAV5",   true,  true,  false, false},
    {0x31, "CFG-TP5",    true,  true,  false, false},
    {0x8A, "CFG-VALSET", false, false, true,  true},
    {0x8B, "CFG-VALGET", false, false, true,  true},
    {0x8C, "CFG-VALDEL", false, false, true,  true},
};

} // namespace

QByteArray MonVerPayload(int generation)
{
    switch (generation) {
    case 8:
        return MonVer("ROM CORE 3.01 (107888)", "00080000",
                      {"FWVER=SPG 3.01", "PROTVER=18.00", "GPS;GLO;GAL;BDS", "SBAS;IMES;QZSS"});
    case 9:
        return MonVer("EXT CORE 1.00 (f10c36)", "00190000",
                      {"ROM BASE 0x118B2060", "FWVER=HPG 1.13", "PROTVER=27.12", "MOD=ZED-F9P", "GPS;GLO;GAL;BDS",
                       "SBAS;QZSS"});
    case 10:
        return MonVer("ROM SPG 5.10 (7b202e)", "000A0000",
                      {"FWVER=SPG 5.10", "PROTVER=34.10", "GPS;GLO;GAL;BDS", "SBAS;QZSS"});
    default: return MonVer("7.03 (45969)", "00040007", {});
    }
}

qint32 FactoryBaud(int generation) { return HasKeyStore(generation) ? 38400 : 9600; }

bool Takes(int generation, quint8 id)
{
    // The original unit knows the older set only: the later generations'
    // messages are unknown to it, as they always were.
    if (generation == 0)
        return id != 0x24 && id != 0x31 && (id < 0x8A || id > 0x8C);
    for (const Taken& t : kTaken)
        if (t.id == id) {
            switch (generation) {
            case 6: return t.u6;
            case 8: return t.u8;
            case 9: return t.u9;
            default: return t.u10;
            }
        }
    return false;
}

quint16 Nav5AppliedMask(int generation)
{
    // bits 0..8: dyn, minEl, posFixMode, drLim, posMask, timeMask,
    // staticHoldMask, dgpsMask, cnoThreshold; bit 10: utc
    return generation == 6 ? 0x01FF : 0x05FF;
}

// 8: wrist-worn (9) needs protocol 18; bike (10) needs 19.2.
int Nav5HighestDynModel(int generation) { return generation == 6 ? 8 : 9; }

QByteArray FactoryNav5()
{
    return QByteArray::fromHex("ffff"       // mask
                               "00"         // dynModel: portable
                               "03"         // fixMode: auto 2D/3D
                               "00000000"   // fixedAlt, 0.01 m
                               "10270000"   // fixedAltVar, 1 m²
                               "05"         // minElev, deg
                               "00"         // drLimit, s
                               "fa00fa00"   // pDop, tDop: 25.0
                               "64005e01"   // pAcc 100 m, tAcc 350 m
                               "00"         // staticHoldThresh, cm/s
                               "3c"         // dgnssTimeOut, 60 s
                               "0000"       // cnoThreshNumSVs, cnoThresh
                               "0000"       // reserved
                               "0000"       // staticHoldMaxDist, m
                               "00"         // utcStandard: automatic
                               "0000000000" // reserved
    );
}

quint8 Tp5Version(int generation) { return generation == 6 ? 0x00 : 0x01; }

QByteArray FactoryTp5(int tpIdx, int generation)
{
    QByteArray p = QByteArray::fromHex("00"        // tpIdx
                                       "00"        // version
                                       "0000"      // reserved
                                       "3200"      // antCableDelay, 50 ns
                                       "0000"      // rfGroupDelay, ns
                                       "40420f00"  // freqPeriod, 1 000 000 µs
                                       "40420f00"  // freqPeriodLock
                                       "a0860100"  // pulseLenRatio, 100 000 µs
                                       "a0860100"  // pulseLenRatioLock
                                       "00000000"  // userConfigDelay, ns
                                       "73000000"  // active, lockGnssFreq, isLength, alignToTow, rising
    );
    p[0] = char(tpIdx);
    p[1] = char(Tp5Version(generation));
    if (tpIdx != 0) {
        p[28] = char(0x72); // the second pulse not active
        for (int i = 16; i < 20; ++i)
            p[i] = 0; // and no pulse until locked
    }
    return p;
}

} // namespace VarnexSim
