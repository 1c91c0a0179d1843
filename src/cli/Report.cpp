#include "cli/Report.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace Cli {
namespace {

QString Iso(const QDateTime& t) { return t.toUTC().toString(Qt::ISODateWithMs); }

} // namespace

QByteArray ToJsonLine(const UnitRecord& u)
{
    QJsonArray steps;
    for (const StepRecord& s : u.steps) {
        QJsonArray frames;
        for (const FrameRecord& f : s.frames) {
            QJsonObject frame{{"sent", f.sent}};
            if (!f.wait.isEmpty()) {
                frame.insert("wait", f.wait);
                frame.insert("answer", f.answer);
                frame.insert("seconds", f.seconds);
            }
            frames.append(frame);
        }
        steps.append(QJsonObject{{"name", s.name}, {"succeeded", s.succeeded}, {"frames", frames}});
    }
    QJsonObject o{
        {"tool", "varnexconfig"},
        {"version", QStringLiteral(VARNEXCONFIG_VERSION)},
        {"command", u.command},
        {"device", u.device},
        {"port", u.port},
        {"path", u.path},
        {"serial", u.serial},
        {"start", Iso(u.start)},
        {"end", Iso(u.end)},
        {"durationSeconds", u.start.msecsTo(u.end) / 1000.0},
        {"outcome", u.outcome},
        {"exitCode", u.exitCode},
        {"failedStep", u.failedStep.isEmpty() ? QJsonValue() : QJsonValue(u.failedStep)},
        {"message", u.message},
        {"steps", steps},
    };
    if (u.verified) {
        QJsonArray items;
        for (const Verification::Item& i : u.verification)
            items.append(QJsonObject{{"name", i.name},
                                     {"state", Verification::StateName(i.state)},
                                     {"wanted", qint64(i.want)},
                                     {"read", i.read ? QJsonValue(qint64(*i.read)) : QJsonValue()},
                                     {"equal", i.equal}});
        o.insert("verification", items);
    }
    return QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
}

QString CheckWritable(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::Append | QIODevice::WriteOnly))
        return file.errorString();
    return {};
}

QString AppendWhole(const QString& path, const QByteArray& line)
{
    QFile file(path);
    if (!file.open(QIODevice::Append | QIODevice::WriteOnly | QIODevice::Unbuffered))
        return file.errorString();
    const qint64 before = file.size();
    if (file.write(line) == line.size() && file.flush())
        return {};
    const QString error = file.errorString();
    file.resize(before);
    return error.isEmpty() ? QStringLiteral("short write") : error;
}

} // namespace Cli
