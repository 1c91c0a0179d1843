#include "cli/CommandLine.h"

#include "cli/Console.h"
#include "cli/Interrupts.h"
#include "link/CommsFrm.h"
#include "link/PortNames.h"
#include "link/SelectedPort.h"
#include "link/UbxProtocol.h"
#include "link/uBloxLowLevelComms.h"
#include "profiles/ProfileFile.h"
#include "profiles/Reading.h"
#include "profiles/StepNames.h"
#include "profiles/Verification.h"
#include "receiver_config/ReceiverVersion.h"
#include "receiver_config/VarnexCommsRoutines.h"
#include "support/Clock.h"
#include "support/SupportFunctions.h"
#include "support/Timing.h"

#include <QFile>
#include <QFileInfo>
#include <QSerialPort>
#include <QSysInfo>

#include <cerrno>
#include <cstdlib>

#ifndef _WIN32
#include <poll.h>
#include <unistd.h>
#endif

namespace Cli {
namespace {

using uBloxLowLevelComms::Answer;
using uBloxLowLevelComms::LinkObserver;

// What is in progress, for the interruption notices and an abandoned unit's record.
struct InProgress {
    const Arguments* arguments = nullptr;
    Console* console = nullptr;
    UnitRecord* unit = nullptr;
    int number = 0; // the unit's number in a loop; 0 for a single run
    std::function<void(const UnitRecord&)> record;
    std::function<void(int abandoned)> summary; // the loop's, counting abandoned units as failed
};
InProgress gNow;

QString UnitName()
{
    return gNow.number > 0 ? QStringLiteral("unit %1").arg(gNow.number) : QStringLiteral("the unit");
}

QString StepText()
{
    const Console& c = *gNow.console;
    return c.StepCount() > 0 ? QStringLiteral("step %1 of %2").arg(c.Step()).arg(c.StepCount())
                             : QStringLiteral("verifying");
}

// What the first and the second Ctrl-C will say, kept up to date at each step.
void UpdateNotices()
{
    if (!gNow.unit) {
        Interrupts::SetNotices("\nvarnexconfig: interrupted; no unit in progress\n",
                               "\nvarnexconfig: interrupted again\n");
        return;
    }
    Interrupts::SetNotices(QStringLiteral("\nvarnexconfig: finishing %1 (%2); Ctrl-C again abandons it\n")
                               .arg(UnitName(), StepText())
                               .toLocal8Bit(),
                           QStringLiteral("\nvarnexconfig: abandoning %1 in %2\n").arg(UnitName(), StepText()).toLocal8Bit());
}

// The second interruption: the port is closed at once, the unit recorded as
// interrupted in the step it was in, and the program ends.
void Abandon()
{
    CommsFrm::SerialPort().SetPortOpen(false);
    if (gNow.unit) {
        UnitRecord& unit = *gNow.unit;
        unit.interruptedStep = unit.steps.empty() ? QStringLiteral("FindBaudAndOpenPort") : unit.steps.back().name;
        unit.exitCode = kInterrupted;
        unit.outcome = QStringLiteral("interrupted");
        unit.end = QDateTime::currentDateTimeUtc();
        if (gNow.record)
            gNow.record(unit);
        gNow.console->Line(QStringLiteral("varnexconfig: port %1: %2 abandoned in step %3")
                               .arg(gNow.arguments->port, UnitName(), unit.interruptedStep));
    }
    if (gNow.summary)
        gNow.summary(gNow.unit ? 1 : 0);
    std::fflush(nullptr);
    std::_Exit(kInterrupted);
}

QString SpacedHex(const uBloxLowLevelComms::UbxBuffer& frame)
{
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(frame.data()), qsizetype(frame.size()))
                                   .toHex(' ')
                                   .toUpper());
}

QString AnswerName(Answer answer)
{
    switch (answer) {
    case Answer::Ack: return QStringLiteral("ack");
    case Answer::Nak: return QStringLiteral("nak");
    case Answer::Reply: return QStringLiteral("reply");
    case Answer::None: break;
    }
    return QStringLiteral("none");
}

