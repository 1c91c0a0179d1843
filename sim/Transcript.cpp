#include "Transcript.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

namespace VarnexSim {

QByteArray TranscriptLine(const TranscriptEntry& e)
{
    QJsonObject o{
        {"t", e.t},
        {"dir", e.dir == TranscriptEntry::Direction::FromPc ? "rx" : "tx"},
        {"hex", QString::fromLatin1(e.bytes.toHex(' '))},
        {"len", int(e.bytes.size())},
        {"pcBaud", e.pcBaud},
        {"linkBaud", e.linkBaud},
        {"understood", e.understood},
        {"note", e.note},
    };
    if (e.cls >= 0) {
        o.insert("cls", QStringLiteral("%1").arg(e.cls, 2, 16, QChar('0')));
        o.insert("id", QStringLiteral("%1").arg(e.id, 2, 16, QChar('0')));
    }
    return QJsonDocument(o).toJson(QJsonDocument::Compact) + "\n";
}

bool Transcript::OpenFile(const QString& path, QString& error)
{
    if (file_.isOpen())
        file_.close();
    if (path.isEmpty())
        return true;
    file_.setFileName(path);
    if (!file_.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        error = QStringLiteral("cannot write transcript %1: %2").arg(path, file_.errorString());
        return false;
    }
    return true;
}

void Transcript::Add(const TranscriptEntry& entry)
{
    entries_.push_back(entry);
    if (file_.isOpen()) {
        file_.write(TranscriptLine(entry));
        file_.flush();
    }
}

QStringList Transcript::FramesFromPc() const
{
    QStringList frames;
    for (const auto& e : entries_)
        if (e.IsFrameFromPc())
            frames << QString::fromLatin1(e.bytes.toHex(' '));
    return frames;
}

} // namespace VarnexSim
