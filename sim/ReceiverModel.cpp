#include "ReceiverModelPrivate.h"

#include "Generation.h"
#include "NavOutput.h"

#include <QFileInfo>

#include <algorithm>

namespace VarnexSim {
namespace {

// Solutions missed by more than this (a clock that jumped) are skipped, not replayed.
constexpr double kMaxCatchUp = 10.0;
// How many solutions ahead NextOutputTime() looks for one with output (rates are bytes).
constexpr int kRateHorizon = 256;

// Payload of ACK-ACK and ACK-NAK: the class and id of the frame they answer.
QByteArray ClassAndId(const DecodedItem& item)
{
    QByteArray p;
    p.append(char(item.cls));
    p.append(char(item.id));
    return p;
}

// An answer that leaves corrupted: its sync characters kept, the rest changed.
void Garble(QByteArray& frame, QString& note)
{
    for (int i = 2; i < frame.size(); ++i)
        frame[i] = char(frame[i] ^ 0x5A);
    note = QStringLiteral("ack garbled");
}

// The port the PC is wired to; a unit with one UART has it there whatever was asked.
int LinkPortOf(const ModelOptions& options)
{
    if (options.generation == 10)
        return 1;
    return std::clamp(options.linkPort, 0, kPortCount - 1);
}

} // namespace

ReceiverModel::ReceiverModel(const ModelOptions& options, double now)
    : options_(options),
      linkPort_(LinkPortOf(options)),
      flashPath_(options.flashPath),
      generation_(options.generation),
      faults_(options.faults),
      line_(9600, now),
      noiseRng_(options.faults.noiseSeed),
      start_(now),
      clock_(now),
      inputFree_(now),
      nextSolution_(now),
      nextNoise_(kInfinity)
{
    transcript_.OpenFile(options.transcriptPath, lastError_);
    PowerCycle(now);
    if (options.startBaud > 0) {
        running_.ports[linkPort_].baud = options.startBaud;
        if (HasKeyStore(generation_))
            ConfigIntoKeys(running_, generation_, keys_.ram);
        line_.Reset(LineRate(), now);
        StartBoard(now);
    }
    if (options.outputFromFirstByte)
        nextSolution_ = kInfinity;
    if (options.swapEvery > 0)
        nextSwap_ = now + options.swapEvery;
}

ReceiverConfig ReceiverModel::Factory() const
{
    ReceiverConfig c = FactoryDefaults();
    if (options_.fill > 0)
        for (MsgKey key : BusyMessages())
            c.SetRate(key, linkPort_, 1);
    if (generation_ == 6 || generation_ == 8) {
        c.cfgNav5 = FactoryNav5();
        c.cfgTp5 = {FactoryTp5(0, generation_), FactoryTp5(1, generation_)};
    }
    if (HasKeyStore(generation_)) {
        c.cfgNav.clear(); // the older blocks are not held: their messages are refused
        c.cfgTp.clear();
        ApplyKeys(DefaultLayer(), c);
    }
    return c;
}

qint32 ReceiverModel::LineRate() const { return OnUsb() ? kUsbLineBaud : running_.ports[linkPort_].baud; }

// Average bytes a second of the configured periodic output on the link port.
double ReceiverModel::ConfiguredBytesPerSecond() const
{
    const NavSolution fix{FirstSolutionUtc()};
    double bytes = 0;
    for (MsgKey key : PeriodicMessages()) {
        const quint8 rate = running_.Rate(key, linkPort_);
        const quint16 protocol = (key >> 8) == 0xF0 ? 0x0002 : 0x0001;
        if (rate != 0 && (running_.ports[linkPort_].outProtoMask & protocol))
            bytes += double(PeriodicMessage(key, fix).size()) / rate;
    }
    return bytes / NavPeriod();
}

// What a board is at power-up: a busy unit's extra output is what brings its
// whole output to the share of the line asked for.
void ReceiverModel::StartBoard(double)
{
    const double lineBytes = (OnUsb() ? 9600 : LinkBaud()) / 10.0;
    busyRate_ = std::max(0.0, options_.fill * lineBytes - ConfiguredBytesPerSecond());
    busyCredit_ = {};
}

void ReceiverModel::SwapBoard(double now, double gap)
{
    ++boardIndex_;
    flashPath_.clear(); // the new board's flash is its own, kept in memory
    keys_ = {};
    PowerCycle(now + gap);
    inputFree_ = now;
    boardAbsentUntil_ = now + gap;
}

void ReceiverModel::PowerCycle(double now)
{
    if (HasKeyStore(generation_)) {
        StartKeyStore();
    } else {
        flash_ = Factory();
        if (!flashPath_.isEmpty() && QFileInfo::exists(flashPath_)) {
            ReceiverConfig loaded;
            if (LoadConfigFile(flashPath_, loaded, lastError_))
                flash_ = loaded;
        }
        running_ = flash_;
    }
    line_.Reset(LineRate(), now);
    decoder_.Reset();
    inputFree_ = now;
    deafUntil_ = -kInfinity;
    solutionIndex_ = 1;
    nextSolution_ = now + NavPeriod();
    nextNoise_ = faults_.noiseInterval > 0 ? now + faults_.noiseInterval : kInfinity;
    StartBoard(now);
}

void ReceiverModel::SetRunning(const ReceiverConfig& config)
{
    const double oldPeriod = NavPeriod();
    running_ = config;
    if (HasKeyStore(generation_))
        ConfigIntoKeys(running_, generation_, keys_.ram);
    Reschedule(oldPeriod, clock_);
    if (line_.Idle())
        line_.Reset(LineRate(), inputFree_);
    else
        line_.SwitchAfterQueued(LineRate());
}

void ReceiverModel::SetFaults(const Faults& faults)
{
    const bool noiseChanged = faults.noiseInterval != faults_.noiseInterval;
    faults_ = faults;
    if (noiseChanged)
        nextNoise_ = faults_.noiseInterval > 0 ? inputFree_ + faults_.noiseInterval : kInfinity;
}

// A new navigation period takes over from the last solution on, never in the past.
void ReceiverModel::Reschedule(double oldPeriod, double now)
{
    nextSolution_ = nextSolution_ - oldPeriod + NavPeriod();
    if (nextSolution_ < now)
        nextSolution_ = now + NavPeriod();
}

double ReceiverModel::NavPeriod() const
{
    return running_.measRateMs * std::max<int>(1, running_.navRate) / 1000.0;
}

bool ReceiverModel::LinkGone(double now) const
{
    if (manualGone_)
        return true;
    const double since = now - start_;
    return faults_.unplugAt >= 0 && since >= faults_.unplugAt &&
           (faults_.unplugFor < 0 || since < faults_.unplugAt + faults_.unplugFor);
}

int ReceiverModel::UnplugCount(double now) const
{
    const bool timed = faults_.unplugAt >= 0 && now - start_ >= faults_.unplugAt;
    return manualUnplugs_ + (timed ? 1 : 0);
}

// Brings board swaps, periodic output and injected noise up to time `t`, in time order.
void ReceiverModel::Advance(double t)
{
    while (nextSwap_ <= t) {
        const double at = nextSwap_;
        AdvanceOutput(at);
        SwapBoard(at, options_.swapGap);
        nextSwap_ = at + options_.swapEvery;
    }
    AdvanceOutput(t);
}

void ReceiverModel::AdvanceOutput(double t)
{
    if (t - nextSolution_ > kMaxCatchUp) {
        const qint64 skipped = qint64((t - nextSolution_) / NavPeriod());
        solutionIndex_ += skipped;
        nextSolution_ += skipped * NavPeriod();
    }
    if (t - nextNoise_ > kMaxCatchUp)
        nextNoise_ = t;
    while (std::min(nextSolution_, nextNoise_) <= t) {
        if (nextSolution_ <= nextNoise_) {
            EmitSolution(nextSolution_);
            ++solutionIndex_;
            nextSolution_ += NavPeriod();
        } else {
            EmitNoise(nextNoise_);
            nextNoise_ += faults_.noiseInterval > 0 ? faults_.noiseInterval : kInfinity;
        }
    }
}

void ReceiverModel::EmitSolution(double t)
{
    const PortSettings& link = running_.ports[linkPort_];
    const NavSolution fix{FirstSolutionUtc().addMSecs(qint64(std::llround((t - start_) * 1000.0)))};
    // What does not fit in the transmit buffer is dropped message by message.
    for (MsgKey key : PeriodicMessages()) {
        const quint8 rate = running_.Rate(key, linkPort_);
        const bool nmea = (key >> 8) == 0xF0;
        const quint16 protocol = nmea ? 0x0002 : 0x0001;
        if (rate == 0 || solutionIndex_ % rate != 0 || !(link.outProtoMask & protocol))
            continue;
        if (!line_.EnqueueIfRoom(PeriodicMessage(key, fix), t, options_.txBufferBytes))
            ++dropped_;
    }
    EmitBusy(t, fix);
}

// A busy unit's extra messages: each earns its share of the extra bytes a
// second (in proportion to its size) and goes out whenever its share covers
// it, so the output averages the rate asked for; one turned off drops its share.
void ReceiverModel::EmitBusy(double t, const NavSolution& fix)
{
    const auto& keys = BusyMessages();
    std::array<QByteArray, 3> frames;
    double total = 0;
    for (size_t k = 0; k < keys.size(); ++k) {
        frames[k] = PeriodicMessage(keys[k], fix);
        total += frames[k].size();
    }
    const bool ubxOut = running_.ports[linkPort_].outProtoMask & 0x0001;
    std::array<bool, 3> due{};
    for (size_t k = 0; k < keys.size(); ++k) {
        const quint8 rate = running_.Rate(keys[k], linkPort_);
        if (busyRate_ <= 0 || !ubxOut || rate == 0)
            busyCredit_[k] = 0;
        else if (solutionIndex_ % rate == 0)
            busyCredit_[k] += busyRate_ * NavPeriod() * rate * frames[k].size() / total;
        due[k] = busyCredit_[k] > 0 && solutionIndex_ % std::max<int>(1, rate) == 0;
    }
    for (bool sent = true; sent;) {
        sent = false;
        for (size_t k = 0; k < keys.size(); ++k) {
            if (!due[k] || busyCredit_[k] < frames[k].size())
                continue;
            busyCredit_[k] -= frames[k].size();
            sent = true;
            if (!line_.EnqueueIfRoom(frames[k], t, options_.txBufferBytes))
                ++dropped_;
        }
    }
}

void ReceiverModel::EmitNoise(double t)
{
    QByteArray burst;
    std::uniform_int_distribution<int> byte(0, 255);
    for (int i = 0; i < faults_.noiseBurst; ++i)
        burst.append(char(byte(noiseRng_)));
    line_.Enqueue(burst, t);
}

double ReceiverModel::NextSolutionWithOutput() const
{
    for (int k = 0; k < kRateHorizon; ++k) {
        for (MsgKey key : PeriodicMessages()) {
            const quint8 rate = running_.Rate(key, linkPort_);
            if (rate != 0 && (solutionIndex_ + k) % rate == 0)
                return nextSolution_ + k * NavPeriod();
        }
        for (MsgKey key : BusyMessages()) {
            const quint8 rate = running_.Rate(key, linkPort_);
            if (busyRate_ > 0 && rate != 0 && (solutionIndex_ + k) % rate == 0)
                return nextSolution_ + k * NavPeriod();
        }
    }
    return kInfinity;
}

double ReceiverModel::NextOutputTime() const
{
    const double bt = ByteTime(line_.Baud());
    const double periodic = NextSolutionWithOutput() + bt;
    return std::min({line_.NextByteTime(), periodic, nextNoise_ + bt});
}

QByteArray ReceiverModel::TakeOutput(qint32 pcBaud, double now)
{
    clock_ = std::max(clock_, now);
    Advance(now);
    // USB has no rate: the PC hears the receiver whatever its open port is set to.
    const QByteArray heard = line_.Take(OnUsb() && pcBaud > 0 ? line_.Baud() : pcBaud, now, options_.garbageAtOtherRates);
    return LinkGone(now) ? QByteArray() : heard;
}

void ReceiverModel::PcWrite(const QByteArray& bytes, qint32 pcBaud, double t)
{
    clock_ = std::max(clock_, t);
    if (options_.outputFromFirstByte && nextSolution_ == kInfinity && !bytes.isEmpty())
        nextSolution_ = t + NavPeriod();
    Advance(t);
    if (LinkGone(t) || bytes.isEmpty())
        return;
    // Bytes arrive one after the other at the PC's rate, behind any still on the way.
    double arrival = std::max(inputFree_, t);
    const double bt = pcBaud > 0 ? 10.0 / pcBaud : 0.0;
    QByteArray unheard; // arrived while no board was under the adapter
    for (char byte : bytes) {
        arrival += bt;
        if (arrival < boardAbsentUntil_)
            unheard.append(byte);
        else
            Judge(byte, pcBaud, arrival);
    }
    if (!unheard.isEmpty())
        LogFromPc(unheard, nullptr, pcBaud, t, false, QStringLiteral("no board"));
    FlushGarbage();
    FlushNoise();
    inputFree_ = arrival;
}

// One byte from the PC: noise when the PC talks at another rate than the
// link port listens at, otherwise input to the frame decoder.
void ReceiverModel::Judge(char byte, qint32 pcBaud, double arrival)
{
    if (!OnUsb() && (pcBaud != LinkBaud() || arrival < deafUntil_)) {
        const QByteArray cut = decoder_.Reset();
        if (!cut.isEmpty())
            HandleItem(DecodedItem{DecodedItem::Kind::Garbage, 0, 0, {}, cut}, pcBaud, arrival);
        FlushGarbage();
        if (noise_.isEmpty())
            noiseBaud_ = pcBaud;
        noise_.append(byte);
        noiseTime_ = arrival;
        return;
    }
    FlushNoise();
    decoder_.Feed(QByteArray(1, byte));
    DecodedItem item;
    while (decoder_.Next(item))
        HandleItem(item, pcBaud, arrival);
}

void ReceiverModel::HandleItem(const DecodedItem& item, qint32 pcBaud, double t)
{
    if (item.kind == DecodedItem::Kind::Garbage) {
        if (garbage_.isEmpty())
            garbageBaud_ = pcBaud;
        garbage_.append(item.raw);
        garbageTime_ = t;
        return;
    }
    FlushGarbage();
    if (item.kind == DecodedItem::Kind::BadChecksum) {
        LogFromPc(item.raw, &item, pcBaud, t, false, QStringLiteral("bad checksum"));
        return;
    }
    HandleFrame(item, pcBaud, t);
}

bool ReceiverModel::SuppressedByFault(const DecodedItem& item, QString& note)
{
    const MsgKey key = Key(item.cls, item.id);
    if (faults_.silent || (faults_.silentFromFrame > 0 && framesSeen_ >= faults_.silentFromFrame))
        note = QStringLiteral("ignored: silent");
    else if (faults_.neverAck.count(key))
        note = QStringLiteral("ignored: never acknowledged");
    else if (IsPoll(item.cls, item.id, int(item.payload.size())) && ++pollsSeen_ < faults_.answerPollsFrom)
        note = QStringLiteral("ignored: poll %1 of %2 unanswered").arg(pollsSeen_).arg(faults_.answerPollsFrom);
    return !note.isEmpty();
}

void ReceiverModel::HandleFrame(const DecodedItem& item, qint32 pcBaud, double t)
{
    ++framesSeen_;
    handlingTime_ = t;
    QString note;
    if (SuppressedByFault(item, note)) {
        LogFromPc(item.raw, &item, pcBaud, t, true, note);
        return;
    }
    Answer a;
    const MsgKey key = Key(item.cls, item.id);
    const bool poll = IsPoll(item.cls, item.id, int(item.payload.size()));
    const bool msgPoll = poll && key == Key(0x06, 0x01) && item.payload.size() == 2;
    if (faults_.nakFor.count(key) || (poll && faults_.nakPolls.count(key))
        || (msgPoll && faults_.nakMsgPolls.count(Key(quint8(item.payload[0]), quint8(item.payload[1])))))
        a = Answer{Answer::Kind::Nak, {}, 0, QStringLiteral("refused")};
    else
        a = Dispatch(item);
    LogFromPc(item.raw, &item, pcBaud, t, true, a.note);
    Send(a, item, pcBaud, t + faults_.replyLatency);
}

void ReceiverModel::Send(const Answer& a, const DecodedItem& item, qint32 pcBaud, double t)
{
    QByteArray frame;
    QString note;
    switch (a.kind) {
    case Answer::Kind::None: break;
    case Answer::Kind::Ack: frame = EncodeUbx(0x05, 0x01, ClassAndId(item)); note = "ack"; break;
    case Answer::Kind::Nak: frame = EncodeUbx(0x05, 0x00, ClassAndId(item)); note = "nak"; break;
    case Answer::Kind::Reply: frame = a.reply; note = "reply"; break;
    }
    const int txCls = frame.size() > 3 ? quint8(frame[2]) : -1;
    const int txId = frame.size() > 3 ? quint8(frame[3]) : -1;
    qint32 switchAfter = a.linkMovesTo;
    // Output restarts with each link move too, so that runs compared with one
    // another see it at the same moments after the move, however long the
    // steps before it took.
    if (a.linkMovesTo > 0 && options_.outputFromFirstByte)
        nextSolution_ = t + NavPeriod();
    if (a.linkMovesTo > 0) {
        switch (faults_.linkMoveAck) {
        case LinkMoveAck::OldRateThenMove: break;
        case LinkMoveAck::AtNewRate: line_.SwitchAfterQueued(a.linkMovesTo); switchAfter = 0; break;
        case LinkMoveAck::Garbled: Garble(frame, note); break;
        case LinkMoveAck::None: frame.clear(); note.clear(); break;
        }
    }
    const bool load = item.cls == 0x06 && item.id == 0x09 && item.payload.size() >= 12 && item.payload.mid(8, 4).count('\0') < 4;
    if (load && faults_.loadAckGarbled && a.kind == Answer::Kind::Ack)
        Garble(frame, note);
    const bool dropped =
        !frame.isEmpty() && faults_.answersDropWhenFull && line_.PendingBytes(t) + frame.size() > options_.txBufferBytes;
    if (dropped) {
        frame.clear();
        note = "dropped: transmit buffer full";
    }
    if (!frame.isEmpty() || dropped) {
        TranscriptEntry e{t, TranscriptEntry::Direction::ToPc, frame, txCls, txId, pcBaud, line_.Baud(), true, note};
        transcript_.Add(e);
    }
    line_.Enqueue(frame, t, switchAfter);
    if (a.ackAfterReply) {
        const QByteArray ack = EncodeUbx(0x05, 0x01, ClassAndId(item));
        transcript_.Add(TranscriptEntry{t, TranscriptEntry::Direction::ToPc, ack, 0x05, 0x01, pcBaud, line_.Baud(),
                                        true, QStringLiteral("ack")});
        line_.Enqueue(ack, t);
    }
    if (a.linkMovesTo > 0 && !OnUsb() && faults_.moveLag > 0)
        deafUntil_ = line_.BusyUntil() + faults_.moveLag;
}

void ReceiverModel::LogFromPc(const QByteArray& bytes, const DecodedItem* item, qint32 pcBaud, double t,
                              bool understood, const QString& note)
{
    TranscriptEntry e;
    e.t = t;
    e.dir = TranscriptEntry::Direction::FromPc;
    e.bytes = bytes;
    if (item && item->kind != DecodedItem::Kind::Garbage) {
        e.cls = item->cls;
        e.id = item->id;
    }
    e.pcBaud = pcBaud;
    e.linkBaud = LinkBaud();
    e.understood = understood;
    e.note = note;
    transcript_.Add(e);
}

void ReceiverModel::FlushNoise()
{
    if (noise_.isEmpty())
        return;
    LogFromPc(noise_, nullptr, noiseBaud_, noiseTime_, false,
              QStringLiteral("noise: PC at %1, link at %2").arg(noiseBaud_).arg(LinkBaud()));
    noise_.clear();
}

void ReceiverModel::FlushGarbage()
{
    if (garbage_.isEmpty())
        return;
    LogFromPc(garbage_, nullptr, garbageBaud_, garbageTime_, false, QStringLiteral("garbage"));
    garbage_.clear();
}

} // namespace VarnexSim
