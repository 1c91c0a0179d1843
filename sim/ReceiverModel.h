#pragma once

#include "KeyStore.h"
#include "OutputLine.h"
#include "ReceiverConfig.h"
#include "Transcript.h"
#include "UbxCodec.h"

#include <QByteArray>
#include <QString>

#include <random>
#include <set>
#include <vector>

// A u-blox receiver as seen from the PC end of one serial link: by default
// the UBX-6-era unit the simulator has always been, or a unit of a later
// generation on request (ModelOptions::generation; Generation.h says how each
// one differs).
// Single-threaded and transport-independent: the transport tells it what the
// PC wrote, at which rate and when, and asks what has arrived at the PC by a
// given time. Times are seconds on whatever clock the transport uses.
namespace VarnexSim {

struct NavSolution;

// How the receiver acknowledges a CFG-PRT (on a key-value unit a VALSET or a
// load) that moves the rate of its own link.
enum class LinkMoveAck {
    OldRateThenMove, // the ACK leaves at the old rate, then the port moves (real receivers)
    AtNewRate,       // the port moves first; the ACK goes out at the new rate
    Garbled,         // the ACK leaves at the old rate but corrupted
    None,            // no ACK; the port moves at once
};

// Misbehaviour on demand, for the tool's failure paths.
struct Faults {
    bool silent = false;        // decodes what the PC sends but acts on and answers nothing
    int silentFromFrame = 0;    // the same from the n-th decoded frame on (1-based); 0 = off
    std::set<MsgKey> neverAck;  // frames of these class/id are dropped: not applied, not answered
    std::set<MsgKey> nakFor;    // frames of these class/id get ACK-NAK and are not applied
    std::set<int> nakPrtPorts;  // CFG-PRT settings for these receiver ports get ACK-NAK
    int answerPollsFrom = 0;    // polls before the n-th (1-based) go unanswered; 0 = all answered
    double replyLatency = 0;    // extra seconds between a frame's last byte and its answer
    double noiseInterval = 0;   // seconds between bursts of random bytes on the line; 0 = off
    int noiseBurst = 8;         // bytes in each burst
    quint32 noiseSeed = 1;
    LinkMoveAck linkMoveAck = LinkMoveAck::OldRateThenMove;
    double unplugAt = -1;       // seconds after power-up when the link goes away; < 0 never
    double unplugFor = -1;      // how long it stays away; < 0 for good
    std::set<MsgKey> nakPolls;  // polls of these class/id get ACK-NAK instead of their reply
    std::set<MsgKey> nakMsgPolls; // CFG-MSG polls of these messages get ACK-NAK instead of their reply
    bool nakLoad = false;       // a CFG-CFG with its load mask set gets ACK-NAK and loads nothing
    bool answersDropWhenFull = false; // an answer that does not fit in the transmit buffer is dropped, as output is
    bool loadAckGarbled = false;  // the ACK-ACK of a CFG-CFG that loads leaves corrupted (the load itself is done)
    bool reportsModeBit4 = false; // a UART port's CFG-PRT reply has the mode's reserved bit 4 set (0x8D0 for 0x8C0)
    // A unit that moves its link as a real one does: nothing sent at the new
    // rate is understood until the move's ACK has left and this many seconds
    // more (0: understood at once, as soon as the move is taken).
    double moveLag = 0;
};

// Bytes the receiver's transmit buffer holds: periodic output that does not
// fit is dropped, answers queue behind it (and are dropped as well under
// Faults::answersDropWhenFull, as a real unit's are).
inline constexpr int kTxBufferBytes = 4096;

struct ModelOptions {
    // 0: the unit as it has always been; 6, 8, 9 or 10: a u-blox unit of that
    // generation (Generation.h). A u-blox 10 has UART1 only: the link is there.
    int generation = 0;
    int linkPort = 1;           // receiver port (0..3) the PC is wired to
    qint32 startBaud = 0;       // when > 0, the link port's rate at power-up, over flash
    QString flashPath;          // flash image file; empty keeps flash in memory only
    QString transcriptPath;     // JSON-lines transcript; empty keeps it in memory only
    // Periodic output starts with the PC's first byte rather than at power-up,
    // and starts again with each link move, so two runs of the same work see
    // their output at the same moments (benchmarks compare runs this way).
    bool outputFromFirstByte = false;
    Faults faults;
    int txBufferBytes = kTxBufferBytes;
    // A busy unit of a later generation: besides its configured output it
    // sends messages the tool's reset does not name (NAV-PVT, NAV-SAT,
    // RXM-RAWX, rate 1 on the link port at the factory), as many bytes a
    // second as make its whole output at power-up `fill` of the line at the
    // power-up rate (9600 bit/s on USB). 0 = off; above 1 overfills the line.
    double fill = 0;
    // Boards swapped under one adapter: every `swapEvery` seconds the board
    // goes, the line is dead for `swapGap` seconds, then a fresh board at
    // factory state (flash of its own, in memory) is there. 0 = never.
    double swapEvery = 0;
    double swapGap = 0.8;
    // A PC listening at another rate than the link's reads framing errors,
    // a meaningless byte for each byte on the line, as on a real UART; off,
    // it hears nothing at a wrong rate.
    bool garbageAtOtherRates = true;
};

class ReceiverModel {
public:
    ReceiverModel(const ModelOptions& options, double now);

