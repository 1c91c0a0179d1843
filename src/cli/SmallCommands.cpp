#include "cli/Commands.h"

#include "cli/Texts.h"
#include "cli/Verdict.h"
#include "link/PortNames.h"
#include "link/SerialControl.h"
#include "link/UbxMessages.h"
#include "profiles/ProfileFile.h"
#include "profiles/Reading.h"
#include "profiles/Translation.h"
#include "receiver_config/Generation.h"
#include "profiles/StepFrames.h"
#include "profiles/StepNames.h"
#include "profiles/Verification.h"
#include "receiver_config/ResetList.h"
#include "support/Timing.h"
#include "cli/UnitRun.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace Cli {
namespace {

// Standard output, checked: output nobody got is an error, not a success.
int Output(const Streams& s, const QByteArray& bytes)
{
    const QString error = Texts::Put(s.out, bytes);
    if (error.isEmpty())
        return kDone;
    Texts::Put(s.err, (Texts::CannotWrite(QStringLiteral("standard output"), error) + u'\n').toLocal8Bit());
    return kReportLost;
}

int Say(const Streams& s, const QString& line, int code)
{
    Texts::Put(s.err, (line + u'\n').toLocal8Bit());
    return code;
}

// A file written aside and renamed into place only when whole, so a failure
// never leaves a cut or empty file where the old one was.
QString WriteWhole(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return file.errorString();
    return {};
}

// Where a profile's text goes: `out`, or standard output when empty.
int WriteProfileText(const Arguments& a, const Streams& s, const std::string& text)
{
    const QByteArray bytes = QByteArray::fromStdString(text);
    if (a.out.isEmpty())
        return Output(s, bytes);
    const QString error = WriteWhole(a.out, bytes);
    return error.isEmpty() ? kDone : Say(s, Texts::CannotWrite(a.out, error), kReportLost);
}

// The link's final rate on the device's NMEA port, and what it outputs there.
QString ProfileLine(const SetupOutputs::Profile& p)
{
    std::int64_t rate = 0;
    QStringList outputs;
    const QString onPort = QStringLiteral("port %1").arg(p.nmeaPort);
    for (const Verification::Expectation& e : Verification::ExpectedState(p))
        for (const Verification::Want& w : e.wants) {
            if (e.port == p.nmeaPort && w.label == QLatin1String("baudRate"))
                rate = w.value;
            if (e.message == &UbxMessages::kCfgMsg && w.label == onPort && w.value != 0)
                outputs << e.name.section(u' ', 1);
        }
    return QStringLiteral("%1\t%2\t%3 bit/s on port %4\t%5\n")
        .arg(QLatin1String(p.key), QLatin1String(p.name))
        .arg(rate)
        .arg(p.nmeaPort)
        .arg(outputs.isEmpty() ? QStringLiteral("no outputs") : outputs.join(u' '));
}

// The frame as it goes out: the sender writes the sync bytes.
QString FrameHex(uBloxLowLevelComms::UbxBuffer frame)
{
    if (frame.size() >= 2) {
        frame[0] = UbxProtocol::kSync1;
        frame[1] = UbxProtocol::kSync2;
    }
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(frame.data()), qsizetype(frame.size())).toHex(' ').toUpper());
}

} // namespace

FromFile LoadProfileFile(const QString& path)
{
    FromFile loaded;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        loaded.error = Texts::CannotRead(path, file.errorString());
        return loaded;
    }
    const QByteArray text = file.readAll();
    ProfileFile::ReadResult read = ProfileFile::Read(std::string_view(text.constData(), std::size_t(text.size())), path.toStdString());
    if (!read.profile)
        loaded.error = Texts::Said(QString::fromStdString(read.error));
    loaded.profile = std::move(read.profile);
    loaded.sha256 = QString::fromLatin1(QCryptographicHash::hash(text, QCryptographicHash::Sha256).toHex());
    return loaded;
}

int Commands::Help(const Arguments& a, const Streams& s) { return Output(s, Usage(a.helpFor).toLocal8Bit()); }

int Commands::Version(const Arguments&, const Streams& s)
{
    return Output(s, QByteArrayLiteral("varnexconfig " VARNEXCONFIG_VERSION "\n"));
}

int Commands::Ports(const Arguments& a, const Streams& s)
{
    // The window's mapping, only what opens now: each PC port number, its
    // device, and what the system calls it.
    QJsonArray ports;
    QByteArray lines;
    SerialControl probe;
    for (const PortNames::Entry& entry : PortNames::Mapping()) {
        // Opened as the window opens it, through the serial control.
        probe.SetPathOverride(entry.path);
        const bool opens = probe.SetPortOpen(true);
        probe.SetPortOpen(false);
        probe.SetPathOverride({});
        if (!opens)
            continue;
        const QString stable = PortNames::StableName(entry.number);
        ports.append(QJsonObject{{"number", entry.number}, {"path", entry.path}, {"description", entry.description},
                                 {"stable", stable}});
        lines += QStringLiteral("%1\t%2\t%3%4\n")
                     .arg(entry.number)
                     .arg(entry.path, entry.description.isEmpty() ? QStringLiteral("-") : entry.description,
                          stable != entry.path ? u'\t' + stable : QString())
                     .toLocal8Bit();
    }
    if (ports.isEmpty())
        Say(s, Texts::Said(QStringLiteral("no serial port can be opened (ports folder %1%2)")
                               .arg(PortNames::PortsFolder(),
                                    QFileInfo::exists(PortNames::PortsFolder()) ? QString()
                                                                                 : QStringLiteral(", not present: the system's ports"))),
            kDone);
    return Output(s, a.json ? QJsonDocument(ports).toJson(QJsonDocument::Compact) + '\n' : lines);
}

