#include "cli/Verdict.h"

#include "cli/Arguments.h"
#include "link/UbxMessages.h"
#include "receiver_config/Generation.h"

#include <QStringList>

#include <algorithm>
#include <iterator>

namespace Cli {
namespace {

constexpr int kDifferencesNamed = 3; // in a message; the record has them all

// What the operator calls each kind of step, by the start of its name.
struct StepWord {
    const char* step;
    const char* word;
};
constexpr StepWord kStepWords[] = {
    {"ResetToKnownState", "reset"},         {"FindReceiver", "search"},
    {"WriteConfiguration", "rate"},         {"SetDynamicNavigationParameters", "navigation"},
    {"SetTimePulse", "time pulse"},         {"SetMessageRate", "message rate"},
    {"SetBaudRate", "baud rate"},           {"WriteSetupToFlash", "save"},
    {"SetNavigation5", "navigation"},       {"SetOutput", "message rate"},
    {"SetKeys", "items"},
};

QString StepWordOf(const QString& step)
{
    for (const StepWord& w : kStepWords)
        if (step.startsWith(QLatin1String(w.step)))
            return QLatin1String(w.word);
    return step;
}

// What the proof could not undo, for the message: the receiver is left
// otherwise than found.
QString LeftWith(const Verification::ReadBack& readBack)
{
    if (readBack.putBack)
        return {};
    if (readBack.leftAt > 0)
        return QStringLiteral("; the receiver is left with its link at %1 bit/s, not as it was found").arg(readBack.leftAt);
    return QStringLiteral("; what the receiver is left running is not known");
}

// A load unanswered is no refusal: the receiver was judged by what it held after it.
QString LoadUnanswered(const Verification::ReadBack& readBack)
{
    return readBack.loadUnanswered ? QStringLiteral("a load of the saved configuration went unanswered (its ACK lost or "
                                                    "damaged); the receiver was judged by what it held after it")
                                   : QString();
}

Judgement Judged(const Verification::ReadBack& readBack);

} // namespace

Judgement JudgeReadBack(const Verification::ReadBack& readBack)
{
    Judgement judged = Judged(readBack);
    const QString unanswered = LoadUnanswered(readBack);
    if (!unanswered.isEmpty())
        judged.message = judged.message.isEmpty() ? unanswered : judged.message + QStringLiteral("; ") + unanswered;
    judged.message += LeftWith(readBack);
    if (judged.message.startsWith(u';'))
        judged.message.remove(0, 2);
    return judged;
}

namespace {

Judgement Judged(const Verification::ReadBack& readBack)
{
    using Verification::ReadBackEnd;
    switch (readBack.end) {
    case ReadBackEnd::Compared: break;
    case ReadBackEnd::PortLost:
        return {kStepFailed, QStringLiteral("port lost"), QStringLiteral("port lost during the read-back"),
                QStringLiteral("the port was lost during the read-back")};
    case ReadBackEnd::LinkLost:
        return {kStepFailed, QStringLiteral("link lost"), QStringLiteral("link lost during the read-back"),
                QStringLiteral("the receiver stopped answering during the read-back")};
    case ReadBackEnd::LinkLostAfterLoad:
        return {kStepFailed, QStringLiteral("link lost after the load"), QStringLiteral("link lost after the load"),
                QStringLiteral("the receiver stopped answering after loading its saved configuration")};
    case ReadBackEnd::LoadRefused:
        return {kDifference, QStringLiteral("load refused"), QStringLiteral("load refused (CFG-CFG)"),
                QStringLiteral("the receiver refused to load its saved configuration, so what it starts with is unknown")};
    }
    QStringList named;
    for (const Verification::Item& item : readBack.items)
        if (!item.equal)
            named << Verification::Describe(item);
    if (!named.isEmpty() || readBack.items.empty()) {
        QString message = named.mid(0, kDifferencesNamed).join(QStringLiteral("; "));
        if (named.size() > kDifferencesNamed)
            message += QStringLiteral("; and %1 more").arg(named.size() - kDifferencesNamed);
        if (!readBack.savedRead)
            message.prepend(QStringLiteral("the receiver did not load its saved configuration; "));
        return {kDifference, QStringLiteral("verification failed"),
                named.size() == 1 ? QStringLiteral("1 difference") : QStringLiteral("%1 differences").arg(named.size()),
                message};
    }
    return {kDone, QStringLiteral("done"), QStringLiteral("verified"), QString()};
}

} // namespace

QString MessageName(std::uint8_t msgClass, std::uint8_t msgId) { return UbxMessages::Name(msgClass, msgId); }

QString MessageOfFrame(const QString& spacedHex)
{
    const QStringList bytes = spacedHex.split(u' ');
    if (bytes.size() < 4)
        return QStringLiteral("no frame");
    return MessageName(std::uint8_t(bytes[2].toUInt(nullptr, 16)), std::uint8_t(bytes[3].toUInt(nullptr, 16)));
}

namespace {

// The frame the failed step ended on: its last command, not the polls that
// asked why afterwards; its last frame when it sent no command; none when
// it sent nothing.
const FrameRecord* EndedOn(const UnitRecord& unit)
{
    const auto step = std::find_if(unit.steps.rbegin(), unit.steps.rend(),
                                   [&](const StepRecord& s) { return s.name == unit.failedStep; });
    if (step == unit.steps.rend() || step->frames.empty())
        return nullptr;
    const auto command = std::find_if(step->frames.rbegin(), step->frames.rend(),
                                      [](const FrameRecord& f) { return f.wait == QLatin1String("ack"); });
    return command != step->frames.rend() ? &*command : &step->frames.back();
}

} // namespace

QString FailedStepReason(const UnitRecord& unit)
{
    const QString word = StepWordOf(unit.failedStep);
    const FrameRecord* last = EndedOn(unit);
    if (!last)
        return QStringLiteral("%1 failed").arg(word);
    const QString how = last->answer == QLatin1String("nak") ? QStringLiteral("refused") : QStringLiteral("unanswered");
    return QStringLiteral("%1 %2 (%3)").arg(word, how, MessageOfFrame(last->sent));
}

QString RefusedBy(const UnitRecord& unit)
{
    const FrameRecord* command = EndedOn(unit);
    if (unit.receiverHardware.isEmpty() || !command || command->wait != QLatin1String("ack")
        || command->answer != QLatin1String("nak"))
        return {};
    std::vector<std::uint8_t> frame;
    for (const QString& b : command->sent.split(u' '))
        frame.push_back(std::uint8_t(b.toUInt(nullptr, 16)));
    const auto form = VarnexCommsRoutines::FormOf(frame);
    const VarnexCommsRoutines::ReceiverVersion version{unit.receiverSoftware, unit.receiverHardware, unit.receiverExtensions};
    return QStringLiteral("the receiver, a %1, refused %2")
        .arg(VarnexCommsRoutines::Describe(VarnexCommsRoutines::KindOf(version), version),
             form ? QLatin1String(VarnexCommsRoutines::FormName(*form)) : MessageOfFrame(command->sent));
}

QString ReceiverWords(const UnitRecord& unit)
{
    if (!unit.receiverGeneration)
        return {};
    return VarnexCommsRoutines::GenerationName(unit.receiverGeneration)
           + (unit.receiverProtocol.isEmpty() ? QString() : QStringLiteral(" protocol ") + unit.receiverProtocol);
}

QString VerdictLine(const UnitRecord& unit, int number, const Tally* tally)
{
    const bool passed = unit.exitCode == kDone;
    QStringList parts{passed ? QStringLiteral("PASS") : QStringLiteral("FAIL")};
    if (number > 0)
        parts << QStringLiteral("unit %1").arg(number);
    if (!unit.serial.isEmpty())
        parts << QStringLiteral("SN %1").arg(unit.serial);
    parts << unit.profileName << unit.reason;
    if (passed)
        parts << QStringLiteral("%1 s").arg(unit.start.msecsTo(unit.end) / 1000.0, 0, 'f', 1);
    if (const QString receiver = ReceiverWords(unit); !receiver.isEmpty())
        parts << receiver;
    if (tally)
        parts << QStringLiteral("(%1 passed, %2 failed)").arg(tally->passed).arg(tally->failed);
    return parts.join(QStringLiteral("  "));
}

QString TallyLine(const Tally& tally)
{
    return QStringLiteral("Units: %1 passed, %2 failed%3")
        .arg(tally.passed)
        .arg(tally.failed)
        .arg(tally.lost ? QStringLiteral(", %1 report lines lost").arg(tally.lost) : QString());
}

} // namespace Cli
