#pragma once

#include <QByteArray>
#include <QtGlobal>

// What sets one receiver generation apart: how it names itself, which
// configuration messages it takes, its factory rate and the factory blocks of
// the messages it adds. `generation` is ModelOptions::generation.
//
//  0  the unit the simulator has always been: MON-VER "7.03 (45969)",
//     "00040007", no extensions; takes CFG-PRT, CFG-MSG (2, 3, 6 and 8 bytes),
//     CFG-RATE, CFG-CFG, the 20-byte CFG-TP and the 28-byte CFG-NAV (0x06 0x03).
//     Of two answers where u-blox 6 units are not known, it is the one that
//     takes the older forms.
//  6  u-blox 6 (firmware 7.03), the same MON-VER. Takes CFG-PRT, CFG-MSG in its
//     2-byte poll, 3-byte (port the message came in on) and 8-byte (DDC, UART1,
//     UART2, USB, SPI, reserved) forms, CFG-RATE, CFG-CFG, CFG-TP, CFG-TP5 and
//     CFG-NAV5. Refuses with ACK-NAK the 28-byte 0x06 0x03 and the four-target
//     6-byte CFG-MSG: the other answer where u-blox 6 is not known. A CFG-MSG
//     poll replies in the 8-byte form. Factory rate 9600.
//  8  u-blox 8 (ROM CORE 3.01, protocol 18.00): as 6, and refuses CFG-TP too.
//  9  u-blox 9 (ZED-F9P, HPG 1.13, protocol 27.12): configured by key only.
//     The older set (CFG-PRT, CFG-MSG, CFG-RATE, CFG-TP, CFG-TP5, CFG-NAV5,
//     CFG-NAVX5, 0x06 0x03) is refused with ACK-NAK, set or polled: real units
//     still take most of it, deprecated, but a unit that does not keeps the
//     tool on the key path. Takes CFG-CFG and VALSET, VALGET, VALDEL over a key
//     store of RAM, BBR, Flash and Default layers. Factory rate 38400.
// 10  u-blox 10 (M10, SPG 5.10, protocol 34.10): as 9, with one UART (UART1)
//     and no USB: UART2 and USB items are unknown, and so are RXM-RAWX output
//     rates (raw measurements are not on most M10 parts). Factory rate 38400.
//
// A CFG-NAV5 field whose mask bit is clear is not applied (posMask covers
// pDop and pAcc, timeMask tDop and tAcc, posFixMode fixedAlt and
// fixedAltVar too); u-blox 6 does not apply utcStandard (protocol 16 and up).
// A poll reads mask 0xFFFF.
namespace VarnexSim {

inline bool HasKeyStore(int generation) { return generation >= 9; }

// MON-VER payload: software and hardware version, then the extension strings.
QByteArray MonVerPayload(int generation);

// The link port's rate at power-up when no flash holds another.
qint32 FactoryBaud(int generation);

// True when a unit of `generation` takes configuration message 0x06 `id` at
// all (its length is judged by the message's own handler).
bool Takes(int generation, quint8 id);

// CFG-NAV5 mask bits this generation applies.
quint16 Nav5AppliedMask(int generation);
// Highest CFG-NAV5 platform model this generation knows.
int Nav5HighestDynModel(int generation);

// CFG-NAV5 as shipped: portable, 2D/3D, the usual masks (36 bytes).
QByteArray FactoryNav5();
// CFG-TP5 of time pulse `tpIdx` as shipped: 1 s period, 100 ms pulse, rising,
// aligned to the second; the second pulse off (32 bytes).
QByteArray FactoryTp5(int tpIdx, int generation);
// The CFG-TP5 version byte a unit of this generation writes.
quint8 Tp5Version(int generation);

} // namespace VarnexSim
