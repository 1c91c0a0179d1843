#include "cli/Report.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#ifndef _WIN32
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#endif

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
        {"host", u.host},
        {"start", Iso(u.start)},
        {"end", Iso(u.end)},
        {"durationSeconds", u.start.msecsTo(u.end) / 1000.0},
        {"outcome", u.outcome},
        {"exitCode", u.exitCode},
        {"failedStep", u.failedStep.isEmpty() ? QJsonValue() : QJsonValue(u.failedStep)},
        {"message", u.message},
        {"steps", steps},
    };
    if (!u.interruptedStep.isEmpty())
        o.insert("interruptedStep", u.interruptedStep);
    if (!u.receiverSoftware.isEmpty() || !u.receiverHardware.isEmpty())
        o.insert("receiver", QJsonObject{{"software", u.receiverSoftware},
                                         {"hardware", u.receiverHardware},
                                         {"extensions", QJsonArray::fromStringList(u.receiverExtensions)}});
    if (u.verified) {
        QJsonArray items;
        for (const Verification::Item& i : u.verification)
            items.append(QJsonObject{{"name", i.name},
                                     {"state", Verification::StateName(i.state)},
                                     {"wanted", qint64(i.want)},
                                     {"read", i.read ? QJsonValue(qint64(*i.read)) : QJsonValue()},
                                     {"readAt", i.rate},
                                     {"equal", i.equal}});
        o.insert("verification", items);
    }
    return QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
}

#ifndef _WIN32
namespace {

// The report file opened for appending, created when missing; -1 with
// `error` filled when it cannot be.
int OpenForAppend(const QString& path, QString& error)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0)
        error = QString::fromLocal8Bit(std::strerror(errno));
    return fd;
}

} // namespace
#endif

QString CheckWritable(const QString& path)
{
#ifdef _WIN32
    QFile file(path);
    if (!file.open(QIODevice::Append | QIODevice::WriteOnly))
        return file.errorString();
    return {};
#else
    QString error;
    const int fd = OpenForAppend(path, error);
    if (fd >= 0)
        ::close(fd);
    return error;
#endif
}

QString AppendWhole(const QString& path, const QByteArray& line)
{
#ifdef _WIN32
    QFile file(path);
    if (!file.open(QIODevice::Append | QIODevice::WriteOnly | QIODevice::Unbuffered))
        return file.errorString();
    if (file.write(line) != line.size())
        return file.errorString();
    return {};
#else
    QString error;
    const int fd = OpenForAppend(path, error);
    if (fd < 0)
        return error;
    // One write: with O_APPEND the kernel places it at the end as a whole,
    // whatever other processes append meanwhile.
    ssize_t written;
    do
        written = ::write(fd, line.constData(), std::size_t(line.size()));
    while (written < 0 && errno == EINTR);
    if (written < 0)
        error = QString::fromLocal8Bit(std::strerror(errno));
    else if (written != line.size())
        error = QStringLiteral("only %1 of %2 bytes written").arg(written).arg(line.size());
    else if (::fsync(fd) != 0 && errno != EINVAL) // EINVAL: a device that keeps nothing to sync
        error = QString::fromLocal8Bit(std::strerror(errno));
    ::close(fd);
    return error;
#endif
}

} // namespace Cli
