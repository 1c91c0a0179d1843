#include "cli/UnitRun.h"

#include "cli/Console.h"
#include "cli/Interrupts.h"
#include "cli/Texts.h"
#include "cli/Verdict.h"
#include "link/PortNames.h"
#include "link/SerialControl.h"
#include "link/SelectedPort.h"
#include "link/uBloxLowLevelComms.h"
#include "profiles/Fitness.h"
#include "profiles/StepNames.h"
#include "receiver_config/Generation.h"
#include "profiles/Verification.h"
#include "receiver_config/ReceiverVersion.h"
#include "receiver_config/VarnexCommsRoutines.h"

#include <QSysInfo>
#include <QUuid>

namespace Cli {
namespace {

using uBloxLowLevelComms::Answer;
using uBloxLowLevelComms::LinkObserver;

// The step a unit is in before its first step starts: opening the port.
const QString kOpening = QStringLiteral("FindBaudAndOpenPort");

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
                                    double seconds, int framesBack) {
            if (answer == Answer::Nak)
                console_.Line(Texts::Said(QStringLiteral("the receiver refused %1 (%2)")
                                              .arg(MessageName(msgClass, msgId),
                                                   QStringLiteral("%1 %2")
                                                       .arg(msgClass, 2, 16, QLatin1Char('0'))
                                                       .arg(msgId, 2, 16, QLatin1Char('0'))
                                                       .toUpper())));
            if (unit_.steps.empty() || unit_.steps.back().frames.size() <= std::size_t(framesBack))
                return;
            auto& frames = unit_.steps.back().frames;
            FrameRecord& last = frames[frames.size() - 1 - std::size_t(framesBack)];
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

void Finish(UnitRecord& unit, int exitCode, const QString& outcome, const QString& reason)
{
    unit.exitCode = exitCode;
    unit.outcome = outcome;
    unit.reason = reason;
    unit.end = QDateTime::currentDateTimeUtc();
}

// The receiver's identity into the record, and what it tells of its generation.
void Identify(UnitRecord& unit, const VarnexCommsRoutines::ReceiverVersion& version)
{
    const VarnexCommsRoutines::ReceiverKind kind = VarnexCommsRoutines::KindOf(version);
    unit.receiverSoftware = version.software;
    unit.receiverHardware = version.hardware;
    unit.receiverExtensions = version.extensions;
    unit.receiverGeneration = kind.generation;
    unit.receiverProtocol = VarnexCommsRoutines::ProtocolText(kind);
}

// Asked once the unit answers, before anything but polls goes out to it:
// its identity, and whether the device can work on it at all. False when it
// cannot (the record then says why).
bool Admit(UnitRecord& unit, const Arguments& a, Console& console, SerialControl& port)
{
    unit.identityAsked = true;
    const auto version = VarnexCommsRoutines::PollReceiverVersion(port);
    if (!version)
        return true; // a unit that does not tell goes on as the device's steps find it
    Identify(unit, *version);
    const QString misfit = SetupOutputs::Misfit(*a.device, *version);
    if (misfit.isEmpty())
        return true;
    unit.refusedFor = true;
    console.Line(Texts::Said(QStringLiteral("port %1: %2").arg(a.port, misfit)));
    unit.message = misfit;
    return false;
}

// A unit the device cannot work on: nothing sent to it but polls.
void FinishRefused(UnitRecord& unit)
{
    const QString message = unit.message;
    Finish(unit, kUsage, QStringLiteral("not for this receiver"),
           QStringLiteral("not for %1").arg(VarnexCommsRoutines::GenerationName(unit.receiverGeneration)));
    unit.message = message;
}

// Proves the configuration (the running and the saved one after a search,
// the saved one after a run) and judges the unit by it.
void VerifyInto(SerialControl& port, UnitRecord& unit, const Arguments& a, Console& console,
                const SetupOutputs::FoundLink& link)
{
    unit.steps.push_back({QStringLiteral("ReadBack"), false, {}});
    unit.verificationRan = true;
    const auto start = a.command == Command::Verify ? Verification::Start::Found : Verification::Start::JustConfigured;
    const Verification::ReadBack readBack =
        Verification::Prove(port, Verification::ExpectedState(*a.device), start, link, !unit.identityAsked);
    unit.verification = readBack.items;
    if (const auto version = VarnexCommsRoutines::ParseReceiverVersion(readBack.version))
        Identify(unit, *version);
    const Judgement judged = JudgeReadBack(readBack);
    unit.steps.back().succeeded = judged.exitCode == kDone;
    if (!unit.steps.back().succeeded)
        unit.failedStep = unit.steps.back().name;
    if (readBack.end == Verification::ReadBackEnd::Compared && !readBack.savedRead)
        console.Line(Texts::Said(QStringLiteral("port %1: the receiver did not load its saved configuration, "
                                                "so what it starts with is unknown").arg(a.port)));
    for (const Verification::Item& item : unit.verification)
        if (!item.equal)
            console.Line(Texts::Said(QStringLiteral("port %1: %2").arg(a.port, Verification::Describe(item))));
    if (readBack.end != Verification::ReadBackEnd::Compared)
        console.Line(Texts::Said(QStringLiteral("port %1: %2").arg(a.port, judged.message)));
    unit.message = judged.message;
    Finish(unit, judged.exitCode, judged.outcome, judged.reason);
}

// The device's run (configure) or the search for the receiver (verify).
bool RunSteps(SerialControl& port, UnitRecord& unit, const Arguments& a, Console& console, const UnitWatch& watch,
              SetupOutputs::FoundLink& link)
{
    if (a.command == Command::Verify) {
        console.BeginUnit(0);
        unit.steps.push_back({QStringLiteral("FindReceiver"), false, {}});
        // A unit to be proven is first looked for where its profile leaves its link.
        const auto receiver = Verification::FindForProof(port, Verification::ExpectedState(*a.device));
        const bool found = receiver.has_value();
        link = receiver.value_or(SetupOutputs::FoundLink{});
        unit.steps.back().succeeded = found;
        if (!found) {
            unit.failedStep = unit.steps.back().name;
            console.Line(QStringLiteral("no receiver answered"));
        } else if (!Admit(unit, a, console, port)) {
            // Its search may have moved a port with its poll: put back.
            Verification::PutBackFound(port, link);
            unit.failedStep = unit.steps.back().name;
            return false;
        }
        return found;
    }
    console.BeginUnit(int(a.device->steps.size()));
    SetupOutputs::RunObserver observer;
    observer.stepStarted = [&](std::size_t index, const SetupOutputs::Step& step) {
        console.SetStep(int(index));
        unit.steps.push_back({SetupOutputs::StepName(step), false, {}});
        if (watch.stepStarted)
            watch.stepStarted();
        Interrupts::SafePoint();
    };
    observer.stepEnded = [&](std::size_t, const SetupOutputs::Step& step, bool ok) {
        unit.steps.back().succeeded = ok;
        if (!ok)
            unit.failedStep = SetupOutputs::StepName(step);
    };
    observer.admit = [&](SerialControl& found, const SetupOutputs::FoundLink&) { return Admit(unit, a, console, found); };
    observer.noted = [&](const QString& what) {
        console.Line(Texts::Said(QStringLiteral("port %1: %2").arg(a.port, what)));
        unit.notes << what;
    };
    return a.fast ? SetupOutputs::RunProfileFast(*a.device, port, observer, &link)
                  : SetupOutputs::RunProfile(*a.device, port, observer);
}

// The receiver's identity, asked after the run's last frame so that the
// run's own frames stay exactly the window's.
void ReadIdentity(SerialControl& port, UnitRecord& unit)
{
    unit.identityAsked = true;
    if (unit.receiverSoftware.isEmpty() && port.PortOpen() && !port.PortGone())
        if (const auto version = VarnexCommsRoutines::PollReceiverVersion(port))
            Identify(unit, *version);
}

UnitRecord Begin(const Arguments& a)
{
    UnitRecord unit;
    unit.command = a.command == Command::Verify ? QStringLiteral("verify") : QStringLiteral("configure");
    unit.device = QLatin1String(a.device->key);
    unit.profileName = QString::fromUtf8(a.device->name);
    unit.profileFile = a.profileFile;
    unit.profileSha256 = a.profileSha256;
    unit.port = a.port;
    unit.serial = a.serial;
    unit.host = QSysInfo::machineHostName();
    unit.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    unit.station = unit.host + u':' + unit.port;
    unit.start = QDateTime::currentDateTimeUtc();
    return unit;
}

} // namespace

void TargetPort(SerialControl& port, const Arguments& a, const QString& path)
{
    SelectedPort = a.portNumber > 0 ? a.portNumber : 1;
    port.SetCommPort(SelectedPort);
    port.SetPathOverride(!path.isEmpty() ? path : a.portNumber > 0 ? QString() : a.port);
}

QString TryOpen(SerialControl& port)
{
    if (!port.SetPortOpen(true))
        return port.LastError();
    port.SetPortOpen(false);
    return {};
}

void MarkAbandoned(UnitRecord& unit)
{
    unit.interruptedStep = unit.steps.empty() ? kOpening : unit.steps.back().name;
    unit.failedStep = unit.interruptedStep;
    unit.message = QStringLiteral("abandoned in step %1").arg(unit.interruptedStep);
    Finish(unit, kInterrupted, QStringLiteral("interrupted"), QStringLiteral("interrupted in %1").arg(unit.interruptedStep));
}

UnitRecord RunUnit(SerialControl& port, const Arguments& a, Console& console, const QString& path, UnitWatch& watch)
{
    UnitRecord unit = Begin(a);
    TargetPort(port, a, path);
    unit.path = port.PortPath();
    if (const QString openError = TryOpen(port); !openError.isEmpty()) {
        unit.message = PortNames::OpenFailure(unit.path, openError);
        unit.failedStep = kOpening;
        console.Line(Texts::CannotOpenPort(a.port, unit.message));
        Finish(unit, kPortNotOpened, QStringLiteral("port not opened"), QStringLiteral("port cannot be opened"));
        return unit;
    }
    watch.unit = &unit;
    if (watch.stepStarted)
        watch.stepStarted();
    bool succeeded = false;
    SetupOutputs::FoundLink link;
    {
        FrameRecorder recorder(unit, console);
        succeeded = RunSteps(port, unit, a, console, watch, link);
        if (!unit.refusedFor)
            unit.message = console.LastMessage();
        if (!succeeded && unit.refusedFor) {
            FinishRefused(unit);
        } else if (!succeeded) {
            console.Line(Texts::Said(QStringLiteral("port %1: step %2 failed").arg(a.port, unit.failedStep)));
            Finish(unit, kStepFailed, QStringLiteral("step failed"), FailedStepReason(unit));
            if (unit.message.isEmpty())
                unit.message = unit.reason;
            // A unit known by its identity says which receiver refused what.
            if (const QString refused = RefusedBy(unit); !refused.isEmpty())
                unit.message += QStringLiteral("; ") + refused;
            for (const QString& note : unit.notes)
                unit.message += QStringLiteral("; ") + note;
        } else if (a.verify) {
            VerifyInto(port, unit, a, console, link);
        } else {
            Finish(unit, kDone, QStringLiteral("done"), QStringLiteral("configured"));
        }
    }
    watch.final = true;
    if (watch.stepStarted)
        watch.stepStarted();
    if (succeeded)
        ReadIdentity(port, unit);
    watch.unit = nullptr;
    watch.final = false;
    if (watch.stepStarted)
        watch.stepStarted();
    // As after the window's button: whatever the outcome, the port is free again.
    port.SetPortOpen(false);
    return unit;
}

} // namespace Cli