// "CFG-PRT (06 00)": the configuration messages by name, any other by its numbers.
QString MessageName(std::uint8_t msgClass, std::uint8_t msgId)
{
    static const char* const kCfgNames[] = {"CFG-PRT", "CFG-MSG", nullptr, "CFG-NAV", nullptr,
                                            nullptr,   nullptr,   "CFG-TP", "CFG-RATE", "CFG-CFG"};
    const QString numbers = QStringLiteral("%1 %2").arg(msgClass, 2, 16, QLatin1Char('0')).arg(msgId, 2, 16, QLatin1Char('0')).toUpper();
    const char* name = msgClass == UbxProtocol::kClassCfg && msgId < std::size(kCfgNames) ? kCfgNames[msgId] : nullptr;
    return name ? QStringLiteral("%1 (%2)").arg(QLatin1String(name), numbers) : numbers;
}

// Points the serial control at the port of the arguments: PC port N, or a
// device path given outright; `path`, when given, in place of either.
void TargetPort(const Arguments& a, const QString& path)
{
    SerialControl& port = CommsFrm::SerialPort();
    SelectedPort = a.portNumber > 0 ? a.portNumber : 1;
    port.SetCommPort(SelectedPort);
    port.SetPathOverride(!path.isEmpty() ? path : a.portNumber > 0 ? QString() : a.port);
}

// Opens and closes the port once, so that a port that cannot be opened is
// told apart from a receiver that does not answer. Empty when it opened.
QString TryOpen()
{
    SerialControl& port = CommsFrm::SerialPort();
    if (!port.SetPortOpen(true))
        return port.LastError();
    port.SetPortOpen(false);
    return {};
}

// Collects the frames of a run into the record's current step.
class FrameRecorder {
public:
    FrameRecorder(UnitRecord& unit, Console& console) : unit_(unit), console_(console)
    {
        LinkObserver observer;
        observer.frameSent = [this](const uBloxLowLevelComms::UbxBuffer& frame) {
            Interrupts::SafePoint();
            if (!unit_.steps.empty())
                unit_.steps.back().frames.push_back({SpacedHex(frame), {}, {}, 0});
        };
        observer.waitEnded = [this](LinkObserver::Wait wait, std::uint8_t msgClass, std::uint8_t msgId, Answer answer,
                                    double seconds) {
            if (answer == Answer::Nak)
                console_.Line(QStringLiteral("varnexconfig: the receiver refused %1").arg(MessageName(msgClass, msgId)));
            if (unit_.steps.empty() || unit_.steps.back().frames.empty())
                return;
            FrameRecord& last = unit_.steps.back().frames.back();
            last.wait = wait == LinkObserver::Wait::Ack ? QStringLiteral("ack") : QStringLiteral("reply");
            last.answer = AnswerName(answer);
            last.seconds = seconds;
        };
        uBloxLowLevelComms::SetLinkObserver(std::move(observer));
    }
    ~FrameRecorder() { uBloxLowLevelComms::SetLinkObserver({}); }
    FrameRecorder(const FrameRecorder&) = delete;
    FrameRecorder& operator=(const FrameRecorder&) = delete;

private:
    UnitRecord& unit_;
    Console& console_;
};

void Finish(UnitRecord& unit, int exitCode, const QString& outcome)
{
    unit.exitCode = exitCode;
    unit.outcome = outcome;
    unit.end = QDateTime::currentDateTimeUtc();
}

// Proves the configuration and names every difference. The outcome when the
// proof could not finish (the port or the link lost, the load refused), else
// nothing, the items then telling whether the unit passed.
std::optional<Verification::ReadBackEnd> VerifyInto(UnitRecord& unit, const Arguments& a, Console& console,
                                                    Verification::Start start, const SetupOutputs::FoundLink& link)
{
    using Verification::ReadBackEnd;
    unit.steps.push_back({QStringLiteral("ReadBack"), false, {}});
    unit.verified = true;
    const Verification::ReadBack readBack =
        Verification::Prove(CommsFrm::SerialPort(), Verification::ExpectedState(*a.device), start, link);
    unit.verification = readBack.items;
    if (const auto version = VarnexCommsRoutines::ParseReceiverVersion(readBack.version)) {
        unit.receiverSoftware = version->software;
        unit.receiverHardware = version->hardware;
        unit.receiverExtensions = version->extensions;
    }
    if (readBack.end != ReadBackEnd::Compared) {
        unit.failedStep = unit.steps.back().name;
        static const std::pair<ReadBackEnd, const char*> kWhy[] = {
            {ReadBackEnd::PortLost, "the port was lost during the read-back"},
            {ReadBackEnd::LinkLost, "the receiver stopped answering during the read-back"},
            {ReadBackEnd::LinkLostAfterLoad, "the receiver stopped answering after loading its saved configuration"},
            {ReadBackEnd::LoadRefused, "the receiver refused to load its saved configuration, so what it starts with is unknown"},
        };
        for (const auto& [end, why] : kWhy)
            if (end == readBack.end)
                console.Line(QStringLiteral("varnexconfig: port %1: %2").arg(a.port, QLatin1String(why)));
        return readBack.end;
    }
    unit.steps.back().succeeded = Verification::AllEqual(unit.verification);
    for (const Verification::Item& item : unit.verification)
        if (!item.equal)
            console.Line(QStringLiteral("varnexconfig: port %1: %2").arg(a.port, Verification::Describe(item)));
    return std::nullopt;
}

