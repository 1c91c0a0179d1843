#include "NavOutput.h"

#include "UbxCodec.h"

#include <QTimeZone>

#include <cmath>
#include <cstring>

namespace VarnexSim {
namespace {

// A fixed antenna on a roof: 52°12.318' N, 0°07.308' E, 15.3 m above sea level.
constexpr double kLatDeg = 52.2053;
constexpr double kLonDeg = 0.1218;
constexpr double kAltMsl = 15.3;
constexpr double kGeoidSep = 45.7;
constexpr int kLeapSeconds = 15; // GPS minus UTC in the years this receiver was sold

struct Satellite {
    int prn;
    int elevation;
    int azimuth;
    int cno;
};

constexpr Satellite kSky[] = {
    {2, 45, 120, 42}, {5, 30, 60, 38}, {10, 67, 300, 45}, {13, 12, 200, 31},
    {15, 55, 250, 44}, {18, 20, 30, 35}, {21, 38, 160, 40}, {26, 8, 90, 28},
};

QByteArray Num(double v, int decimals) { return QByteArray::number(v, 'f', decimals); }

QByteArray UtcField(const QDateTime& t)
{
    const QTime tm = t.time();
    return QString::asprintf("%02d%02d%02d.%02d", tm.hour(), tm.minute(), tm.second(), tm.msec() / 10).toLatin1();
}

// ddmm.mmmmm for latitude (3-digit degrees for longitude).
QByteArray AngleField(double deg, int degDigits)
{
    const int whole = int(deg);
    const double minutes = (deg - whole) * 60.0;
    return QString::asprintf("%0*d%08.5f", degDigits, whole, minutes).toLatin1();
}

QByteArray LatLon()
{
    return AngleField(kLatDeg, 2) + ",N," + AngleField(kLonDeg, 3) + ",E";
}

QByteArray Gga(const NavSolution& f)
{
    return "GPGGA," + UtcField(f.utc) + "," + LatLon() + ",1,08,1.01," + Num(kAltMsl, 1) + ",M," +
           Num(kGeoidSep, 1) + ",M,,";
}

QByteArray Gll(const NavSolution& f) { return "GPGLL," + LatLon() + "," + UtcField(f.utc) + ",A,A"; }

QByteArray Gsa(const NavSolution&)
{
    QByteArray body = "GPGSA,A,3";
    for (int i = 0; i < 12; ++i)
        body += i < 8 ? "," + QString::asprintf("%02d", kSky[i].prn).toLatin1() : QByteArray(",");
    return body + ",1.85,1.01,1.55";
}

QByteArray Gsv(const NavSolution&)
{
    QByteArray out;
    for (int s = 0; s < 2; ++s) {
        QByteArray body = "GPGSV,2," + QByteArray::number(s + 1) + ",08";
        for (int i = 4 * s; i < 4 * s + 4; ++i)
            body += QString::asprintf(",%02d,%02d,%03d,%02d", kSky[i].prn, kSky[i].elevation, kSky[i].azimuth,
                                      kSky[i].cno).toLatin1();
        out += NmeaSentence(body);
    }
    return out;
}

QByteArray Rmc(const NavSolution& f)
{
    return "GPRMC," + UtcField(f.utc) + ",A," + LatLon() + ",0.012,," + f.utc.date().toString("ddMMyy").toLatin1() +
           ",,,A";
}

QByteArray Vtg(const NavSolution&) { return "GPVTG,,T,,M,0.012,N,0.022,K,A"; }

QByteArray Grs(const NavSolution& f)
{
    return "GPGRS," + UtcField(f.utc) + ",1,-0.2,0.4,0.1,-0.3,0.5,-0.1,0.2,-0.4,,,,";
}

QByteArray Gst(const NavSolution& f) { return "GPGST," + UtcField(f.utc) + ",8.4,,,,2.1,1.6,3.3"; }

QByteArray Zda(const NavSolution& f)
{
    const QDate d = f.utc.date();
    return "GPZDA," + UtcField(f.utc) + QString::asprintf(",%02d,%02d,%04d,00,00", d.day(), d.month(), d.year()).toLatin1();
}

void Put(QByteArray& p, qint64 v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        p.append(char((v >> (8 * i)) & 0xFF));
}

void PutDouble(QByteArray& p, double v)
{
    qint64 bits = 0;
    std::memcpy(&bits, &v, sizeof bits);
    Put(p, bits, 8);
}

void PutFloat(QByteArray& p, float v)
{
    qint32 bits = 0;
    std::memcpy(&bits, &v, sizeof bits);
    Put(p, bits, 4);
}

// GPS week and time of week (ms) of a UTC instant.
std::pair<int, qint64> GpsTime(const QDateTime& utc)
{
    const QDateTime gpsEpoch(QDate(1980, 1, 6), QTime(0, 0), QTimeZone::utc());
    const qint64 ms = gpsEpoch.msecsTo(utc) + kLeapSeconds * 1000LL;
    constexpr qint64 kWeekMs = 7LL * 24 * 3600 * 1000;
    return {int(ms / kWeekMs), ms % kWeekMs};
}

QByteArray NavPosLlh(const NavSolution& f)
{
    QByteArray p;
    Put(p, GpsTime(f.utc).second, 4);                      // iTOW, ms
    Put(p, qint64(std::lround(kLonDeg * 1e7)), 4);          // lon, 1e-7 deg
    Put(p, qint64(std::lround(kLatDeg * 1e7)), 4);          // lat, 1e-7 deg
    Put(p, qint64(std::lround((kAltMsl + kGeoidSep) * 1000)), 4); // height above ellipsoid, mm
    Put(p, qint64(std::lround(kAltMsl * 1000)), 4);         // height above sea level, mm
    Put(p, 2100, 4);                                        // horizontal accuracy, mm
    Put(p, 3300, 4);                                        // vertical accuracy, mm
    return EncodeUbx(0x01, 0x02, p);
}

QByteArray NavVelNed(const NavSolution& f)
{
    QByteArray p;
    Put(p, GpsTime(f.utc).second, 4); // iTOW, ms
    Put(p, 0, 4);                     // velN, cm/s
    Put(p, 1, 4);                     // velE, cm/s
    Put(p, 0, 4);                     // velD, cm/s
    Put(p, 1, 4);                     // speed, cm/s
    Put(p, 1, 4);                     // ground speed, cm/s
    Put(p, 9000000, 4);               // heading, 1e-5 deg
    Put(p, 40, 4);                    // speed accuracy, cm/s
    Put(p, 18000000, 4);              // heading accuracy, 1e-5 deg
    return EncodeUbx(0x01, 0x12, p);
}

QByteArray NavTimeUtc(const NavSolution& f)
{
    const QDate d = f.utc.date();
    const QTime t = f.utc.time();
    QByteArray p;
    Put(p, GpsTime(f.utc).second, 4); // iTOW, ms
    Put(p, 25, 4);                    // time accuracy, ns
    Put(p, 0, 4);                     // nanoseconds of the second
    Put(p, d.year(), 2);
    Put(p, d.month(), 1);
    Put(p, d.day(), 1);
    Put(p, t.hour(), 1);
    Put(p, t.minute(), 1);
    Put(p, t.second(), 1);
    Put(p, 0x07, 1); // time of week, week number and UTC all valid
    return EncodeUbx(0x01, 0x21, p);
}

QByteArray RxmRaw(const NavSolution& f)
{
    const auto [week, tow] = GpsTime(f.utc);
    QByteArray p;
    Put(p, tow, 4);
    Put(p, week, 2);
    Put(p, std::size(kSky), 1);
    Put(p, 0, 1);
    for (const Satellite& s : kSky) {
        PutDouble(p, 1.2e6 + 1000.0 * s.prn + tow / 1000.0); // carrier phase, cycles
        PutDouble(p, 2.0e7 + 1.0e5 * s.prn);                  // pseudorange, m
        PutFloat(p, float(-500.0 + 50.0 * s.prn));            // Doppler, Hz
        Put(p, s.prn, 1);
        Put(p, 7, 1);      // measurement quality: phase locked
        Put(p, s.cno, 1);  // C/N0, dBHz
        Put(p, 0, 1);      // no loss of lock
    }
    return EncodeUbx(0x02, 0x10, p);
}

QByteArray RxmSfrb(const NavSolution& f)
{
    const qint64 tow = GpsTime(f.utc).second;
    QByteArray p;
    Put(p, 0, 1);                           // channel
    Put(p, kSky[(tow / 1000) % std::size(kSky)].prn, 1); // satellite
    for (int w = 0; w < 10; ++w)
        Put(p, 0x22C00000 + w * 0x1111 + (tow / 6000 & 0xFFFF), 4); // subframe words (preamble first)
    return EncodeUbx(0x02, 0x11, p);
}

// The later generation's all-in-one solution: 92 bytes.
QByteArray NavPvt(const NavSolution& f)
{
    const QDate d = f.utc.date();
    const QTime t = f.utc.time();
    QByteArray p;
    Put(p, GpsTime(f.utc).second, 4);
    Put(p, d.year(), 2);
    for (int v : {d.month(), d.day(), t.hour(), t.minute(), t.second()})
        Put(p, v, 1);
    Put(p, 0x07, 1);                                        // date, time and UTC valid
    Put(p, 25, 4);                                          // time accuracy, ns
    Put(p, 0, 4);                                           // nanoseconds of the second
    Put(p, 3, 1);                                           // 3D fix
    Put(p, 0x01, 1);                                        // fix OK
    Put(p, 0, 1);
    Put(p, std::size(kSky), 1);                             // satellites used
    Put(p, qint64(std::lround(kLonDeg * 1e7)), 4);
    Put(p, qint64(std::lround(kLatDeg * 1e7)), 4);
    Put(p, qint64(std::lround((kAltMsl + kGeoidSep) * 1000)), 4);
    Put(p, qint64(std::lround(kAltMsl * 1000)), 4);
    Put(p, 2100, 4);                                        // horizontal accuracy, mm
    Put(p, 3300, 4);                                        // vertical accuracy, mm
    for (int i = 0; i < 5; ++i)
        Put(p, 0, 4);                                       // velocity N, E, D, ground speed, heading
    Put(p, 40, 4);                                          // speed accuracy, mm/s
    Put(p, 18000000, 4);                                    // heading accuracy, 1e-5 deg
    Put(p, 101, 2);                                         // position DOP, 0.01
    Put(p, 0, 6);                                           // reserved
    Put(p, 0, 4);                                           // vehicle heading
    Put(p, 0, 4);                                           // magnetic declination and its accuracy
    return EncodeUbx(0x01, 0x07, p);
}

QByteArray NavSat(const NavSolution& f)
{
    QByteArray p;
    Put(p, GpsTime(f.utc).second, 4);
    Put(p, 1, 1);                 // version
    Put(p, std::size(kSky), 1);
    Put(p, 0, 2);
    for (const Satellite& s : kSky) {
        Put(p, 0, 1);             // GPS
        Put(p, s.prn, 1);
        Put(p, s.cno, 1);
        Put(p, s.elevation, 1);
        Put(p, s.azimuth, 2);
        Put(p, 0, 2);             // pseudorange residual
        Put(p, 0x0000190F, 4);    // used, signal acquired, orbit from ephemeris
    }
    return EncodeUbx(0x01, 0x35, p);
}

QByteArray RxmRawx(const NavSolution& f)
{
    const auto [week, tow] = GpsTime(f.utc);
    QByteArray p;
    PutDouble(p, tow / 1000.0);
    Put(p, week, 2);
    Put(p, kLeapSeconds, 1);
    Put(p, std::size(kSky), 1);
    Put(p, 0x01, 1);              // leap seconds known
    Put(p, 1, 1);                 // version
    Put(p, 0, 2);
    for (const Satellite& s : kSky) {
        PutDouble(p, 2.0e7 + 1.0e5 * s.prn);
        PutDouble(p, 1.2e6 + 1000.0 * s.prn + tow / 1000.0);
        PutFloat(p, float(-500.0 + 50.0 * s.prn));
        Put(p, 0, 1);             // GPS
        Put(p, s.prn, 1);
        Put(p, 0, 2);             // signal, frequency slot
        Put(p, 64000, 2);         // lock time, ms
        Put(p, s.cno, 1);
        Put(p, 0x0304, 3);        // standard deviations
        Put(p, 0x07, 1);          // tracking: pseudorange and phase valid
        Put(p, 0, 1);
    }
    return EncodeUbx(0x02, 0x15, p);
}

} // namespace

quint8 NmeaChecksum(const QByteArray& body)
{
    quint8 x = 0;
    for (char c : body)
        x ^= quint8(c);
    return x;
}

QByteArray NmeaSentence(const QByteArray& body)
{
    return "$" + body + "*" + QString::asprintf("%02X", NmeaChecksum(body)).toLatin1() + "\r\n";
}

const std::array<MsgKey, 14>& PeriodicMessages()
{
    static const std::array<MsgKey, 14> order = {
        Key(0xF0, 0x00), Key(0xF0, 0x01), Key(0xF0, 0x02), Key(0xF0, 0x03), Key(0xF0, 0x04),
        Key(0xF0, 0x05), Key(0xF0, 0x06), Key(0xF0, 0x07), Key(0xF0, 0x08), Key(0x01, 0x02),
        Key(0x01, 0x12), Key(0x01, 0x21), Key(0x02, 0x10), Key(0x02, 0x11),
    };
    return order;
}

QByteArray PeriodicMessage(MsgKey key, const NavSolution& fix)
{
    switch (key) {
    case Key(0xF0, 0x00): return NmeaSentence(Gga(fix));
    case Key(0xF0, 0x01): return NmeaSentence(Gll(fix));
    case Key(0xF0, 0x02): return NmeaSentence(Gsa(fix));
    case Key(0xF0, 0x03): return Gsv(fix);
    case Key(0xF0, 0x04): return NmeaSentence(Rmc(fix));
    case Key(0xF0, 0x05): return NmeaSentence(Vtg(fix));
    case Key(0xF0, 0x06): return NmeaSentence(Grs(fix));
    case Key(0xF0, 0x07): return NmeaSentence(Gst(fix));
    case Key(0xF0, 0x08): return NmeaSentence(Zda(fix));
    case Key(0x01, 0x02): return NavPosLlh(fix);
    case Key(0x01, 0x12): return NavVelNed(fix);
    case Key(0x01, 0x21): return NavTimeUtc(fix);
    case Key(0x02, 0x10): return RxmRaw(fix);
    case Key(0x02, 0x11): return RxmSfrb(fix);
    case Key(0x01, 0x07): return NavPvt(fix);
    case Key(0x01, 0x35): return NavSat(fix);
    case Key(0x02, 0x15): return RxmRawx(fix);
    default: return {};
    }
}

const std::array<MsgKey, 3>& BusyMessages()
{
    static const std::array<MsgKey, 3> order = {Key(0x01, 0x07), Key(0x01, 0x35), Key(0x02, 0x15)};
    return order;
}

QDateTime FirstSolutionUtc()
{
    return QDateTime(QDate(2011, 3, 14), QTime(12, 0), QTimeZone::utc());
}

} // namespace VarnexSim
