// The receiver's configuration messages: what each one changes and what it answers.
#include "ReceiverModelPrivate.h"

#include "NavOutput.h"

namespace VarnexSim {
namespace {

using Answer = ReceiverModel::Answer;

constexpr quint8 kCfg = 0x06;
constexpr quint8 kCfgPrt = 0x00;
constexpr quint8 kCfgMsg = 0x01;
constexpr quint8 kCfgNav = 0x03;
constexpr quint8 kCfgTp = 0x07;
constexpr quint8 kCfgRate = 0x08;
constexpr quint8 kCfgCfg = 0x09;
constexpr quint8 kMon = 0x0A;
constexpr quint8 kMonVer = 0x04;

quint32 Le(const QByteArray& p, int offset, int bytes)
{
    quint32 v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = v << 8 | quint8(p[offset + i]);
    return v;
}

void PutLe(QByteArray& p, quint32 v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        p.append(char((v >> (8 * i)) & 0xFF));
}

// A zero-padded text field of MON-VER.
QByteArray Padded(const char* text, int size)
{
    QByteArray field(text);
    field.resize(size, '\0');
    return field;
}

// MON-VER as a receiver of this generation answers it: software and hardware
// version, no extension fields.
QByteArray MonVerPayload() { return Padded("7.03 (45969)", 30) + Padded("00040007", 10); }

Answer Ack() { return Answer{Answer::Kind::Ack, {}, 0, {}}; }
Answer Nak(const QString& why) { return Answer{Answer::Kind::Nak, {}, 0, why}; }
Answer Reply(quint8 cls, quint8 id, const QByteArray& payload)
{
    return Answer{Answer::Kind::Reply, EncodeUbx(cls, id, payload), 0, {}};
}

// As the receiver lays the port out: a rate only on the UART ports. Some
// units report a UART mode with its reserved bit 4 set (`modeBit4`).
QByteArray PrtPayload(int port, const PortSettings& s, bool modeBit4)
{
    constexpr quint32 kReservedModeBit = 0x10;
    QByteArray p;
    PutLe(p, quint32(port), 1);
    PutLe(p, 0, 1);           // reserved
    PutLe(p, 0, 2);           // reserved
    PutLe(p, IsUart(port) && modeBit4 ? s.mode | kReservedModeBit : s.mode, 4); // UART mode, DDC address, reserved on USB
    PutLe(p, IsUart(port) ? quint32(s.baud) : 0, 4);
    PutLe(p, s.inProtoMask, 2);
    PutLe(p, s.outProtoMask, 2);
    PutLe(p, s.flags, 2);
    PutLe(p, 0, 2);           // reserved
    return p;
}

} // namespace

bool IsPoll(quint8 cls, quint8 id, int length)
{
    if (length == 0)
        return true;
    return cls == kCfg && ((id == kCfgMsg && length == 2) || (id == kCfgPrt && length == 1));
}

ReceiverModel::Answer ReceiverModel::Dispatch(const DecodedItem& item)
{
    const QByteArray& p = item.payload;
    if (item.cls == kMon && item.id == kMonVer && p.isEmpty())
        return Reply(kMon, kMonVer, MonVerPayload());
    if (item.cls != kCfg) {
        const QByteArray message = item.payload.isEmpty()
            ? PeriodicMessage(Key(item.cls, item.id), NavSolution{FirstSolutionUtc()})
            : QByteArray();
        if (message.isEmpty())
            return Answer{Answer::Kind::None, {}, 0, QStringLiteral("not supported")};
        return Answer{Answer::Kind::Reply, message, 0, {}};
    }
    switch (item.id) {
    case kCfgPrt: return OnCfgPrt(p);
    case kCfgMsg: return OnCfgMsg(p);
    case kCfgNav: return OnCfgBlock(kCfgNav, p, running_.cfgNav, 28);
    case kCfgTp: return OnCfgBlock(kCfgTp, p, running_.cfgTp, 20);
    case kCfgRate: return OnCfgRate(p);
    case kCfgCfg: return OnCfgCfg(p);
    default: return Nak(QStringLiteral("unknown configuration message"));
    }
}

ReceiverModel::Answer ReceiverModel::OnCfgPrt(const QByteArray& p)
{
    if (p.size() <= 1) {
        const int port = p.isEmpty() ? linkPort_ : quint8(p[0]);
        if (port >= kPortCount)
            return Nak(QStringLiteral("no such port"));
        return Reply(kCfg, kCfgPrt, PrtPayload(port, running_.ports[port], faults_.reportsModeBit4));
    }
    if (p.size() != 20)
        return Nak(QStringLiteral("wrong length"));
    const int port = quint8(p[0]);
    const qint32 baud = qint32(Le(p, 8, 4));
    if (port >= kPortCount || baud <= 0)
        return Nak(QStringLiteral("bad port or rate"));
    if (faults_.nakPrtPorts.count(port))
        return Nak(QStringLiteral("port refuses these settings"));
    // DDC and USB take the protocol masks only: they have no UART mode or rate.
    PortSettings s = running_.ports[port];
    if (IsUart(port)) {
        s.mode = Le(p, 4, 4);
        s.baud = baud;
    }
    s.inProtoMask = quint16(Le(p, 12, 2));
    s.outProtoMask = quint16(Le(p, 14, 2));
    s.flags = quint16(Le(p, 16, 2));
    const qint32 oldBaud = running_.ports[port].baud;
    running_.ports[port] = s;
    Answer a = Ack();
    if (port == linkPort_ && s.baud != oldBaud)
        a.linkMovesTo = s.baud;
    return a;
}

ReceiverModel::Answer ReceiverModel::OnCfgMsg(const QByteArray& p)
{
    if (p.size() < 2)
        return Nak(QStringLiteral("wrong length"));
    const MsgKey key = Key(quint8(p[0]), quint8(p[1]));
    switch (p.size()) {
    case 2: {
        QByteArray r = p;
        for (int port = 0; port < kPortCount; ++port)
            r.append(char(running_.Rate(key, port)));
        return Reply(kCfg, kCfgMsg, r);
    }
    case 3: // the rate on the port the command came in on
        running_.SetRate(key, linkPort_, quint8(p[2]));
        return Ack();
    case 6: // rates for ports 0..3
    case 8: // rates for six I/O targets; this receiver has the first four
        for (int port = 0; port < kPortCount; ++port)
            running_.SetRate(key, port, quint8(p[2 + port]));
        return Ack();
    default: return Nak(QStringLiteral("wrong length"));
    }
}

ReceiverModel::Answer ReceiverModel::OnCfgRate(const QByteArray& p)
{
    if (p.isEmpty()) {
        QByteArray r;
        PutLe(r, running_.measRateMs, 2);
        PutLe(r, running_.navRate, 2);
        PutLe(r, running_.timeRef, 2);
        return Reply(kCfg, kCfgRate, r);
    }
    if (p.size() != 6)
        return Nak(QStringLiteral("wrong length"));
    const quint16 meas = quint16(Le(p, 0, 2));
    const quint16 nav = quint16(Le(p, 2, 2));
    if (meas == 0 || nav == 0)
        return Nak(QStringLiteral("zero rate"));
    const double oldPeriod = NavPeriod();
    running_.measRateMs = meas;
    running_.navRate = nav;
    running_.timeRef = quint16(Le(p, 4, 2));
    Reschedule(oldPeriod, handlingTime_);
    return Ack();
}

ReceiverModel::Answer ReceiverModel::OnCfgBlock(quint8 id, const QByteArray& p, QByteArray& stored, int size)
{
    if (p.isEmpty())
        return Reply(kCfg, id, stored);
    if (p.size() != size)
        return Nak(QStringLiteral("wrong length"));
    stored = p;
    return Ack();
}

ReceiverModel::Answer ReceiverModel::OnCfgCfg(const QByteArray& p)
{
    if (p.size() != 12 && p.size() != 13)
        return Nak(QStringLiteral("wrong length"));
    const quint32 clearMask = Le(p, 0, 4);
    const quint32 saveMask = Le(p, 4, 4);
    const quint32 loadMask = Le(p, 8, 4);
    if (clearMask != 0)
        flash_ = Factory();
    if (saveMask != 0)
        flash_ = running_;
    if ((clearMask != 0 || saveMask != 0) && !flashPath_.isEmpty() &&
        !SaveConfigFile(flashPath_, flash_, lastError_))
        return Nak(lastError_);
    if (loadMask != 0 && faults_.nakLoad)
        return Nak(QStringLiteral("load refused"));
    Answer a = Ack();
    if (loadMask != 0) {
        const qint32 oldBaud = LinkBaud();
        const double oldPeriod = NavPeriod();
        running_ = flash_;
        Reschedule(oldPeriod, handlingTime_);
        if (LinkBaud() != oldBaud)
            a.linkMovesTo = LinkBaud();
    }
    return a;
}

} // namespace VarnexSim
