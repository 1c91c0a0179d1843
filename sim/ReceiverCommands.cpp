// The receiver's configuration messages: what each one changes and what it answers.
#include "ReceiverModelPrivate.h"

#include "Generation.h"
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
constexpr quint8 kCfgNav5 = 0x24;
constexpr quint8 kCfgTp5 = 0x31;
constexpr quint8 kCfgValSet = 0x8A;
constexpr quint8 kCfgValGet = 0x8B;
constexpr quint8 kCfgValDel = 0x8C;
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

Answer Ack() { return Answer{Answer::Kind::Ack, {}, 0, {}}; }
Answer Nak(const QString& why) { return Answer{Answer::Kind::Nak, {}, 0, why}; }
Answer Reply(quint8 cls, quint8 id, const QByteArray& payload)
{
    return Answer{Answer::Kind::Reply, EncodeUbx(cls, id, payload), 0, {}};
}

// The CFG-NAV5 fields each mask bit applies: offset and width in the payload.
struct Nav5Field {
    quint16 bit;
    int offset;
    int size;
};

constexpr Nav5Field kNav5Fields[] = {
    {0x0001, 2, 1},  // dyn: dynModel
    {0x0002, 12, 1}, // minEl: minElev
    {0x0004, 3, 1},  // posFixMode: fixMode
    {0x0004, 4, 8},  //   and fixedAlt, fixedAltVar
    {0x0008, 13, 1}, // drLim: drLimit
    {0x0010, 14, 2}, // posMask: pDop
    {0x0010, 18, 2}, //   and pAcc
    {0x0020, 16, 2}, // timeMask: tDop
    {0x0020, 20, 2}, //   and tAcc
    {0x0040, 22, 1}, // staticHoldMask: staticHoldThresh
    {0x0040, 28, 2}, //   and staticHoldMaxDist
    {0x0080, 23, 1}, // dgpsMask: dgnssTimeOut
    {0x0100, 24, 2}, // cnoThreshold: cnoThreshNumSVs, cnoThresh
    {0x0400, 30, 1}, // utc: utcStandard
};

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
    return cls == kCfg && ((id == kCfgMsg && length == 2) || (id == kCfgPrt && length == 1) ||
                           (id == kCfgTp5 && length == 1) || id == kCfgValGet);
}

ReceiverModel::Answer ReceiverModel::Dispatch(const DecodedItem& item)
{
    const QByteArray& p = item.payload;
    if (item.cls == kMon && item.id == kMonVer && p.isEmpty())
        return Reply(kMon, kMonVer, MonVerPayload(generation_));
    if (item.cls != kCfg) {
        const QByteArray message = item.payload.isEmpty()
            ? PeriodicMessage(Key(item.cls, item.id), NavSolution{FirstSolutionUtc()})
            : QByteArray();
        if (message.isEmpty())
            return Answer{Answer::Kind::None, {}, 0, QStringLiteral("not supported")};
        return Answer{Answer::Kind::Reply, message, 0, {}};
    }
    if (item.id != kCfgValSet)
        CancelTransaction(); // any other configuration message ends a VALSET transaction unapplied
    if (!Takes(generation_, item.id))
        return Nak(QStringLiteral("not taken by this generation"));
    switch (item.id) {
    case kCfgPrt: return OnCfgPrt(p);
    case kCfgMsg: return OnCfgMsg(p);
    case kCfgNav: return OnCfgBlock(kCfgNav, p, running_.cfgNav, 28);
    case kCfgTp: return OnCfgBlock(kCfgTp, p, running_.cfgTp, 20);
    case kCfgRate: return OnCfgRate(p);
    case kCfgCfg: return HasKeyStore(generation_) ? OnKeyCfg(p) : OnCfgCfg(p);
    case kCfgNav5: return OnCfgNav5(p);
    case kCfgTp5: return OnCfgTp5(p);
    case kCfgValSet: return OnValSet(p);
    case kCfgValGet: return OnValGet(p);
    case kCfgValDel: return OnValDel(p);
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
    if (generation_ != 0) {
        // Six I/O targets: DDC, UART1, UART2, USB, SPI and one reserved; no four-target form.
        if (p.size() == 2) {
            QByteArray r = p;
            for (int port = 0; port < kPortCount; ++port)
                r.append(char(running_.Rate(key, port)));
            r.append(char(running_.spiRates.count(key) ? running_.spiRates.at(key) : 0));
            r.append('\0');
            return Reply(kCfg, kCfgMsg, r);
        }
        if (p.size() == 8) {
            for (int port = 0; port < kPortCount; ++port)
                running_.SetRate(key, port, quint8(p[2 + port]));
            running_.spiRates[key] = quint8(p[6]);
            return Ack();
        }
        if (p.size() != 3)
            return Nak(QStringLiteral("wrong length"));
    }
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

ReceiverModel::Answer ReceiverModel::OnCfgNav5(const QByteArray& p)
{
    if (p.isEmpty()) {
        QByteArray r = running_.cfgNav5;
        r[0] = r[1] = char(0xFF); // every field is valid
        return Reply(kCfg, kCfgNav5, r);
    }
    if (p.size() != 36)
        return Nak(QStringLiteral("wrong length"));
    const quint16 mask = quint16(Le(p, 0, 2)) & Nav5AppliedMask(generation_);
    const int dynModel = quint8(p[2]);
    const int fixMode = quint8(p[3]);
    if ((mask & 0x0001) && (dynModel == 1 || dynModel > Nav5HighestDynModel(generation_)))
        return Nak(QStringLiteral("no such platform model"));
    if ((mask & 0x0004) && (fixMode < 1 || fixMode > 3))
        return Nak(QStringLiteral("no such fix mode"));
    // A field whose mask bit is clear keeps its value, without complaint.
    for (const Nav5Field& f : kNav5Fields)
        if (mask & f.bit)
            running_.cfgNav5.replace(f.offset, f.size, p.mid(f.offset, f.size));
    return Ack();
}

ReceiverModel::Answer ReceiverModel::OnCfgTp5(const QByteArray& p)
{
    const int tpIdx = p.isEmpty() ? 0 : quint8(p[0]);
    if (tpIdx > 1)
        return Nak(QStringLiteral("no such time pulse"));
    if (p.size() <= 1)
        return Reply(kCfg, kCfgTp5, running_.cfgTp5[tpIdx]);
    if (p.size() != 32)
        return Nak(QStringLiteral("wrong length"));
    QByteArray stored = p;
    stored[1] = char(Tp5Version(generation_)); // read back in the unit's own version
    running_.cfgTp5[tpIdx] = stored;
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
