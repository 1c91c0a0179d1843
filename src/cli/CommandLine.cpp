#include "cli/CommandLine.h"

#include "cli/BenchLoop.h"
#include "cli/Commands.h"
#include "cli/Console.h"
#include "cli/Interrupts.h"
#include "cli/Session.h"
#include "cli/Texts.h"
#include "link/SerialControl.h"
#include "profiles/ProfileFile.h"

#include <optional>


namespace Cli {
namespace {

// False, with the reason on the console, when the report cannot be appended
// to; checked before anything is sent, so a run never ends with its record lost.
bool ReportWritable(const Arguments& a, Console& console)
{
    const QString error = a.report.isEmpty() ? QString() : CheckWritable(a.report);
    if (!error.isEmpty())
        console.Verdict(Texts::CannotWrite(QStringLiteral("the report ") + a.report, error));
    return error.isEmpty();
}

int SingleUnit(const Arguments& a, const Streams& s, Console& console, Session& session)
{
    Arguments unitArguments = a;
    if (a.serialFromInput) {
        const std::optional<QString> serial = AskSerial(s.in, console, 1, QString());
        if (!serial) {
            console.Verdict(Texts::Said(QStringLiteral("no serial number on standard input")));
            return Interrupts::Count() ? kInterrupted : kUsage;
        }
        unitArguments.serial = *serial;
    }
    session.Unit(unitArguments, 0);
    return session.ExitCode();
}

} // namespace

int Commands::Unit(const Arguments& a, const Streams& s)
{
    if (!a.profileFile.isEmpty() && !a.device) {
        const FromFile loaded = LoadProfileFile(a.profileFile);
        if (!loaded.profile) {
            Texts::Put(s.err, (loaded.error + u'\n').toLocal8Bit());
            return kUsage;
        }
        Arguments fromFile = a;
        fromFile.device = &loaded.profile->Profile();
        fromFile.profileSha256 = loaded.sha256;
        return Unit(fromFile, s);
    }
    if (a.dryRun)
        return DryRun(a, s);
    // A key-value unit moves its link by an item the PC can follow only
    // when it waits for the answer: the exact run's blind opening cannot.
    if (a.command == Command::Configure && !a.fast && !a.device->steps.empty())
        if (const auto* reset = std::get_if<SetupOutputs::Reset>(&a.device->steps.front());
            reset && (reset->form == SetupOutputs::ResetForm::Keys || reset->form == SetupOutputs::ResetForm::KeysOneUart)) {
            Texts::Put(s.err, Texts::Said(QStringLiteral("%1 sets a key-value receiver (u-blox 9 or 10): configure it "
                                                         "with --fast").arg(QString::fromUtf8(a.device->name)))
                                  .append(u'\n')
                                  .toLocal8Bit());
            return kUsage;
        }
    Console console(s.err, s.terminal, a.quiet);
    if (!ReportWritable(a, console))
        return kUsage;
    // The command line's own port: every unit of the session works on it.
    SerialControl port;
    Session session(a, console, port, a.repeat);
    if (QString refusal; !session.OpenRecord(refusal)) {
        console.Verdict(refusal);
        return kUsage;
    }
    return a.repeat ? RunBenchLoop(a, s, console, session) : SingleUnit(a, s, console, session);
}

int Run(const Arguments& a, const Streams& s) { return HandlerOf(a.command)(a, s); }

int Main(const QStringList& args, const Streams& s)
{
    const Parsed parsed = Parse(args);
    if (!parsed.error.isEmpty()) {
        Texts::Put(s.err, (Texts::Said(parsed.error) + QStringLiteral(" (see varnexconfig --help)\n")).toLocal8Bit());
        return kUsage;
    }
    return Run(parsed.arguments, s);
}

} // namespace Cli