bool DeviceThere(const QString& path)
{
#ifdef _WIN32
    Q_UNUSED(path);
    return true; // COMn names are no files; the opening tells
#else
    return QFileInfo::exists(path); // a dangling link is not there
#endif
}

// The receiver answers the fast runner's link search at some rate. The port is closed again.
bool Answers()
{
    const bool found = SetupOutputs::FindReceiver(CommsFrm::SerialPort()).has_value();
    CommsFrm::SerialPort().SetPortOpen(false);
    return found;
}

// The bench loop's wait: first until the unit in place has gone (when there
// is one), then until the next one answers. Only `path` is ever opened.
// Tells when the device goes and comes back, and how long it has waited.
// False when interrupted.
class UnitWait {
public:
    UnitWait(const Arguments& a, const QString& path, Console& console)
        : a_(a), path_(path), console_(console), there_(DeviceThere(path))
    {
    }

    bool UntilGone(int unitNumber)
    {
        double lastAnswer = Clock::Now();
        const bool gone = Loop([&] {
            if (!there_)
                return true;
            if (opens_ && Answers())
                lastAnswer = Clock::Now();
            return Clock::Now() - lastAnswer >= Timing::InSeconds(Timing::kUnitGoneAfter);
        });
        if (gone)
            console_.Line(QStringLiteral("Unit %1 on port %2 is gone").arg(unitNumber).arg(a_.port));
        return gone;
    }
    bool UntilPresent()
    {
        return Loop([&] { return opens_ && Answers(); });
    }
    void Begin()
    {
        start_ = Clock::Now();
        shown_ = -1;
    }

private:
    template <typename Done>
    bool Loop(Done done)
    {
        console_.SetQuiet(true);
        bool reached = false;
        while (!Interrupts::Count()) {
            Look();
            if (done()) {
                reached = true;
                break;
            }
            Show();
            SupportFunctions::Delay(Timing::kBenchLoopLook);
        }
        console_.SetQuiet(false);
        return reached;
    }
    void Look()
    {
        const bool there = DeviceThere(path_);
        if (there != there_)
            console_.Line(QStringLiteral("Port %1 (%2) is %3").arg(a_.port, path_, there ? QStringLiteral("back") : QStringLiteral("gone")));
        there_ = there;
        TargetPort(a_, path_);
        // A device that is there but will not open (another program holds it)
        // is said once, not taken for an empty port.
        const QString error = there ? TryOpen() : QString();
        opens_ = there && error.isEmpty();
        if (!error.isEmpty() && error != openError_)
            console_.Line(QStringLiteral("Port %1 cannot be opened: %2").arg(a_.port, PortNames::OpenFailure(path_, error)));
        openError_ = error;
    }
    void Show()
    {
        const int waited = int(Clock::Now() - start_);
        if (waited == shown_)
            return;
        console_.Waiting(QStringLiteral("Waiting for the next unit on port %1 (%2): %3 s (Ctrl-C ends)")
                             .arg(a_.port, path_)
                             .arg(waited),
                         shown_ < 0);
        shown_ = waited;
    }

    const Arguments& a_;
    QString path_;
    Console& console_;
    bool there_;
    bool opens_ = false;
    QString openError_;
    double start_ = 0;
    int shown_ = -1;
};

// One line of standard input (a barcode scanner ends it with Enter); nothing
// at the end of the input or when interrupted.
std::optional<QString> ReadSerial(std::FILE* in)
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
            if (c == '\n')
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

