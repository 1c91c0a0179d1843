#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <vector>

// Everything that crossed the link: each frame (or run of noise) the PC sent,
// as the receiver judged it, and each reply the receiver queued. Kept in
// memory for tests and, when a file is given, written as one JSON object a line.
namespace VarnexSim {

struct TranscriptEntry {
    enum class Direction { FromPc, ToPc };
    double t = 0;                 // seconds on the transport's clock
    Direction dir = Direction::FromPc;
    QByteArray bytes;             // the whole frame or run of bytes, as on the wire
    int cls = -1;                 // class and id of a UBX frame, -1 otherwise
    int id = -1;
    qint32 pcBaud = 0;            // rate the PC was talking at
    qint32 linkBaud = 0;          // rate of the receiver's link port
    bool understood = false;      // a frame the receiver decoded and acted on
    QString note;                 // "ack", "nak", "reply", "noise", "garbage", "bad checksum", ...

    bool IsFrameFromPc() const { return dir == Direction::FromPc && understood; }
};

class Transcript {
public:
    // Lines also go to `path` (truncated first) when it is not empty.
    bool OpenFile(const QString& path, QString& error);
    void Add(const TranscriptEntry& entry);
    const std::vector<TranscriptEntry>& Entries() const { return entries_; }
    // Hex of every frame the receiver understood, in order ("b5 62 06 08 ...").
    QStringList FramesFromPc() const;
    void Clear() { entries_.clear(); }

private:
    std::vector<TranscriptEntry> entries_;
    QFile file_;
};

QByteArray TranscriptLine(const TranscriptEntry& entry);

} // namespace VarnexSim
