#include "harness/GoldenFrames.h"

#include <QFile>

QString HexFrame(const QString& hex) { return QString(hex).remove(u' ').toUpper(); }

QStringList GoldenProfileFrames(const QString& device)
{
    QFile file(QStringLiteral(VARNEX_TEST_DATA "/profiles/%1.txt").arg(device.toLower()));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList frames;
    for (const QByteArray& line : file.readAll().split('\n'))
        if (!line.trimmed().isEmpty())
            frames << HexFrame(QString::fromLatin1(line));
    return frames;
}

QStringList FramesAfterReset(const QStringList& frames)
{
    const QString cfgMsg = QStringLiteral("B5620601");
    int seen = 0;
    for (qsizetype i = 0; i < frames.size(); ++i) {
        if (HexFrame(frames[i]).startsWith(cfgMsg) && ++seen == 152) {
            QStringList after;
            for (const QString& f : frames.mid(i + 1))
                after << HexFrame(f);
            return after;
        }
    }
    return {};
}