int Ports(const Streams& s)
{
    // The window's mapping, only what opens now: each PC port number, its
    // device, and what the system calls it.
    int listed = 0;
    for (const PortNames::Entry& entry : PortNames::Mapping()) {
        QSerialPort probe(entry.path);
        if (!probe.open(QIODevice::ReadWrite))
            continue;
        probe.close();
        const QString stable = PortNames::StableName(entry.number);
        std::fprintf(s.out, "%d\t%s\t%s%s\n", entry.number, qPrintable(entry.path),
                     qPrintable(entry.description.isEmpty() ? QStringLiteral("-") : entry.description),
                     stable != entry.path ? qPrintable(QStringLiteral("\t") + stable) : "");
        ++listed;
    }
    if (listed == 0)
        std::fprintf(s.err, "varnexconfig: no serial port can be opened (ports folder %s%s)\n",
                     qPrintable(PortNames::PortsFolder()),
                     QFileInfo::exists(PortNames::PortsFolder()) ? "" : ", not present: the system's ports");
    return kDone;
}

} // namespace

UnitRecord RunUnit(const Arguments& a, Console& console, const QString& path)
{
    UnitRecord unit;
    unit.command = a.command == Command::Verify ? QStringLiteral("verify") : QStringLiteral("configure");
    unit.device = QLatin1String(a.device->key);
    unit.port = a.port;
    unit.serial = a.serial;
    unit.host = QSysInfo::machineHostName();
    unit.start = QDateTime::currentDateTimeUtc();
    TargetPort(a, path);
    unit.path = CommsFrm::SerialPort().PortPath();
    const QString openError = TryOpen();
    if (!openError.isEmpty()) {
        unit.message = PortNames::OpenFailure(unit.path, openError);
        console.Line(QStringLiteral("varnexconfig: port %1 cannot be opened: %2").arg(a.port, unit.message));
        Finish(unit, kPortNotOpened, QStringLiteral("port not opened"));
        return unit;
    }

    gNow.unit = &unit;
    bool succeeded = false;
    SetupOutputs::FoundLink link;
    {
        FrameRecorder recorder(unit, console);
        if (a.command == Command::Configure) {
            console.BeginUnit(int(a.device->steps.size()));
            UpdateNotices();
            SetupOutputs::RunObserver observer;
            observer.stepStarted = [&](std::size_t index, const SetupOutputs::Step& step) {
                console.SetStep(int(index));
                unit.steps.push_back({SetupOutputs::StepName(step), false, {}});
                UpdateNotices();
                Interrupts::SafePoint();
            };
            observer.stepEnded = [&](std::size_t, const SetupOutputs::Step& step, bool ok) {
                unit.steps.back().succeeded = ok;
                if (!ok)
                    unit.failedStep = SetupOutputs::StepName(step);
            };
            succeeded = a.fast ? SetupOutputs::RunProfileFast(*a.device, CommsFrm::SerialPort(), observer)
                               : SetupOutputs::RunProfile(*a.device, observer);
        } else {
            console.BeginUnit(0);
            UpdateNotices();
            unit.steps.push_back({QStringLiteral("FindReceiver"), false, {}});
            const auto found = SetupOutputs::FindReceiver(CommsFrm::SerialPort());
            link = found.value_or(SetupOutputs::FoundLink{});
            succeeded = found.has_value();
            unit.steps.back().succeeded = succeeded;
            if (!succeeded) {
                unit.failedStep = unit.steps.back().name;
                console.Line(QStringLiteral("no receiver answered"));
            }
        }
        unit.message = console.LastMessage();
        if (!succeeded) {
            console.Line(QStringLiteral("varnexconfig: port %1: step %2 failed").arg(a.port, unit.failedStep));
            Finish(unit, kStepFailed, QStringLiteral("step failed"));
        } else if (a.verify) {
            const auto start = a.command == Command::Verify ? Verification::Start::Found : Verification::Start::JustConfigured;
            const auto unfinished = VerifyInto(unit, a, console, start, link);
            if (unfinished == Verification::ReadBackEnd::LoadRefused)
                Finish(unit, kDifference, Verification::EndName(*unfinished));
            else if (unfinished)
                Finish(unit, kStepFailed, Verification::EndName(*unfinished));
            else if (unit.steps.back().succeeded)
                Finish(unit, kDone, QStringLiteral("done"));
            else
                Finish(unit, kDifference, QStringLiteral("verification failed"));
        } else {
            Finish(unit, kDone, QStringLiteral("done"));
        }
    }
    // The receiver's identity, asked after the run's last frame so that the
    // run's own frames stay exactly the window's.
    if (succeeded && unit.receiverSoftware.isEmpty() && CommsFrm::SerialPort().PortOpen() && !CommsFrm::SerialPort().PortGone())
        if (const auto version = VarnexCommsRoutines::PollReceiverVersion(CommsFrm::SerialPort())) {
            unit.receiverSoftware = version->software;
            unit.receiverHardware = version->hardware;
            unit.receiverExtensions = version->extensions;
        }
    gNow.unit = nullptr;
    UpdateNotices();
    // As after the window's button: whatever the outcome, the port is free again.
    CommsFrm::SerialPort().SetPortOpen(false);
    return unit;
}

