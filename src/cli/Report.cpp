#include "cli/Report.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

#ifndef _WIN32
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace Cli {
namespace {

QString Iso(const QDateTime& t) { return t.toUTC().toString(Qt::ISODateWithMs); }

QJsonObject FullStep(const StepRecord& s)
{
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
    return QJsonObject{{"name", s.name}, {"succeeded", s.succeeded}, {"frames", frames}};
}

// A step of a unit that passed: how many frames, how long their waits took.
QJsonObject StepSummary(const StepRecord& s)
{
    double seconds = 0;
    for (const FrameRecord& f : s.frames)
        seconds += f.seconds;
    return QJsonObject{{"name", s.name}, {"succeeded", s.succeeded}, {"frameCount", qint64(s.frames.size())},
                       {"waitSeconds", seconds}};
}

QJsonArray Items(const std::vector<Verification::Item>& items)
{
    QJsonArray array;
    for (const Verification::Item& i : items)
        array.append(QJsonObject{{"name", i.name},
                                 {"state", Verification::StateName(i.state)},
                                 {"wanted", qint64(i.want)},
                                 {"read", i.read ? QJsonValue(qint64(*i.read)) : QJsonValue()},
                                 {"readAt", i.rate},
                                 {"equal", i.equal}});
    return array;
}

qint64 Differences(const UnitRecord& u)
{
    return std::count_if(u.verification.begin(), u.verification.end(), [](const auto& i) { return !i.equal; });
}

} // namespace

QByteArray ToJsonLine(const UnitRecord& u, bool full)
{
    QJsonArray steps;
    for (const StepRecord& s : u.steps)
        steps.append(full ? FullStep(s) : StepSummary(s));
    QJsonObject o{
        {"id", u.id},
        {"station", u.station},
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
        {"reason", u.reason},
        {"failedStep", u.failedStep.isEmpty() ? QJsonValue() : QJsonValue(u.failedStep)},
        {"message", u.message},
        {"profile", QJsonObject{{"name", u.profileName},
                                {"file", u.profileFile.isEmpty() ? QJsonValue() : QJsonValue(u.profileFile)},
                                {"sha256", u.profileFile.isEmpty() ? QJsonValue() : QJsonValue(u.profileSha256)}}},
        {"steps", steps},
    };
    if (!u.interruptedStep.isEmpty())
        o.insert("interruptedStep", u.interruptedStep);
    if (!u.receiverSoftware.isEmpty() || !u.receiverHardware.isEmpty())
        o.insert("receiver", QJsonObject{{"software", u.receiverSoftware},
                                         {"hardware", u.receiverHardware},
                                         {"extensions", QJsonArray::fromStringList(u.receiverExtensions)},
                                         {"generation", u.receiverGeneration ? QJsonValue(u.receiverGeneration) : QJsonValue()},
                                         {"protocol", u.receiverProtocol.isEmpty() ? QJsonValue() : QJsonValue(u.receiverProtocol)}});
    else if (u.identityAsked || u.exitCode == 0)
        o.insert("receiver", QJsonValue::Null); // asked, or a second Ctrl-C came first: no identity
    if (u.verificationRan) {
        const qint64 differences = Differences(u);
        o.insert("verified", u.exitCode == 0 && differences == 0 && !u.verification.empty());
        o.insert("differences", differences);
        if (full)
            o.insert("verification", Items(u.verification));
        else
            o.insert("verification", QJsonObject{{"items", qint64(u.verification.size())}, {"differences", differences}});
    }
    return QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
}

#ifndef _WIN32
namespace {

// The report file opened for appending, created when missing; -1 with
// `error` filled when it cannot be.
int OpenForAppend(const QString& path, QString& error)
{
    // Readable too, to see whether the last line was cut; a file that may
    // only be written is appended to as it is.
    const QByteArray name = QFile::encodeName(path);
    int fd = ::open(name.constData(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0 && errno == EACCES)
        fd = ::open(name.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0)
        error = QString::fromLocal8Bit(std::strerror(errno));
    return fd;
}

// The file's last byte is there and is not a line end.
bool EndsCut(int fd)
{
    struct stat status {};
    char last = '\n';
    return ::fstat(fd, &status) == 0 && status.st_size > 0 && ::pread(fd, &last, 1, status.st_size - 1) == 1
           && last != '\n';
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
    // A cut last line gets its line end in the same write. One write: with
    // O_APPEND the kernel places it at the end as a whole, whatever other
    // processes append meanwhile.
    const QByteArray whole = EndsCut(fd) ? '\n' + line : line;
    ssize_t written;
    do
        written = ::write(fd, whole.constData(), std::size_t(whole.size()));
    while (written < 0 && errno == EINTR);
    if (written < 0)
        error = QString::fromLocal8Bit(std::strerror(errno));
    else if (written != whole.size())
        error = QStringLiteral("only %1 of %2 bytes written").arg(written).arg(whole.size());
    else if (::fsync(fd) != 0 && errno != EINVAL) // EINVAL: a device that keeps nothing to sync
        error = QString::fromLocal8Bit(std::strerror(errno));
    ::close(fd);
    return error;
#endif
}

} // namespace Cli
