#include "cli/CommandLine.h"

#include "cli/Console.h"
#include "link/CommsFrm.h"
#include "link/PortNames.h"
#include "link/SelectedPort.h"
#include "link/uBloxLowLevelComms.h"
#include "profiles/StepNames.h"
#include "profiles/Verification.h"
#include "receiver_config/VarnexCommsRoutines.h"
#include "support/Clock.h"
#include "support/SupportFunctions.h"


#include <csignal>

namespace Cli {
namespace {

using uBloxLowLevelComms::Answer;
using uBloxLowLevelComms::LinkObserver;

// Ctrl-C during the bench loop: the unit in progress finishes, the wait for
// the next one ends. A second Ctrl-C ends the program at once.
volatile std::sig_atomic_t gInterrupted = 0;

extern "C" void OnInterrupt(int)
{
    gInterrupted = 1;
    std::signal(SIGINT, SIG_DFL);
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
    const char* name = msgClass == 0x06 && msgId < std::size(kCfgNames) ? kCfgNames[msgId] : nullptr;
    return name ? QStringLiteral("%1 (%2)").arg(QLatin1String(name), numbers) : numbers;
}

// Points the serial control at the port of the arguments: PC port N, or a
// device path given outright.
void TargetPort(const Arguments& a)
{
    SerialControl& port = CommsFrm::SerialPort();
    SelectedPort = a.portNumber > 0 ? a.portNumber : 1;
    port.SetCommPort(SelectedPort);
    port.SetPathOverride(a.portNumber > 0 ? QString() : a.port);
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

// Reads the running and the saved configuration back and names every
// difference. False when the port vanished during the read-back.
bool VerifyInto(UnitRecord& unit, const Arguments& a, Console& console)
{
    unit.steps.push_back({QStringLiteral("ReadBack"), false, {}});
    unit.verified = true;
    const Verification::ReadBack readBack = Verification::ReadBackRunningAndSaved(CommsFrm::SerialPort(), Verification::ExpectedState(*a.device));
    unit.verification = readBack.items;
    if (readBack.end == Verification::ReadBackEnd::PortLost) {
        unit.failedStep = unit.steps.back().name;
        console.Line(QStringLiteral("varnexconfig: port %1: the port was lost during the read-back").arg(a.port));
        return false;
    }
    if (!readBack.savedRead)
        console.Line(QStringLiteral("varnexconfig: port %1: the receiver did not load its saved configuration, "
                                    "so what it starts with is unknown").arg(a.port));
    unit.steps.back().succeeded = Verification::AllEqual(unit.verification);
    for (const Verification::Item& item : unit.verification)
        if (!item.equal)
            console.Line(QStringLiteral("varnexconfig: port %1: %2").arg(a.port, Verification::Describe(item)));
    return true;
}

// The bench loop's probes, quiet and short, so that Ctrl-C ends a wait promptly.
// Present: the port opens and the receiver talks (any rate: bytes are bytes).
bool WaitUntilPresent(Console& console)
{
    SerialControl& port = CommsFrm::SerialPort();
    console.SetQuiet(true);
    bool present = false;
    while (!gInterrupted && !present) {
        if (port.SetPortOpen(true)) {
            port.Input();
            for (int slice = 0; slice < 10 && !gInterrupted && !present; ++slice) {
                port.WaitForInput(0.1);
                present = !port.Input().isEmpty();
            }
            port.SetPortOpen(false);
        }
        if (!present)
            SupportFunctions::Delay(0.5f);
    }
    console.SetQuiet(false);
    return present;
}

// Gone: the port vanished, or the receiver fell silent and leaves a poll
// unanswered. The port is probed at the rate the last run left it at.
bool WaitUntilGone(Console& console)
{
    SerialControl& port = CommsFrm::SerialPort();
    console.SetQuiet(true);
    bool gone = false;
    double lastHeard = Clock::Now();
    if (!port.SetPortOpen(true))
        gone = true;
    while (!gInterrupted && !gone) {
        port.WaitForInput(0.1);
        if (!port.Input().isEmpty()) {
            lastHeard = Clock::Now();
        } else if (Clock::Now() - lastHeard > 1.0) {
            gone = !VarnexCommsRoutines::ReadConfiguration().has_value();
            lastHeard = Clock::Now();
        }
    }
    port.SetPortOpen(false);
    console.SetQuiet(false);
    return gone;
}

int Ports(const Streams& s)
{
    // The window's mapping: each PC port number, its device, what the system says it is.
    for (const PortNames::Entry& entry : PortNames::Mapping())
        std::fprintf(s.out, "%d\t%s\t%s\n", entry.number, qPrintable(entry.path), qPrintable(entry.description));
    return kDone;
}

} // namespace

UnitRecord RunUnit(const Arguments& a, Console& console)
{
    UnitRecord unit;
    unit.command = a.command == Command::Verify ? QStringLiteral("verify") : QStringLiteral("configure");
    unit.device = QLatin1String(a.device->key);
    unit.port = a.port;
    unit.serial = a.serial;
    unit.start = QDateTime::currentDateTimeUtc();
    TargetPort(a);
    unit.path = CommsFrm::SerialPort().PortPath();
    const QString openError = TryOpen();
    if (!openError.isEmpty()) {
        unit.message = openError;
        console.Line(QStringLiteral("varnexconfig: port %1 cannot be opened: %2").arg(a.port, openError));
        Finish(unit, kPortNotOpened, QStringLiteral("port not opened"));
        return unit;
    }

    FrameRecorder recorder(unit, console);
    bool succeeded = false;
    if (a.command == Command::Configure) {
        console.BeginUnit(int(a.device->steps.size()));
        SetupOutputs::RunObserver observer;
        observer.stepStarted = [&](std::size_t index, const SetupOutputs::Step& step) {
            console.SetStep(int(index));
            unit.steps.push_back({SetupOutputs::StepName(step), false, {}});
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
        unit.steps.push_back({QStringLiteral("FindReceiver"), false, {}});
        succeeded = SetupOutputs::FindReceiver(CommsFrm::SerialPort()).has_value();
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
        if (!VerifyInto(unit, a, console))
            Finish(unit, kStepFailed, QStringLiteral("port lost"));
        else if (unit.steps.back().succeeded)
            Finish(unit, kDone, QStringLiteral("done"));
        else
            Finish(unit, kDifference, QStringLiteral("verification failed"));
    } else {
        Finish(unit, kDone, QStringLiteral("done"));
    }
    // As after the window's button: whatever the outcome, the port is free again.
    CommsFrm::SerialPort().SetPortOpen(false);
    return unit;
}

int Run(const Arguments& a, const Streams& s)
{
    switch (a.command) {
    case Command::Help: std::fputs(qPrintable(Usage()), s.out); return kDone;
    case Command::Version: std::fprintf(s.out, "varnexconfig %s\n", VARNEXCONFIG_VERSION); return kDone;
    case Command::Ports: return Ports(s);
    case Command::Configure:
    case Command::Verify: break;
    }

    Console console(s.err, s.terminal);
    if (!a.report.isEmpty()) {
        const QString error = CheckWritable(a.report);
        if (!error.isEmpty()) {
            console.Line(QStringLiteral("varnexconfig: cannot write the report %1: %2").arg(a.report, error));
            return kUsage;
        }
    }
    const auto record = [&](const UnitRecord& unit) {
        if (a.report.isEmpty())
            return true;
        const QString error = AppendWhole(a.report, ToJsonLine(unit));
        if (!error.isEmpty())
            console.Line(QStringLiteral("varnexconfig: cannot write the report %1: %2").arg(a.report, error));
        return error.isEmpty();
    };

    if (!a.repeat) {
        const UnitRecord unit = RunUnit(a, console);
        const bool recorded = record(unit);
        return (unit.exitCode == kDone && !recorded) ? kStepFailed : unit.exitCode;
    }

    gInterrupted = 0;
    std::signal(SIGINT, OnInterrupt);
    int done = 0;
    int failed = 0;
    int lastFailure = kDone;
    for (bool first = true; !gInterrupted; first = false) {
        if (!first) {
            console.Line(QStringLiteral("Waiting for the next unit on port %1 (Ctrl-C ends)").arg(a.port));
            if (!WaitUntilGone(console) || !WaitUntilPresent(console))
                break;
        }
        const UnitRecord unit = RunUnit(a, console);
        const bool ok = record(unit) && unit.exitCode == kDone;
        (ok ? done : failed) += 1;
        if (!ok)
            lastFailure = unit.exitCode == kDone ? kStepFailed : unit.exitCode;
        console.Line(QStringLiteral("Unit %1 on port %2: %3").arg(done + failed).arg(a.port, unit.outcome));
    }
    std::signal(SIGINT, SIG_DFL);
    console.Line(QStringLiteral("Units: %1 done, %2 failed").arg(done).arg(failed));
    return failed == 0 ? kDone : lastFailure;
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