namespace {

// False, with the reason on the console, when `path` cannot be appended to;
// checked before anything is sent, so a run never ends with its record lost.
bool Writable(Console& console, const QString& path, const QString& what)
{
    const QString error = CheckWritable(path);
    if (!error.isEmpty())
        console.Line(QStringLiteral("varnexconfig: cannot write %1%2: %3").arg(what, path, error));
    return error.isEmpty();
}

// Writes a profile file to `out`, or to standard output when `out` is empty.
// Empty when it was written, else why not.
QString WriteOut(const QString& out, const std::string& text, std::FILE* standardOutput)
{
    if (out.isEmpty()) {
        std::fputs(text.c_str(), standardOutput);
        std::fflush(standardOutput);
        return {};
    }
    QFile file(out);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        || file.write(text.data(), qint64(text.size())) != qint64(text.size()) || !file.flush())
        return file.errorString();
    return {};
}

int WriteProfile(const Arguments& a, const Streams& s)
{
    const QString error = WriteOut(a.out, ProfileFile::Write(*a.device), s.out);
    if (error.isEmpty())
        return kDone;
    std::fprintf(s.err, "varnexconfig: cannot write %s: %s\n", qPrintable(a.out), qPrintable(error));
    return kUsage;
}

// Finds the receiver on the port and reads its configuration into a profile
// file named after the file written ("Clone" on standard output).
int ReadReceiverInto(const Arguments& a, const Streams& s)
{
    Console console(s.err, s.terminal);
    if (!a.out.isEmpty() && !Writable(console, a.out, {}))
        return kUsage;
    TargetPort(a, {});
    const QString openError = TryOpen();
    if (!openError.isEmpty()) {
        console.Line(QStringLiteral("varnexconfig: port %1 cannot be opened: %2")
                         .arg(a.port, PortNames::OpenFailure(CommsFrm::SerialPort().PortPath(), openError)));
        return kPortNotOpened;
    }
    SerialControl& port = CommsFrm::SerialPort();
    const std::string name = a.out.isEmpty() ? std::string("Clone") : QFileInfo(a.out).completeBaseName().toStdString();
    std::unique_ptr<ProfileFile::LoadedProfile> read;
    if (SetupOutputs::FindReceiver(port))
        read = Reading::ReadReceiver(port, a.saved, name);
    port.SetPortOpen(false);
    if (!read) {
        console.Line(QStringLiteral("varnexconfig: port %1: no receiver answered every poll").arg(a.port));
        return kStepFailed;
    }
    const QString error = WriteOut(a.out, ProfileFile::Write(read->Profile()), s.out);
    if (!error.isEmpty()) {
        console.Line(QStringLiteral("varnexconfig: cannot write %1: %2").arg(a.out, error));
        return kUsage;
    }
    return kDone;
}

} // namespace

