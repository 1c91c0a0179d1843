#pragma once

#include "ReceiverConfig.h"

#include <QByteArray>
#include <QDateTime>

// What the receiver says at each navigation solution: a fixed position,
// a still antenna and a clock that advances with the solutions.
namespace VarnexSim {

struct NavSolution {
    QDateTime utc;  // time of the solution, UTC, millisecond resolution
};

// XOR of the characters between '$' and '*', the NMEA checksum.
quint8 NmeaChecksum(const QByteArray& body);
// "$" + body + "*hh\r\n".
QByteArray NmeaSentence(const QByteArray& body);

// The output of one periodic message at `fix`: one NMEA sentence (GSV: all of
// its sentences) or one UBX frame. Empty for a message the receiver does not output.
QByteArray PeriodicMessage(MsgKey key, const NavSolution& fix);

// Messages that can be output periodically, in the order the receiver sends
// them within one solution.
const std::array<MsgKey, 14>& PeriodicMessages();

// Messages of a later receiver generation that a busy unit sends besides its
// configured output (NAV-PVT, NAV-SAT, RXM-RAWX), in the order it sends them.
const std::array<MsgKey, 3>& BusyMessages();

// UTC of the first solution after power-up.
QDateTime FirstSolutionUtc();

} // namespace VarnexSim
