#include "cli/BenchLoop.h"

#include "cli/Console.h"
#include "cli/Interrupts.h"
#include "cli/Session.h"
#include "cli/Texts.h"
#include "link/CommsFrm.h"
#include "cli/UnitRun.h"
#include "link/PortNames.h"
#include "link/SerialControl.h"
#include "station/StableName.h"
#include "station/Station.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>

#include <cerrno>
#include <memory>

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

// The station's changes as JSON lines on standard output, for a window or a
// factory system; nothing when not asked for. A line that cannot be written
// is said once on the console.
class EventsOut {
public:
    EventsOut(const Arguments& a, const Streams& s, Console& console) : a_(a), s_(s), console_(console) {}

    void Put(const char* event, QJsonObject fields)
    {
        if (!a_.events)
            return;
        fields.insert(QStringLiteral("event"), QLatin1String(event));
        fields.insert(QStringLiteral("port"), a_.port);
        fields.insert(QStringLiteral("time"), QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs));
        const QString error = Texts::Put(s_.out, QJsonDocument(fields).toJson(QJsonDocument::Compact) + '\n');
        if (!error.isEmpty() && !failed_)
            console_.Line(Texts::CannotWrite(QStringLiteral("standard output"), error));
        failed_ = failed_ || !error.isEmpty();
    }

private:
    const Arguments& a_;
    const Streams& s_;
    Console& console_;
    bool failed_ = false;
};

QString Seconds(double seconds) { return QString::number(int(seconds)); }

} // namespace

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
    const QString given = a.portNumber > 0 ? PortNames::PathFor(a.portNumber) : a.port;
    if (given.isEmpty()) {
        console.Line(Texts::Said(QStringLiteral("port %1 leads to no device").arg(a.port)));
        return kPortNotOpened;
    }
    // The loop keeps to the most stable name the port has and follows it to
    // whatever device is behind it now (a receiver with its own USB port
    // brings a device of its own with each board).
    const QString path = Station::StableNameOf(given);
    console.Line(QStringLiteral("Bench loop on port %1: %2").arg(a.port, path));
    EventsOut events(a, s, console);
    Arguments unitArguments = a;
    QString previous;
    SerialControl& port = CommsFrm::SerialPort();
    TargetPort(a, path);
    Station::Hooks hooks;
    std::unique_ptr<Station::Bench> bench;
    hooks.stop = [] { return Interrupts::Count() > 0; };
    hooks.beforeUnit = [&](int number) {
        if (!a.serialFromInput)
            return true;
        const std::optional<QString> serial = AskSerial(s.in, console, number, previous);
        if (serial)
            unitArguments.serial = previous = *serial;
        return serial.has_value();
    };
    session.OnStep([&](int step, int steps, const QString& name) {
        events.Put("running", {{"unit", bench->UnitsRun()}, {"step", step}, {"steps", steps}, {"name", name}});
    });
    session.OnJudged([&](const UnitRecord& unit, bool recorded) {
        events.Put("done", {{"unit", bench->UnitsRun()},
                            {"outcome", unit.outcome},
                            {"verdict", unit.exitCode == kDone ? "PASS" : "FAIL"},
                            {"exitCode", unit.exitCode},
                            {"serial", unit.serial},
                            {"reason", unit.reason},
                            {"recorded", recorded},
                            {"record", a.record.isEmpty() ? "none" : session.LastRecordSpooled() ? "spooled" : "written"}});
    });
    hooks.runUnit = [&](int number, const QString& unitPath) {
        console.SetProbing(false);
        events.Put("running", {{"unit", number}, {"serial", unitArguments.serial}});
        const Session::UnitResult result = session.Unit(unitArguments, number, unitPath);
        console.SetProbing(true);
        return Station::UnitEnd{result.unit.exitCode == kDone, port.Rate()};
    };
    hooks.changed = [&](const Station::Change& change) {
        using Station::State;
        if (change.from == State::Left && change.to == State::Gone) {
            console.Line(QStringLiteral("Unit %1 on port %2 is gone").arg(change.unit).arg(a.port));
            events.Put("gone", {{"unit", change.unit}});
        } else if (change.from == State::Left && change.to == State::Running) {
            console.Line(QStringLiteral("A new board is on port %1 in place of unit %2").arg(a.port).arg(change.unit - 1));
            events.Put("gone", {{"unit", change.unit - 1}, {"newBoard", true}});
        } else if (change.to == State::Waiting || change.to == State::NoDevice) {
            events.Put("waiting", {{"unit", bench->UnitsRun() + 1}, {"device", change.to == State::Waiting}});
        }
    };
    hooks.noted = [&](Station::Note note, const QString& detail, double waited) {
        switch (note) {
        case Station::Note::DeviceGone:
        case Station::Note::DeviceBack: {
            const bool back = note == Station::Note::DeviceBack;
            console.Line(QStringLiteral("Port %1 (%2) is %3").arg(a.port, path, back ? QStringLiteral("back") : QStringLiteral("gone")));
            events.Put("device", {{"there", back}, {"path", path}});
            break;
        }
        case Station::Note::CannotOpen: {
            const QString why = PortNames::OpenFailure(path, detail);
            console.Line(Texts::CannotOpenPort(a.port, why) + QStringLiteral("; waiting until it can be"));
            events.Put("cannotOpen", {{"reason", why}});
            break;
        }
        case Station::Note::OpensAgain:
            console.Line(QStringLiteral("Port %1 opens again after %2 s").arg(a.port, Seconds(waited)));
            events.Put("opens", {{"waited", waited}});
            break;
        case Station::Note::FoundAtRate:
            console.Line(QStringLiteral("Unit %1 on port %2 answers at %3 bit/s").arg(bench->UnitsRun()).arg(a.port, detail));
            break;
        }
    };
    hooks.waiting = [&](Station::State state, int unit, double waited) {
        const Station::Machine& m = bench->Current();
        const QString what = m.Unopenable()                 ? QStringLiteral("Waiting until it can be opened")
                             : state == Station::State::Left ? QStringLiteral("Unit %1 done: remove it").arg(unit)
                                                             : QStringLiteral("Waiting for unit %1").arg(unit);
        console.Waiting(QStringLiteral("%1 on port %2 (%3): %4 s (Ctrl-C ends)").arg(what, a.port, path, Seconds(waited)),
                        int(waited) == 0);
    };
    bench = std::make_unique<Station::Bench>(port, path, *a.device, std::move(hooks));
    console.SetProbing(true);
    bench->Run();
    console.SetProbing(false);
    session.End();
    events.Put("end", {{"passed", session.Counts().passed}, {"failed", session.Counts().failed}});
    return session.ExitCode();
}

} // namespace Cli
