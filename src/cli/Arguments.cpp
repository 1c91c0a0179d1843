#include "cli/Arguments.h"

#include "cli/Commands.h"
#include "records/Url.h"

#include <QCommandLineParser>
#include <QHash>
#include <QRegularExpression>

#include <algorithm>

namespace Cli {
namespace {

constexpr int kHighestPort = 255;

constexpr unsigned Bit(Command c) { return 1u << unsigned(c); }
constexpr unsigned kConfigure = Bit(Command::Configure);
constexpr unsigned kUnitCommands = Bit(Command::Configure) | Bit(Command::Verify);
constexpr unsigned kPortCommands = kUnitCommands | Bit(Command::Read);
constexpr unsigned kFileWriters = Bit(Command::Profile) | Bit(Command::Read);
constexpr unsigned kEveryCommand = ~0u;

struct CommandSpec {
    const char* name;
    Command command;
    const char* operands; // after the name in the synopsis
    Handler run;
    const char* help;
};

constexpr CommandSpec kCommands[] = {
    {"configure", Command::Configure, "DEVICE|--profile FILE --port PORT", Commands::Unit,
     "runs the device's configuration, as the window's button does"},
    {"verify", Command::Verify, "DEVICE|--profile FILE --port PORT", Commands::Unit,
     "compares the receiver's running configuration with the device's, then loads its saved one (what it starts "
     "with at its next power-up) and compares that too; sends polls, the loads and the moves of the link to 115200 "
     "and back, and leaves the receiver running what it saved"},
    {"ports", Command::Ports, "", Commands::Ports,
     "lists the PC ports that can be opened: number, device, what the system calls it"},
    {"profiles", Command::Profiles, "", Commands::Profiles,
     "lists the built-in devices, one line each: name, the link's final rate, the outputs"},
    {"profile", Command::Profile, "DEVICE [--generation N]|--check FILE", Commands::Profile,
     "writes a built-in device as a profile file (TOML) that --profile runs, or checks a profile file"},
    {"read", Command::Read, "--port PORT", Commands::Read,
     "reads a receiver's configuration into a profile file, sending polls and the moves of the link to 115200 and "
     "back (and the loads, with --saved)"},
    {"summary", Command::Summary, "FILE...|--record URL", Commands::Summary,
     "a day's yield from reports or a record database: per local day, device and host (or station) the units, passed, "
     "failed, yield, median and "
     "95th-percentile time, the commonest failures; a serial tried several times counts once, with its last outcome"},
};

constexpr OptionSpec kOptions[] = {
    {"port", nullptr, "PORT", kPortCommands, "a PC port number N (as \"Serial Port N\" in the window) or a device path"},
    {"profile", nullptr, "FILE", kUnitCommands,
     "the device's table from a profile file instead of a built-in DEVICE; a file that is refused sends nothing"},
    {"out", nullptr, "FILE", kFileWriters, "the profile file to write (standard output when not given)"},
    {"saved", nullptr, nullptr, Bit(Command::Read),
     "reads the saved configuration: has the receiver load it first (what it starts with at its next power-up)"},
    {"verify", nullptr, nullptr, kConfigure, "after the save, verifies the unit as the verify command does"},
    {"report", nullptr, "FILE", kUnitCommands, "appends one JSON line per unit to FILE, synced to the disk"},
    {"record", nullptr, "URL", kUnitCommands | Bit(Command::Summary),
     "also records each unit in a database, one transaction a unit: sqlite:PATH, sqlite: (the default file), or "
     "postgresql://USER@HOST[:PORT]/DB; while it cannot be reached, records wait in a local spool and are sent, "
     "in order and once, when it answers"},
    {"by", nullptr, "host|station", Bit(Command::Summary), "summary: groups by the machine (host, the default) or by station (host and port)"},
    {"serial", nullptr, "TEXT", kUnitCommands,
     "text recorded with the unit; \"-\" reads one line of standard input before each unit (a barcode scanner)"},
    {"repeat", nullptr, nullptr, kConfigure,
     "bench loop: waits for a unit to answer, configures it, waits until it is gone, and again until Ctrl-C"},
    {"events", nullptr, nullptr, kConfigure,
     "with --repeat: one JSON object a line on standard output for each change of the station (waiting, running, "
     "done, gone, a port that cannot be opened); the console's lines stay on standard error"},
    {"fast", nullptr, nullptr, kConfigure,
     "the same saved configuration in well under two seconds: finds the link's rate by polling, sends each "
     "distinct command once, and confirms a link move by a poll at the new rate"},
    {"quiet", "q", nullptr, kUnitCommands, "prints the verdict alone: no progress, no messages"},
    {"report-frames", nullptr, nullptr, kUnitCommands,
     "records every frame and verification item also for a unit that passed (else only for one that failed)"},
    {"dry-run", nullptr, nullptr, kConfigure, "prints every frame the run would send, with its wait; opens no port"},
    {"check", nullptr, "FILE", Bit(Command::Profile),
     "checks a profile file without a port: exit 0, or 2 with where; names the settings a translation left out"},
    {"generation", nullptr, "N", Bit(Command::Profile),
     "writes the device for receiver generation N (5 to 10): its settings in that generation's messages, each with "
     "the field it came from, and those without a counterpart named"},
    {"json", nullptr, nullptr, Bit(Command::Ports) | Bit(Command::Summary), "writes JSON for machines"},
    {"help", "h", nullptr, kEveryCommand, "shows this help, or with a command that command's"},
    {"version", "V", nullptr, Bit(Command::Version), "shows the version"},
};

constexpr ExitSpec kExitCodes[] = {
    {kDone, "done (and verified, when asked)"},
    {kStepFailed, "a step failed (nothing saved), or a --repeat unit did, or the port was lost during the read-back"},
    {kUsage, "usage error, or a report file that cannot be written; nothing was sent"},
    {kPortNotOpened, "the port cannot be opened"},
    {kDifference, "verification found a difference"},
    {kReportLost, "a unit's report line, or the command's output, could not be written (the console names it); "
                  "outranks every other code"},
    {kInterrupted, "interrupted (a second Ctrl-C, SIGTERM or SIGHUP abandoned a unit)"},
};

// Qt's own options of a windowed application: those that take a value, and
// the flags.
const QStringList& QtValueOptions()
{
    static const QStringList options{
        "-platform", "-platformpluginpath", "-platformtheme", "-plugin", "-qwindowgeometry", "-qwindowicon",
        "-qwindowtitle", "-session", "-style", "-stylesheet", "-display", "-geometry", "-title", "-icon", "-name",
        "-visual", "-ncols", "-fn", "-bg", "-fg", "-btn", "-graphicssystem",
    };
    return options;
}
const QStringList& QtFlags()
{
    static const QStringList flags{"-reverse", "-widgetcount", "-cmap", "-nograb", "-dograb", "-sync",
                                   "-nocrashhandler", "-qmljsdebugger"};
    return flags;
}

QString DeviceKeys()
{
    QStringList keys;
    for (const SetupOutputs::Profile& p : SetupOutputs::Profiles())
        keys << QLatin1String(p.key);
    return keys.join(QStringLiteral(", "));
}

// A PC port number (1..255) or a device path: absolute, or a Windows COMn name.
bool ReadPort(const QString& text, Arguments& a)
{
    bool isNumber = false;
    const int number = text.toInt(&isNumber);
    if (isNumber)
        a.portNumber = number;
    else if (!text.startsWith(u'/') && !QRegularExpression(QStringLiteral("^COM[0-9]+$"),
                                                          QRegularExpression::CaseInsensitiveOption)
                                             .match(text)
                                             .hasMatch())
        return false;
    if (isNumber && (number < 1 || number > kHighestPort))
        return false;
    a.port = text;
    return true;
}

QString Dashed(const OptionSpec& o) { return QStringLiteral("--") + QLatin1String(o.name); }

bool InSynopsis(const OptionSpec& o, const CommandSpec& command)
{
    const QLatin1String name(o.name);
    return (o.commands & Bit(command.command)) && o.commands != kEveryCommand
           && !QLatin1String(command.operands).contains(QStringLiteral("--%1 ").arg(name));
}

QString Synopsis(const CommandSpec& command)
{
    QString line = QStringLiteral("varnexconfig %1").arg(QLatin1String(command.name));
    if (*command.operands)
        line += u' ' + QLatin1String(command.operands);
    for (const OptionSpec& o : kOptions)
        if (InSynopsis(o, command))
            line += o.valueName ? QStringLiteral(" [%1 %2]").arg(Dashed(o), QLatin1String(o.valueName))
                                : QStringLiteral(" [%1]").arg(Dashed(o));
    return line;
}

QString OptionHelp(const OptionSpec& o)
{
    QString name = Dashed(o);
    if (o.shortName)
        name += QStringLiteral(", -%1").arg(QLatin1String(o.shortName));
    if (o.valueName)
        name += u' ' + QLatin1String(o.valueName);
    return QStringLiteral("  %1\n      %2\n").arg(name, QLatin1String(o.help));
}

const CommandSpec* FindCommand(Command command)
{
    for (const CommandSpec& c : kCommands)
        if (c.command == command)
            return &c;
    return nullptr;
}

// "-port" for "--port": a long option written with one dash, which Qt would
// read as the letters -p -o -r -t.
QString SingleDashLongOption(const QStringList& args)
{
    for (const QString& arg : args) {
        if (arg.size() < 3 || arg[0] != u'-' || arg[1] == u'-')
            continue;
        const QString word = arg.mid(1).section(u'=', 0, 0);
        for (const OptionSpec& o : kOptions)
            if (word == QLatin1String(o.name))
                return QStringLiteral("unknown option %1: did you mean --%2?").arg(arg.section(u'=', 0, 0), word);
    }
    return {};
}

// Qt's parser's messages as this program says them: "Missing value after
// '--port'." is "--port needs a value".
QString InOwnWords(const QString& qtMessage)
{
    static const QRegularExpression missing(QStringLiteral("^Missing value after '(.+)'"));
    static const QRegularExpression unexpected(QStringLiteral("^Unexpected value after '(.+)'"));
    if (const QRegularExpressionMatch m = missing.match(qtMessage); m.hasMatch())
        return QStringLiteral("%1 needs a value").arg(m.captured(1));
    if (const QRegularExpressionMatch m = unexpected.match(qtMessage); m.hasMatch())
        return QStringLiteral("%1 takes no value").arg(m.captured(1));
    return qtMessage;
}

} // namespace

Handler HandlerOf(Command command)
{
    if (command == Command::Help)
        return Commands::Help;
    if (command == Command::Version)
        return Commands::Version;
    return FindCommand(command)->run;
}

std::span<const OptionSpec> Options() { return kOptions; }
std::span<const ExitSpec> ExitCodes() { return kExitCodes; }

QString Usage(Command command)
{
    if (const CommandSpec* c = FindCommand(command)) {
        QString text = QStringLiteral("Usage: %1\n\n%2\n\n").arg(Synopsis(*c), QLatin1String(c->help));
        for (const OptionSpec& o : kOptions)
            if (o.commands & Bit(command))
                text += OptionHelp(o);
        return text;
    }
    QString text = QStringLiteral("Usage:\n  varnexconfig                 open the window\n");
    for (const CommandSpec& c : kCommands)
        text += QStringLiteral("  %1\n").arg(Synopsis(c));
    text += QStringLiteral("  varnexconfig --help | -h | --version | -V\n\n");
    text += QStringLiteral("DEVICE  %1 (any case)\n\n").arg(DeviceKeys());
    for (const CommandSpec& c : kCommands)
        text += QStringLiteral("%1  %2\n").arg(QLatin1String(c.name), -10).arg(QLatin1String(c.help));
    text += u'\n';
    for (const OptionSpec& o : kOptions)
        text += OptionHelp(o);
    text += QStringLiteral("\nExit status:\n");
    for (const ExitSpec& e : kExitCodes)
        text += QStringLiteral("  %1  %2\n").arg(e.code, 3).arg(QLatin1String(e.meaning));
    return text;
}

QStringList WithoutQtOptions(const QStringList& args)
{
    QStringList rest;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString name = args[i].section(u'=', 0, 0);
        if (QtValueOptions().contains(name))
            i += name == args[i] ? 1 : 0; // "-style fusion" or "-style=fusion"
        else if (!QtFlags().contains(name))
            rest << args[i];
    }
    return rest;
}

