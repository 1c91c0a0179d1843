#pragma once

#include "sim/ReceiverModel.h"

#include <QByteArray>
#include <QList>

// Runs a receiver model in virtual time the way a transport does: the PC
// writes at its current rate, then listens, collecting bytes in the pieces
// that arrive as each one completes.
struct ModelDriver {
    explicit ModelDriver(const VarnexSim::ModelOptions& options = {}, double start = 100.0)
        : model(options, start), now(start), pcBaud(model.LinkBaud())
    {
    }

    void Write(const char* hex) { Write(QByteArray::fromHex(hex)); }
    void Write(const QByteArray& bytes) { model.PcWrite(bytes, pcBaud, now); }

    // What a PC at `pcBaud` hears during the next `seconds`.
    QByteArray Listen(double seconds)
    {
        const double end = now + seconds;
        QByteArray heard;
        for (int guard = 0; guard < 10'000'000; ++guard) {
            const double next = model.NextOutputTime();
            if (next > end)
                break;
            now = std::max(now, next);
            heard += model.TakeOutput(pcBaud, now);
        }
        now = end;
        heard += model.TakeOutput(pcBaud, now);
        return heard;
    }

    // Writes a request and returns what is heard in the `seconds` after it.
    QByteArray Ask(const char* hex, double seconds = 0.5)
    {
        Write(hex);
        return Listen(seconds);
    }

    VarnexSim::ReceiverModel model;
    double now;
    qint32 pcBaud;
};

inline QByteArray Hex(const char* hex) { return QByteArray::fromHex(hex); }

// `base` (the receiver as shipped by default) with no periodic output, so
// that what is heard is exactly the answers.
inline VarnexSim::ReceiverConfig QuietConfig(VarnexSim::ReceiverConfig base = VarnexSim::FactoryDefaults())
{
    base.msgRates.clear();
    return base;
}

// Lines of NMEA text ("$...\r\n") in `text`; anything else is skipped.
inline QList<QByteArray> NmeaLines(const QByteArray& text)
{
    QList<QByteArray> lines;
    qsizetype from = 0;
    while ((from = text.indexOf('$', from)) >= 0) {
        const qsizetype end = text.indexOf("\r\n", from);
        if (end < 0)
            break;
        lines << text.mid(from, end + 2 - from);
        from = end + 2;
    }
    return lines;
}

// True when the "*hh" of an NMEA line is the XOR of the characters between '$' and '*'.
inline bool NmeaChecksumValid(const QByteArray& line)
{
    const qsizetype star = line.lastIndexOf('*');
    if (!line.startsWith('$') || star < 0 || !line.endsWith("\r\n") || line.size() - star != 5)
        return false;
    quint8 x = 0;
    for (qsizetype i = 1; i < star; ++i)
        x ^= quint8(line[i]);
    return line.mid(star + 1, 2) == QByteArray::number(x, 16).rightJustified(2, '0').toUpper();
}
