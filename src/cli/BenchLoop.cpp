#include "cli/BenchLoop.h"

#include "cli/Console.h"
#include "cli/Interrupts.h"
#include "cli/Presence.h"
#include "cli/Session.h"
#include "cli/Texts.h"
#include "link/CommsFrm.h"
#include "link/PortNames.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>

#ifndef _WIN32
#include <poll.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace Cli {
namespace {

// One line of `in`; nothing at the end of the input or when interrupted.
std::optional<QString> ReadLine(std::FILE* in)
{
    QByteArray line;
#ifndef _WIN32
    const int fd = ::fileno(in);
    if (fd >= 0) {
        for (;;) {
            pollfd p{fd, POLLIN, 0};
            if (Interrupts::Count())
                return std::nullopt;
            const int ready = ::poll(&p, 1, 200);
            if (ready < 0 && errno != EINTR)
                return std::nullopt;
            if (ready <= 0)
                continue;
            char c = 0;
            const ssize_t n = ::read(fd, &c, 1);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return line.isEmpty() ? std::nullopt : std::optional<QString>(QString::fromLocal8Bit(line).trimmed());
            if (c == '\n' || c == '\r')
                return QString::fromLocal8Bit(line).trimmed();
            line.append(c);
        }
    }
#endif
    char buffer[256];
    if (!std::fgets(buffer, sizeof buffer, in))
        return std::nullopt;
    return QString::fromLocal8Bit(buffer).trimmed();
}

// Drops what a terminal holds unread: a label scanned while the last unit was
// still on the bench belongs to no unit yet.
void DropTypedAhead(std::FILE* in)
{
#ifndef _WIN32
    const int fd = ::fileno(in);
    if (fd >= 0 && ::isatty(fd))
        ::tcflush(fd, TCIFLUSH);
#else
    Q_UNUSED(in);
#endif
}

// The device `path` by its /dev/serial/by-id alias when the system has one.
QString ByIdAlias(const QString& path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    for (const PortNames::SystemPort& port : PortNames::SystemPorts())
        if (!port.byIdName.isEmpty() && QFileInfo(port.path).canonicalFilePath() == canonical)
            return QStringLiteral("/dev/serial/by-id/") + port.byIdName;
    return path;
}

} // namespace

LoopDevice PinDevice(const Arguments& a)
{
    if (a.portNumber == 0)
        return {a.port, {}, {}};
    const QFileInfo entry(PortNames::PathFor(a.portNumber));
    if (QFileInfo::exists(PortNames::PortsFolder()) && entry.isSymLink()) {
        // A link to a name that is itself stable (by-id, by-path) is kept;
        // a bare device node is taken by its adapter's by-id alias.
        const QString target = entry.symLinkTarget();
        return {QFileInfo(target).isSymLink() ? target : ByIdAlias(target), entry.filePath(), target};
    }
    return {PortNames::StableName(a.portNumber), {}, {}};
}

QString MappingMoved(const LoopDevice& device)
{
    if (device.entry.isEmpty())
        return {};
    const QString now = QFileInfo(device.entry).symLinkTarget();
    return now == device.target ? QString() : now.isEmpty() ? QStringLiteral("nothing") : now;
}

std::optional<QString> AskSerial(std::FILE* in, Console& console, int number, const QString& previous)
{
    DropTypedAhead(in);
    console.Verdict(QStringLiteral("Serial number of unit %1:").arg(number));
    for (;;) {
        const std::optional<QString> serial = ReadLine(in);
        if (!serial || (!serial->isEmpty() && *serial != previous))
            return serial;
        console.Verdict(serial->isEmpty() ? QStringLiteral("An empty line is no serial number; serial number of unit %1:").arg(number)
                                          : QStringLiteral("\"%1\" is the last unit's serial number; serial number of unit %2:")
                                                .arg(*serial)
                                                .arg(number));
    }
}

int RunBenchLoop(const Arguments& a, const Streams& s, Console& console, Session& session)
{
    // One device for the whole loop, resolved once to what does not move, so
    // that a device that takes the number later (USB renumbering) is never
    // sent anything.
    const LoopDevice device = PinDevice(a);
    if (device.path.isEmpty()) {
        console.Line(Texts::Said(QStringLiteral("port %1 leads to no device").arg(a.port)));
        return kPortNotOpened;
    }
    console.Line(QStringLiteral("Bench loop on port %1: %2").arg(a.port, device.path));
    bool moved = false;
    const auto kept = [&] {
        const QString now = MappingMoved(device);
        if (!now.isEmpty() && !moved)
            console.Verdict(Texts::Said(QStringLiteral("port %1: %2 now leads to %3, not to %4 as when the loop began; "
                                                       "nothing sent, the loop ends")
                                            .arg(a.port, device.entry, now, device.target)));
        moved = !now.isEmpty();
        return !moved;
    };
    Presence presence(a, device.path, console, kept);
    bool passed = false;
    Arguments unitArguments = a;
    QString previous;
    Presence::After after = Presence::After::Gone;
    for (int number = 1; !Interrupts::Count(); ++number) {
        if (number > 1 && (after = presence.UntilGone(number - 1, CommsFrm::SerialPort().Rate(), passed)) == Presence::After::Ended)
            break;
        if (a.serialFromInput) {
            const std::optional<QString> serial = AskSerial(s.in, console, number, previous);
            if (!serial)
                break;
            unitArguments.serial = previous = *serial;
        }
        // A new board seen in the last one's place runs at once.
        if ((after != Presence::After::NewBoard && !presence.UntilPresent(number)) || !kept())
            break;
        passed = session.Unit(unitArguments, number, device.path).exitCode == kDone;
    }
    session.End();
    const int code = session.ExitCode();
    return moved && code != kReportLost ? kPortNotOpened : code;
}

} // namespace Cli