bool WantsCommandLine(const QStringList& args) { return !WithoutQtOptions(args).isEmpty(); }

Parsed Parse(const QStringList& args)
{
    Parsed r;
    Arguments& a = r.arguments;
    const auto fail = [&r](const QString& error) {
        r.error = error;
        return r;
    };
    if (args.isEmpty())
        return fail(QStringLiteral("no command given"));
    if (const QString dashed = SingleDashLongOption(args); !dashed.isEmpty())
        return fail(dashed);

    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
    QHash<QString, const OptionSpec*> byName;
    for (const OptionSpec& o : kOptions) {
        QStringList names{QLatin1String(o.name)};
        if (o.shortName)
            names << QLatin1String(o.shortName);
        for (const QString& n : names)
            byName.insert(n, &o);
        parser.addOption(o.valueName ? QCommandLineOption(names, QLatin1String(o.help), QLatin1String(o.valueName))
                                                     : QCommandLineOption(names, QLatin1String(o.help)));
    }
    if (!parser.parse(QStringList{QStringLiteral("varnexconfig")} + args)) {
        const QStringList unknown = parser.unknownOptionNames();
        if (!unknown.isEmpty())
            return fail(QStringLiteral("unknown option %1%2")
                            .arg(unknown.first().size() == 1 ? QStringLiteral("-") : QStringLiteral("--"), unknown.first()));
        return fail(InOwnWords(parser.errorText()));
    }
    // Each option at most once: a second --port or --report would otherwise win silently.
    QHash<const OptionSpec*, int> seen;
    QList<const OptionSpec*> given;
    for (const QString& name : parser.optionNames()) {
        const OptionSpec* o = byName.value(name);
        if (++seen[o] == 2)
            return fail(QStringLiteral("%1 given twice").arg(Dashed(*o)));
        given << o;
    }

    const QStringList positional = parser.positionalArguments();
    const QString command = positional.value(0);
    const auto known = std::find_if(std::begin(kCommands), std::end(kCommands),
                                    [&](const CommandSpec& c) { return command == QLatin1String(c.name); });
    const bool help = seen.contains(byName.value(QStringLiteral("help")));
    if (help && known != std::end(kCommands)) {
        a.command = Command::Help;
        a.helpFor = known->command;
        return r;
    }
    if (help || seen.contains(byName.value(QStringLiteral("version")))) {
        if (args.size() > 1)
            return fail(QStringLiteral("%1 takes no arguments").arg(help ? QStringLiteral("--help") : QStringLiteral("--version")));
        a.command = help ? Command::Help : Command::Version;
        return r;
    }
    if (command.isEmpty())
        return fail(QStringLiteral("no command given"));
    if (known == std::end(kCommands))
        return fail(QStringLiteral("unknown command \"%1\"").arg(command));
    a.command = known->command;
    a.verify = a.command == Command::Verify;
    for (const OptionSpec* o : given)
        if (!(o->commands & Bit(a.command)))
            return fail(QStringLiteral("unknown option %1 for %2").arg(Dashed(*o), command));
    a.json = parser.isSet(QStringLiteral("json"));
    if (parser.isSet(QStringLiteral("record"))) {
        a.record = parser.value(QStringLiteral("record"));
        QString error;
        if (!Records::ParseUrl(a.record, error))
            return fail(error);
    }
    if (a.command == Command::Summary) {
        a.files = positional.mid(1);
        const QString by = parser.value(QStringLiteral("by"));
        if (parser.isSet(QStringLiteral("by")) && by != QLatin1String("host") && by != QLatin1String("station"))
            return fail(QStringLiteral("--by takes host or station, not \"%1\"").arg(by));
        a.byStation = by == QLatin1String("station");
        if (a.files.isEmpty() == a.record.isEmpty())
            return fail(QStringLiteral("summary needs one or more report files, or --record URL"));
        return r;
    }
    if ((a.command == Command::Ports || a.command == Command::Profiles) && positional.size() > 1)
        return fail(QStringLiteral("%1 takes no arguments").arg(command));
    if (a.command == Command::Ports || a.command == Command::Profiles)
        return r;
    a.check = parser.value(QStringLiteral("check"));
    if (parser.isSet(QStringLiteral("check"))) {
        if (a.check.isEmpty() || positional.size() > 1 || parser.isSet(QStringLiteral("out")))
            return fail(QStringLiteral("profile --check takes one file and nothing else"));
        return r;
    }
    if (parser.isSet(QStringLiteral("generation"))) {
        bool number = false;
        a.generation = parser.value(QStringLiteral("generation")).toInt(&number);
        if (!number || a.generation < 5 || a.generation > 10)
            return fail(QStringLiteral("--generation takes a receiver generation from 5 to 10"));
    }
    if (parser.isSet(QStringLiteral("out"))) {
        a.out = parser.value(QStringLiteral("out"));
        if (a.out.isEmpty())
            return fail(QStringLiteral("--out needs a file name"));
    }
    a.saved = parser.isSet(QStringLiteral("saved"));

    // A device by name, or (configure, verify) a profile file; read takes neither.
    a.profileFile = parser.value(QStringLiteral("profile"));
    if (parser.isSet(QStringLiteral("profile")) && a.profileFile.isEmpty())
        return fail(QStringLiteral("--profile needs a file name"));
    const qsizetype devices = a.command == Command::Read || !a.profileFile.isEmpty() ? 0 : 1;
    if (positional.size() < 1 + devices)
        return fail(QStringLiteral("%1 needs a device (%2) or --profile FILE").arg(command, DeviceKeys()));
    if (devices) {
        a.device = SetupOutputs::FindProfile(positional[1]);
        if (!a.device)
            return fail(QStringLiteral("unknown device \"%1\" (%2)").arg(positional[1], DeviceKeys()));
    }
    if (positional.size() > 1 + devices)
        return fail(QStringLiteral("unexpected argument \"%1\"").arg(positional[1 + devices]));
    a.dryRun = parser.isSet(QStringLiteral("dry-run"));
    a.fast = parser.isSet(QStringLiteral("fast")); // a dry run without a port shows the fast run too
    if (a.command == Command::Profile || (a.dryRun && !parser.isSet(QStringLiteral("port"))))
        return r;

    if (!parser.isSet(QStringLiteral("port")))
        return fail(QStringLiteral("%1 needs --port PORT").arg(command));
    const QString port = parser.value(QStringLiteral("port"));
    if (!ReadPort(port, a))
        return fail(QStringLiteral("bad port \"%1\": give a number 1-%2 or a device path").arg(port).arg(kHighestPort));
    if (parser.isSet(QStringLiteral("report"))) {
        a.report = parser.value(QStringLiteral("report"));
        if (a.report.isEmpty())
            return fail(QStringLiteral("--report needs a file name"));
    }
    a.verify = a.verify || parser.isSet(QStringLiteral("verify"));
    a.repeat = parser.isSet(QStringLiteral("repeat"));
    a.quiet = parser.isSet(QStringLiteral("quiet"));
    a.reportFrames = parser.isSet(QStringLiteral("report-frames"));
    a.events = parser.isSet(QStringLiteral("events"));
    if (a.dryRun && a.repeat)
        return fail(QStringLiteral("--dry-run runs no unit, so it takes no --repeat"));
    if (a.events && !a.repeat)
        return fail(QStringLiteral("--events tells a bench loop's changes, so it needs --repeat"));
    a.serial = parser.value(QStringLiteral("serial"));
    a.serialFromInput = a.serial == QLatin1String("-");
    if (a.serialFromInput)
        a.serial.clear();
    // One text for every unit of a loop would record them all under the same number.
    if (a.repeat && !a.serial.isEmpty())
        return fail(QStringLiteral("--repeat takes --serial - (a line of standard input per unit), not one text for all"));
    return r;
}

} // namespace Cli