int Run(const Arguments& a, const Streams& s)
{
    switch (a.command) {
    case Command::Help: std::fputs(qPrintable(Usage()), s.out); return kDone;
    case Command::Version: std::fprintf(s.out, "varnexconfig %s\n", VARNEXCONFIG_VERSION); return kDone;
    case Command::Ports: return Ports(s);
    case Command::Profile: return WriteProfile(a, s);
    case Command::Read: return ReadReceiverInto(a, s);
    case Command::Configure:
    case Command::Verify: break;
    }

    // A device from a file: read and checked whole before any port is touched.
    if (!a.profileFile.isEmpty()) {
        QFile file(a.profileFile);
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(s.err, "varnexconfig: cannot read %s: %s\n", qPrintable(a.profileFile), qPrintable(file.errorString()));
            return kUsage;
        }
        const QByteArray text = file.readAll();
        const ProfileFile::ReadResult loaded =
            ProfileFile::Read(std::string_view(text.constData(), std::size_t(text.size())), a.profileFile.toStdString());
        if (!loaded.profile) {
            std::fprintf(s.err, "varnexconfig: %s\n", loaded.error.c_str());
            return kUsage;
        }
        Arguments fromFile = a;
        fromFile.profileFile.clear();
        fromFile.device = &loaded.profile->Profile();
        return Run(fromFile, s);
    }

    Console console(s.err, s.terminal);
    if (!a.report.isEmpty() && !Writable(console, a.report, QStringLiteral("the report ")))
        return kUsage;
    int unitNumber = 0;
    // Writes the unit's line; false (and the console names the unit) when it is lost.
    const auto record = [&](const UnitRecord& unit) {
        if (a.report.isEmpty())
            return true;
        const QString error = AppendWhole(a.report, ToJsonLine(unit));
        if (!error.isEmpty())
            console.Line(QStringLiteral("varnexconfig: the report line of unit %1 on port %2 (%3, serial \"%4\") is lost: "
                                        "cannot write %5: %6")
                             .arg(unitNumber)
                             .arg(a.port, unit.outcome, unit.serial, a.report, error));
        return error.isEmpty();
    };
    int done = 0, failed = 0, lost = 0, lastFailure = kDone;
    const auto summary = [&](int abandoned) {
        console.Line(QStringLiteral("Units: %1 done, %2 failed%3")
                         .arg(done)
                         .arg(failed + abandoned)
                         .arg(lost ? QStringLiteral(", %1 report lines lost").arg(lost) : QString()));
    };
    gNow = InProgress{&a, &console, nullptr, 0, [&](const UnitRecord& u) { record(u); }, {}};
    Interrupts::Guard guard(Abandon);
    UpdateNotices();
    Arguments unitArguments = a;

    if (!a.repeat) {
        unitNumber = 1;
        if (a.serialFromInput) {
            const std::optional<QString> serial = ReadSerial(s.in);
            if (!serial) {
                console.Line(QStringLiteral("varnexconfig: no serial number on standard input"));
                return Interrupts::Count() ? kInterrupted : kUsage;
            }
            unitArguments.serial = *serial;
        }
        const UnitRecord unit = RunUnit(unitArguments, console);
        const bool recorded = record(unit);
        return (unit.exitCode == kDone && !recorded) ? kReportLost : unit.exitCode;
    }

    // One device for the whole loop: a number is resolved once to a name that
    // keeps leading to the same device, so a device that takes the number
    // later (USB renumbering) is never sent anything.
    const QString path = a.portNumber > 0 ? PortNames::StableName(a.portNumber) : a.port;
    if (path.isEmpty()) {
        console.Line(QStringLiteral("varnexconfig: port %1 leads to no device").arg(a.port));
        return kPortNotOpened;
    }
    console.Line(QStringLiteral("Bench loop on port %1: %2").arg(a.port, path));
    gNow.summary = summary;
    UnitWait wait(a, path, console);
    for (bool first = true; !Interrupts::Count(); first = false) {
        // The next unit's label can be scanned while the last one is still connected.
        if (a.serialFromInput) {
            console.Line(QStringLiteral("Serial number of unit %1:").arg(done + failed + 1));
            const std::optional<QString> serial = ReadSerial(s.in);
            if (!serial)
                break;
            unitArguments.serial = *serial;
        }
        wait.Begin();
        if (!first && !wait.UntilGone(done + failed))
            break;
        if (!wait.UntilPresent())
            break;
        unitNumber = done + failed + 1;
        gNow.number = unitNumber;
        const UnitRecord unit = RunUnit(unitArguments, console, path);
        const bool recorded = record(unit);
        if (!recorded)
            ++lost;
        if (unit.exitCode == kDone) {
            ++done;
        } else {
            ++failed;
            lastFailure = unit.exitCode;
        }
        console.Line(QStringLiteral("Unit %1 on port %2: %3").arg(unitNumber).arg(a.port, unit.outcome));
        gNow.number = 0;
    }
    summary(0);
    gNow = {};
    return failed > 0 ? lastFailure : lost > 0 ? kReportLost : Interrupts::Count() > 1 ? kInterrupted : kDone;
}

int Main(const QStringList& args, const Streams& s)
{
    const Parsed parsed = Parse(args);
    if (!parsed.error.isEmpty()) {
        std::fprintf(s.err, "varnexconfig: %s (see varnexconfig --help)\n", qPrintable(parsed.error));
        return kUsage;
    }
    return Run(parsed.arguments, s);
}

} // namespace Cli