    // The PC wrote `bytes` at time `t` with its port at `pcBaud`. Bytes written at
    // a rate other than the link port's are line noise to the receiver.
    void PcWrite(const QByteArray& bytes, qint32 pcBaud, double t);
    // Bytes whose transmission finished by `now` and that a PC listening at
    // `pcBaud` could decode; everything finished is removed from the line.
    QByteArray TakeOutput(qint32 pcBaud, double now);
    // When the next byte will be complete on the line; infinity when nothing will be.
    double NextOutputTime() const;

    // Power cycle: running configuration from flash, line and decoder empty.
    void PowerCycle(double now);

    const ReceiverConfig& Running() const { return running_; }
    const ReceiverConfig& FlashConfig() const { return flash_; }
    // On a key-value unit the running configuration is the RAM layer's
    // items; setting it rewrites the items it covers.
    void SetRunning(const ReceiverConfig& config);
    int Generation() const { return generation_; }
    // The layers of a key-value unit (u-blox 9 and 10); empty on the others.
    const KeyStore& Keys() const { return keys_; }
    int LinkPort() const { return linkPort_; }
    // Rate at which the receiver listens on its link port; 0 on USB, which
    // understands the PC at any rate and is heard at any rate.
    qint32 LinkBaud() const { return OnUsb() ? 0 : running_.ports[linkPort_].baud; }
    bool OnUsb() const { return linkPort_ == kUsbPort; }
    // Rate at which the next message will leave on the link.
    qint32 LineBaud() const { return line_.Baud(); }
    QString FlashPath() const { return flashPath_; }
    QString LastError() const { return lastError_; }

    const Faults& GetFaults() const { return faults_; }
    void SetFaults(const Faults& faults);

    // The link going away (adapter unplugged) and coming back.
    void Unplug() { manualGone_ = true; ++manualUnplugs_; }
    void Replug() { manualGone_ = false; }
    bool LinkGone(double now) const;
    // How many times the link has gone away by `now`; a port opened before a
    // change of this count is dead.
    int UnplugCount(double now) const;

    const Transcript& GetTranscript() const { return transcript_; }
    Transcript& GetTranscript() { return transcript_; }
    // Periodic messages dropped because the transmit buffer was full.
    int DroppedMessages() const { return dropped_; }
    // Bytes queued in the transmit buffer and not yet sent by `now`.
    qint64 PendingOutput(double now) const { return line_.PendingBytes(now); }

    // The board under the adapter is replaced: nothing is heard or understood
    // for `gap` seconds from `now`, then a fresh board at factory state answers.
    void SwapBoard(double now, double gap);
    // 1 for the board there at power-up, counting up with each swap.
    int BoardIndex() const { return boardIndex_; }
    // Extra output of a busy unit, bytes a second (see ModelOptions::fill).
    double BusyBytesPerSecond() const { return busyRate_; }

