#include "cli/Arguments.h"

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

struct CommandSpec {
    const char* name;
    Command command;
    const char* help;
};

constexpr CommandSpec kCommands[] = {
    {"configure", Command::Configure, "runs the device's configuration, as the window's button does"},
    {"verify", Command::Verify,
     "compares the receiver's running configuration with the device's, then loads its saved one (what it starts "
     "with at its next power-up) and compares that too; sends polls and the load, nothing else"},
    {"ports", Command::Ports, "lists the PC ports that can be opened: number, device, what the system calls it"},
    {"profile", Command::Profile, "writes a built-in device as a profile file (TOML) that --profile runs"},
    {"read", Command::Read,
     "reads a receiver's configuration into a profile file, sending polls only (and the load, with --saved)"},
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
    {"serial", nullptr, "TEXT", kUnitCommands,
     "text recorded with the unit; \"-\" reads one line of standard input before each unit (a barcode scanner)"},
    {"repeat", nullptr, nullptr, kConfigure,
     "bench loop: waits for a unit to answer, configures it, waits until it is gone, and again until Ctrl-C"},
    {"fast", nullptr, nullptr, kConfigure,
     "the same saved configuration in well under two seconds: finds the link's rate by polling, sends each "
     "distinct command once, and confirms a link move by a poll at the new rate"},
    {"help", "h", nullptr, Bit(Command::Help), "shows this help"},
    {"version", "V", nullptr, Bit(Command::Version), "shows the version"},
};

constexpr ExitSpec kExitCodes[] = {
    {kDone, "done (and verified, when asked)"},
    {kStepFailed, "a step failed (nothing saved), or a --repeat unit did, or the port was lost during the read-back"},
    {kUsage, "usage error, or a report file that cannot be written; nothing was sent"},
    {kPortNotOpened, "the port cannot be opened"},
    {kDifference, "verification found a difference"},
    {kReportLost, "the unit's report line could not be written (the console names the unit)"},
    {kInterrupted, "interrupted (a second Ctrl-C, SIGTERM or SIGHUP abandoned a unit)"},
};

// Qt's own options of a windowed application: with one of them first, the
// window opens as without arguments.
const QStringList& QtWindowOptions()
{
    static const QStringList options{
        "-platform", "-platformpluginpath", "-platformtheme", "-plugin", "-qmljsdebugger", "-qwindowgeometry",
        "-qwindowicon", "-qwindowtitle", "-reverse", "-session", "-style", "-stylesheet", "-widgetcount",
        "-display", "-geometry", "-title", "-icon", "-name", "-visual", "-ncols", "-cmap", "-nograb", "-dograb",
        "-sync", "-fn", "-bg", "-fg", "-btn", "-graphicssystem", "-nocrashhandler",
    };
    return options;
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

QString Synopsis(const CommandSpec& command)
{
    const Command c = command.command;
    QString line = QStringLiteral("varnexconfig %1").arg(QLatin1String(command.name));
    if (c == Command::Configure || c == Command::Verify)
        line += QStringLiteral(" DEVICE|--profile FILE --port PORT");
    else if (c == Command::Profile)
        line += QStringLiteral(" DEVICE");
    else if (c == Command::Read)
        line += QStringLiteral(" --port PORT");
    for (const OptionSpec& o : kOptions)
        if ((o.commands & Bit(c)) && QLatin1String(o.name) != QLatin1String("port")
            && QLatin1String(o.name) != QLatin1String("profile"))
            line += o.valueName ? QStringLiteral(" [%1 %2]").arg(Dashed(o), QLatin1String(o.valueName))
                                                : QStringLiteral(" [%1]").arg(Dashed(o));
    return line;
}

} // namespace

std::span<const OptionSpec> Options() { return kOptions; }
std::span<const ExitSpec> ExitCodes() { return kExitCodes; }

QString Usage()
{
    QString text = QStringLiteral("Usage:\n  varnexconfig                 open the window\n");
    for (const CommandSpec& c : kCommands)
        text += QStringLiteral("  %1\n").arg(Synopsis(c));
    text += QStringLiteral("  varnexconfig --help | -h | --version | -V\n\n");
    text += QStringLiteral("DEVICE  %1 (any case)\n\n").arg(DeviceKeys());
    for (const CommandSpec& c : kCommands)
        text += QStringLiteral("%1  %2\n").arg(QLatin1String(c.name), -10).arg(QLatin1String(c.help));
    text += u'\n';
    for (const OptionSpec& o : kOptions) {
        QString name = Dashed(o);
        if (o.shortName)
            name += QStringLiteral(", -%1").arg(QLatin1String(o.shortName));
        if (o.valueName)
            name += u' ' + QLatin1String(o.valueName);
        text += QStringLiteral("  %1\n      %2\n").arg(name, QLatin1String(o.help));
    }
    text += QStringLiteral("\nExit status:\n");
    for (const ExitSpec& e : kExitCodes)
        text += QStringLiteral("  %1  %2\n").arg(e.code, 3).arg(QLatin1String(e.meaning));
    return text;
}

bool WantsCommandLine(const QStringList& args)
{
    return !args.isEmpty() && !QtWindowOptions().contains(args.first());
}

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
        return fail(parser.errorText());
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
    if (seen.contains(byName.value(QStringLiteral("help"))) || seen.contains(byName.value(QStringLiteral("version")))) {
        const bool help = seen.contains(byName.value(QStringLiteral("help")));
        if (args.size() > 1)
            return fail(QStringLiteral("%1 takes no arguments").arg(help ? QStringLiteral("--help") : QStringLiteral("--version")));
        a.command = help ? Command::Help : Command::Version;
        return r;
    }
    if (command.isEmpty())
        return fail(QStringLiteral("no command given"));
    const auto known = std::find_if(std::begin(kCommands), std::end(kCommands),
                                    [&](const CommandSpec& c) { return command == QLatin1String(c.name); });
    if (known == std::end(kCommands))
        return fail(QStringLiteral("unknown command \"%1\"").arg(command));
    a.command = known->command;
    a.verify = a.command == Command::Verify;
    if (a.command == Command::Ports && (args.size() > 1))
        return fail(QStringLiteral("ports takes no arguments"));
    for (const OptionSpec* o : given)
        if (!(o->commands & Bit(a.command)))
            return fail(QStringLiteral("unknown option %1 for %2").arg(Dashed(*o), command));
    if (a.command == Command::Ports)
        return r;
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
    if (a.command == Command::Profile)
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
    a.fast = parser.isSet(QStringLiteral("fast"));
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