int Commands::Profiles(const Arguments&, const Streams& s)
{
    QString text;
    for (const SetupOutputs::Profile& p : SetupOutputs::Profiles())
        text += ProfileLine(p);
    return Output(s, text.toLocal8Bit());
}

int Commands::Profile(const Arguments& a, const Streams& s)
{
    if (!a.check.isEmpty()) {
        const FromFile loaded = LoadProfileFile(a.check);
        if (!loaded.profile)
            return Say(s, loaded.error, kUsage);
        QString text = QStringLiteral("%1: %2, %3 steps\n")
                           .arg(a.check, QString::fromUtf8(loaded.profile->Profile().name))
                           .arg(loaded.profile->Profile().steps.size());
        // A translation says what it could not carry over.
        for (const std::string& setting : loaded.profile->Untranslated())
            text += QStringLiteral("%1: no counterpart, left out: %2\n").arg(a.check, QString::fromStdString(setting));
        return Output(s, text.toLocal8Bit());
    }
    if (a.generation) {
        const auto translated = Translation::ForGeneration(*a.device, a.generation);
        return WriteProfileText(a, s, ProfileFile::Write(*translated));
    }
    return WriteProfileText(a, s, ProfileFile::Write(*a.device));
}

// Finds the receiver on the port and reads its configuration into a profile
// file named after the file written ("Clone" on standard output).
int Commands::Read(const Arguments& a, const Streams& s)
{
    // Checked before anything is sent, without creating the file: a read that
    // fails leaves nothing behind.
    if (!a.out.isEmpty() && !QFileInfo(QFileInfo(a.out).absolutePath()).isWritable())
        return Say(s, Texts::CannotWrite(a.out, QStringLiteral("its folder cannot be written to")), kUsage);
    SerialControl port;
    TargetPort(port, a, {});
    if (const QString openError = TryOpen(port); !openError.isEmpty())
        return Say(s, Texts::CannotOpenPort(a.port, PortNames::OpenFailure(port.PortPath(), openError)), kPortNotOpened);
    const std::string name = a.out.isEmpty() ? std::string("Clone") : QFileInfo(a.out).completeBaseName().toStdString();
    std::unique_ptr<ProfileFile::LoadedProfile> read;
    VarnexCommsRoutines::ReceiverVersion version;
    if (SetupOutputs::FindReceiver(port))
        read = Reading::ReadReceiver(port, a.saved, name, &version);
    if (!version.hardware.isEmpty())
        Say(s, Texts::Said(QStringLiteral("port %1: the receiver is a %2")
                               .arg(a.port, VarnexCommsRoutines::Describe(VarnexCommsRoutines::KindOf(version), version))),
            kDone);
    port.SetPortOpen(false);
    if (!read)
        return Say(s, Texts::Said(QStringLiteral("port %1: no receiver answered every poll").arg(a.port)), kStepFailed);
    // Never a file that --profile would refuse.
    const std::string text = ProfileFile::Write(read->Profile());
    const ProfileFile::ReadResult check = ProfileFile::Read(text, a.out.isEmpty() ? "the clone" : a.out.toStdString());
    if (!check.profile)
        return Say(s, Texts::Said(QStringLiteral("port %1: the configuration read makes no usable profile: %2")
                                      .arg(a.port, QString::fromStdString(check.error))),
                   kStepFailed);
    return WriteProfileText(a, s, text);
}

// Every frame the run would send, step by step, with its wait; no port is
// opened. The frames are the ones the runs build, from the same table.
int Commands::DryRun(const Arguments& a, const Streams& s)
{
    const SetupOutputs::Profile& p = *a.device;
    const QString ack = QStringLiteral("wait for ACK, up to %1 s").arg(Timing::InSeconds(Timing::kReplyTimeout));
    QString text = QStringLiteral("Dry run of %1 (%2 run): nothing is sent, no port is opened; "
                                  "the commands each step sends (the polls that read the receiver are not shown)\n")
                       .arg(QString::fromUtf8(p.name), a.fast ? QStringLiteral("fast") : QStringLiteral("exact"));
    for (std::size_t i = 0; i < p.steps.size(); ++i) {
        const SetupOutputs::Step& step = p.steps[i];
        text += QStringLiteral("[%1/%2] %3\n").arg(i + 1).arg(p.steps.size()).arg(SetupOutputs::StepName(step));
        const bool reset = std::holds_alternative<SetupOutputs::Reset>(step);
        const std::size_t blind =
            !a.fast && reset ? VarnexCommsRoutines::ResetFrames(VarnexCommsRoutines::ResetPart::LinkAtKnownRate).size() : 0;
        const std::vector<uBloxLowLevelComms::UbxBuffer> frames = SetupOutputs::StepFrames(step);
        for (std::size_t f = 0; f < frames.size(); ++f)
            text += QStringLiteral("  %1  %2\n").arg(FrameHex(frames[f]), f < blind ? QStringLiteral("no wait (sent blind)") : ack);
        if (blind)
            text += QStringLiteral("  (the exact run sends the CFG-MSG pass once for each of the receiver's ports, the same bytes each time)\n");
    }
    return Output(s, text.toLocal8Bit());
}

} // namespace Cli