    // The receiver's response to one frame; defined with the command handlers.
    struct Answer;

private:
    void Advance(double t);
    void AdvanceOutput(double t);
    void StartBoard(double now);
    ReceiverConfig Factory() const;
    qint32 LineRate() const;
    double ConfiguredBytesPerSecond() const;
    void EmitSolution(double t);
    void EmitBusy(double t, const NavSolution& fix);
    void EmitNoise(double t);
    double NavPeriod() const;
    void Reschedule(double oldPeriod, double now);
    double NextSolutionWithOutput() const;
    void Judge(char byte, qint32 pcBaud, double arrival);
    void HandleItem(const DecodedItem& item, qint32 pcBaud, double t);
    void HandleFrame(const DecodedItem& item, qint32 pcBaud, double t);
    bool SuppressedByFault(const DecodedItem& item, QString& note);
    Answer Dispatch(const DecodedItem& item);
    Answer OnCfgPrt(const QByteArray& p);
    Answer OnCfgMsg(const QByteArray& p);
    Answer OnCfgRate(const QByteArray& p);
    Answer OnCfgBlock(quint8 id, const QByteArray& p, QByteArray& stored, int size);
    Answer OnCfgCfg(const QByteArray& p);
    Answer OnCfgNav5(const QByteArray& p);
    Answer OnCfgTp5(const QByteArray& p);
    // The key-value unit's messages (KeyCommands.cpp).
    Answer OnKeyCfg(const QByteArray& p);
    Answer OnValSet(const QByteArray& p);
    Answer OnValGet(const QByteArray& p);
    Answer OnValDel(const QByteArray& p);
    Answer CommitWrites(const std::vector<KeyWrite>& writes);
    Answer RunFromKeys();
    KeyValues DefaultLayer() const;
    void StartKeyStore();
    bool StoreKeyLayers();
    void CancelTransaction();
    void Send(const Answer& a, const DecodedItem& item, qint32 pcBaud, double t);
    void LogFromPc(const QByteArray& bytes, const DecodedItem* item, qint32 pcBaud, double t, bool understood,
                   const QString& note);
    void FlushNoise();
    void FlushGarbage();

    ModelOptions options_;
    int linkPort_;
    QString flashPath_;
    QString lastError_;
    ReceiverConfig running_;
    ReceiverConfig flash_;
    int generation_;
    KeyStore keys_;
    // A VALSET transaction under way: its items so far, and whether one of
    // its messages already held an unknown item or no layer.
    bool transactionOpen_ = false;
    bool transactionBad_ = false;
    std::vector<KeyWrite> pending_;
    Faults faults_;
    OutputLine line_;
    UbxStreamDecoder decoder_;
    Transcript transcript_;
    std::mt19937 noiseRng_;
    double start_;
    double clock_; // latest time the transport has told
    double inputFree_;
    double handlingTime_ = 0; // arrival time of the frame being handled
    double nextSolution_;
    double nextNoise_;
    qint64 solutionIndex_ = 1;
    int framesSeen_ = 0;
    int pollsSeen_ = 0;
    int dropped_ = 0;
    int boardIndex_ = 1;
    double boardAbsentUntil_ = -kInfinity; // the line is dead before this time after a swap
    double nextSwap_ = kInfinity;
    // A unit moving its link understands nothing at the new rate before this
    // (Faults::moveLag); at the old rate nothing once the move is taken.
    double deafUntil_ = -kInfinity;
    double busyRate_ = 0;   // bytes a second of the busy unit's extra output
    std::array<double, 3> busyCredit_{}; // bytes of each extra message due but not yet sent
    bool manualGone_ = false;
    int manualUnplugs_ = 0;
    // Runs of bytes not yet logged: noise at a wrong rate, garbage between frames.
    QByteArray noise_;
    qint32 noiseBaud_ = 0;
    double noiseTime_ = 0;
    QByteArray garbage_;
    qint32 garbageBaud_ = 0;
    double garbageTime_ = 0;
};

} // namespace VarnexSim
