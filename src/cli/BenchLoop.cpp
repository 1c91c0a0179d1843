#include "cli/BenchLoop.h"

#include "cli/Console.h"
#include "cli/Interrupts.h"
#include "cli/Session.h"
#include "cli/Texts.h"
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

namespace {

// The command line's reading of a station: the serial numbers asked, the
// units run and recorded through the session, and every change said on the
// console and, with --events, as a JSON line.
class StationReader {
public:
    StationReader(const Arguments& a, const Streams& s, Console& console, Session& session, const QString& path)
        : a_(a), s_(s), console_(console), session_(session), path_(path), events_(a, s, console), unitArguments_(a)
    {
    }

    Station::Hooks Hooks()
    {
        Station::Hooks h;
        h.stop = [] { return Interrupts::Count() > 0; };
        h.beforeUnit = [this](int number) { return BeforeUnit(number); };
        h.runUnit = [this](int number, const QString& path) { return RunUnit(number, path); };
        h.changed = [this](const Station::Change& change) { Changed(change); };
        h.noted = [this](Station::Note note, const QString& detail, double waited) { Noted(note, detail, waited); };
        h.waiting = [this](Station::State state, int unit, double waited) { Waiting(state, unit, waited); };
        session_.OnStep([this](int step, int steps, const QString& name) {
            events_.Put("running", {{"unit", bench_->UnitsRun()}, {"step", step}, {"steps", steps}, {"name", name}});
        });
        session_.OnJudged([this](const UnitRecord& unit, bool recorded) { Judged(unit, recorded); });
        return h;
    }
    void Watch(const Station::Bench& bench) { bench_ = &bench; }
    void End() { events_.Put("end", {{"passed", session_.Counts().passed}, {"failed", session_.Counts().failed}}); }

    // What the station runs, once at its start, for a reader that shows it.
    void Start()
    {
        events_.Put("station", {{"path", path_},
                                {"device", QLatin1String(a_.device->key)},
                                {"name", QString::fromUtf8(a_.device->name)},
                                {"profile", a_.profileFile.isEmpty() ? QJsonValue() : QJsonValue(a_.profileFile)},
                                {"sha256", a_.profileFile.isEmpty() ? QJsonValue() : QJsonValue(a_.profileSha256)},
                                {"steps", qint64(a_.device->steps.size())}});
    }

private:
    bool BeforeUnit(int number)
    {
        if (!a_.serialFromInput)
            return true;
        events_.Put("serial", {{"unit", number}});
        const std::optional<QString> serial = AskSerial(s_.in, console_, number, previous_);
        if (serial)
            unitArguments_.serial = previous_ = *serial;
        return serial.has_value();
    }

    Station::UnitEnd RunUnit(int number, const QString& path)
    {
        console_.SetProbing(false);
        events_.Put("running", {{"unit", number}, {"serial", unitArguments_.serial}});
        const Session::UnitResult result = session_.Unit(unitArguments_, number, path);
        console_.SetProbing(true);
        return {result.unit.exitCode == kDone, session_.Port().Rate()};
    }

    void Judged(const UnitRecord& unit, bool recorded)
    {
        events_.Put("done", {{"unit", bench_->UnitsRun()},
                             {"outcome", unit.outcome},
                             {"verdict", unit.exitCode == kDone ? "PASS" : "FAIL"},
                             {"exitCode", unit.exitCode},
                             {"serial", unit.serial},
                             {"reason", unit.reason},
                             {"receiver", ReceiverWords(unit)},
                             {"recorded", recorded},
                             {"record", a_.record.isEmpty() ? "none" : session_.LastRecordSpooled() ? "spooled" : "written"}});
    }

    void Changed(const Station::Change& change)
    {
        using Station::State;
        if (change.from == State::Left && change.to == State::Gone) {
            console_.Line(QStringLiteral("Unit %1 on port %2 is gone").arg(change.unit).arg(a_.port));
            events_.Put("gone", {{"unit", change.unit}});
        } else if (change.from == State::Left && change.to == State::Running) {
            console_.Line(QStringLiteral("A new board is on port %1 in place of unit %2").arg(a_.port).arg(change.unit - 1));
            events_.Put("gone", {{"unit", change.unit - 1}, {"newBoard", true}});
        } else if (change.to == State::Waiting || change.to == State::NoDevice) {
            events_.Put("waiting", {{"unit", bench_->UnitsRun() + 1}, {"device", change.to == State::Waiting}});
        }
    }

    void Noted(Station::Note note, const QString& detail, double waited)
    {
        switch (note) {
        case Station::Note::DeviceGone:
        case Station::Note::DeviceBack: {
            const bool back = note == Station::Note::DeviceBack;
            console_.Line(QStringLiteral("Port %1 (%2) is %3").arg(a_.port, path_, back ? QStringLiteral("back") : QStringLiteral("gone")));
            events_.Put("device", {{"there", back}, {"path", path_}});
            break;
        }
        case Station::Note::CannotOpen: {
            const QString why = PortNames::OpenFailure(path_, detail);
            console_.Line(Texts::CannotOpenPort(a_.port, why) + QStringLiteral("; waiting until it can be"));
            events_.Put("cannotOpen", {{"reason", why}});
            break;
        }
        case Station::Note::OpensAgain:
            console_.Line(QStringLiteral("Port %1 opens again after %2 s").arg(a_.port, Seconds(waited)));
            events_.Put("opens", {{"waited", waited}});
            break;
        case Station::Note::FoundAtRate:
            console_.Line(QStringLiteral("Unit %1 on port %2 answers at %3 bit/s").arg(bench_->UnitsRun()).arg(a_.port, detail));
            break;
        }
    }

    void Waiting(Station::State state, int unit, double waited)
    {
        const QString what = bench_->Current().Unopenable()  ? QStringLiteral("Waiting until it can be opened")
                             : state == Station::State::Left ? QStringLiteral("Unit %1 done: remove it").arg(unit)
                                                             : QStringLiteral("Waiting for unit %1").arg(unit);
        console_.Waiting(QStringLiteral("%1 on port %2 (%3): %4 s (Ctrl-C ends)").arg(what, a_.port, path_, Seconds(waited)),
                         int(waited) == 0);
    }

    const Arguments& a_;
    const Streams& s_;
    Console& console_;
    Session& session_;
    QString path_;
    EventsOut events_;
    Arguments unitArguments_;
    QString previous_;
    const Station::Bench* bench_ = nullptr;
};

} // namespace

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
    TargetPort(session.Port(), a, path);
    StationReader reader(a, s, console, session, path);
    Station::Bench bench(session.Port(), path, *a.device, reader.Hooks());
    reader.Watch(bench);
    reader.Start();
    console.SetProbing(true);
    bench.Run();
    console.SetProbing(false);
    session.End();
    reader.End();
    return session.ExitCode();
}

} // namespace Cli
