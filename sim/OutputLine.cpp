#include "OutputLine.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace VarnexSim {

// A completion time computed from NextByteTime() must count as reached.
static constexpr double kTimeSlack = 1e-7;

void OutputLine::Enqueue(const QByteArray& bytes, double ready, qint32 switchAfter)
{
    if (bytes.isEmpty()) {
        if (switchAfter > 0)
            SwitchAfterQueued(switchAfter);
        return;
    }
    Item item;
    item.bytes = bytes;
    item.ready = ready;
    item.switchAfter = switchAfter;
    queue_.push_back(item);
}

bool OutputLine::EnqueueIfRoom(const QByteArray& bytes, double now, int capacity)
{
    if (PendingBytes(now) + bytes.size() > capacity)
        return false;
    Enqueue(bytes, now);
    return true;
}

qint64 OutputLine::PendingBytes(double now) const
{
    qint64 pending = 0;
    double t = lineFree_;
    qint32 baud = baud_;
    for (const Item& item : queue_) {
        const double start = item.started ? item.start : std::max(t, item.ready);
        const qint32 b = item.started ? item.baud : baud;
        const double bt = ByteTime(b);
        const double sent = std::clamp(std::floor((now - start) / bt + kTimeSlack), 0.0, double(item.bytes.size()));
        pending += item.bytes.size() - qint64(sent);
        t = start + item.bytes.size() * bt;
        if (item.switchAfter > 0)
            baud = item.switchAfter;
    }
    return pending;
}

void OutputLine::SwitchAfterQueued(qint32 baud)
{
    if (queue_.empty())
        baud_ = baud;
    else
        queue_.back().switchAfter = baud;
}

void OutputLine::StartHead()
{
    Item& head = queue_.front();
    if (head.started)
        return;
    head.started = true;
    head.start = std::max(lineFree_, head.ready);
    head.baud = baud_;
}

namespace {
// What a UART reads of a byte sent at another rate: a framing error's worth
// of bits, never a sync character, a '$' or printable text.
char Garbled(char byte, qint32 sent, qint32 heard)
{
    static constexpr unsigned char kReads[] = {0x00, 0xFF, 0x80, 0xF8, 0xE0, 0xFE, 0xC0, 0xFC};
    const auto mix = unsigned(static_cast<unsigned char>(byte)) ^ unsigned(sent / 300) ^ unsigned(heard / 300);
    return char(kReads[mix % std::size(kReads)]);
}
} // namespace

QByteArray OutputLine::Take(qint32 listenerBaud, double now, bool garbage)
{
    QByteArray heard;
    while (!queue_.empty()) {
        StartHead();
        Item& head = queue_.front();
        const double bt = ByteTime(head.baud);
        const double elapsed = (now - head.start) / bt + kTimeSlack;
        const int done = elapsed <= 0 ? 0 : int(std::min<double>(head.bytes.size(), std::floor(elapsed)));
        if (done > head.taken && head.baud == listenerBaud)
            heard.append(head.bytes.mid(head.taken, done - head.taken));
        else if (done > head.taken && garbage && listenerBaud > 0)
            for (int i = head.taken; i < done; ++i)
                heard.append(Garbled(head.bytes[i], head.baud, listenerBaud));
        head.taken = std::max(head.taken, done);
        if (head.taken < head.bytes.size())
            break;
        lineFree_ = head.start + head.bytes.size() * bt;
        if (head.switchAfter > 0)
            baud_ = head.switchAfter;
        queue_.pop_front();
    }
    return heard;
}

double OutputLine::NextByteTime() const
{
    if (queue_.empty())
        return kInfinity;
    const Item& head = queue_.front();
    const double start = head.started ? head.start : std::max(lineFree_, head.ready);
    const qint32 baud = head.started ? head.baud : baud_;
    return start + (head.taken + 1) * ByteTime(baud);
}

double OutputLine::BusyUntil() const
{
    double t = lineFree_;
    qint32 baud = baud_;
    for (const Item& item : queue_) {
        const double start = item.started ? item.start : std::max(t, item.ready);
        const qint32 b = item.started ? item.baud : baud;
        t = start + item.bytes.size() * ByteTime(b);
        if (item.switchAfter > 0)
            baud = item.switchAfter;
    }
    return t;
}

void OutputLine::Reset(qint32 baud, double now)
{
    queue_.clear();
    baud_ = baud;
    lineFree_ = now;
}

} // namespace VarnexSim
