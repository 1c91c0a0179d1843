#pragma once

#include <QByteArray>

#include <deque>
#include <limits>

// The receiver's transmit side of the link: messages leave one after the
// other, each byte taking 10 bit times (start, 8 data, stop) at the line's
// rate. A byte is complete, and can be seen by the PC, only once its last
// bit has left; the PC understands it only when it listens at the same rate.
namespace VarnexSim {

inline constexpr double kInfinity = std::numeric_limits<double>::infinity();

inline double ByteTime(qint32 baud) { return baud > 0 ? 10.0 / baud : kInfinity; }

class OutputLine {
public:
    OutputLine(qint32 baud, double now) : baud_(baud), lineFree_(now) {}

    // Rate of the line for the next message to start.
    qint32 Baud() const { return baud_; }
    // Queues a message; it starts no earlier than `ready` and after everything before it.
    // A non-zero `switchAfter` moves the line to that rate once this message has left.
    void Enqueue(const QByteArray& bytes, double ready, qint32 switchAfter = 0);
    // Queues a message only if it fits in the transmit buffer beside the
    // bytes not yet sent by `now`; otherwise the whole message is dropped (false).
    bool EnqueueIfRoom(const QByteArray& bytes, double now, int capacity);
    // Bytes queued that have not left the line by `now`.
    qint64 PendingBytes(double now) const;
    // Moves the rate once the messages already queued have left (at once when idle).
    void SwitchAfterQueued(qint32 baud);
    // Bytes completed by `now`, removed from the line. Bytes sent at a rate
    // other than `listenerBaud` reach the listener as framing errors, one
    // meaningless byte (0x00, 0xFF, 0x80, ...) for each byte on the line, when
    // `garbage` is set, and are lost to it otherwise; a listener at rate 0
    // (no port open) hears nothing.
    QByteArray Take(qint32 listenerBaud, double now, bool garbage = false);
    // When the next byte will be complete; infinity when nothing is queued.
    double NextByteTime() const;
    // When the last queued byte will have left.
    double BusyUntil() const;
    bool Idle() const { return queue_.empty(); }
    // Empties the line at once, as at power-up, and sets its rate.
    void Reset(qint32 baud, double now);

private:
    struct Item {
        QByteArray bytes;
        double ready = 0;
        qint32 switchAfter = 0;
        bool started = false;
        double start = 0;
        qint32 baud = 0;
        int taken = 0;
    };
    void StartHead();
    std::deque<Item> queue_;
    qint32 baud_;
    double lineFree_;
};

} // namespace VarnexSim
