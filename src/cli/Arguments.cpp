#include "cli/Arguments.h"

#include <QRegularExpression>

namespace Cli {
namespace {

constexpr int kHighestPort = 255;

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

} // namespace

QString Usage()
{
    return QStringLiteral(
        "Usage:\n"
        "  varnexconfig                 open the window\n"
        "  varnexconfig configure DEVICE --port PORT [--verify] [--report FILE] [--serial TEXT] [--repeat] [--fast]\n"
        "  varnexconfig verify DEVICE --port PORT [--report FILE] [--serial TEXT]\n"
        "  varnexconfig ports\n"
        "  varnexconfig --help | --version\n"
        "\n"
        "DEVICE  %1 (any case)\n"
        "PORT    a PC port number N (as \"Serial Port N\" in the window) or a device path\n"
        "\n"
        "configure   runs the device's configuration, as the window's button does\n"
        "  --verify  after the save, verifies as `verify` does\n"
        "  --report  appends one JSON line per unit to FILE\n"
        "  --serial  text recorded with the unit (e.g. its serial number)\n"
        "  --repeat  bench loop: configures one unit after another until Ctrl-C\n"
        "  --fast    the same saved configuration in well under two seconds: finds the\n"
        "            link's rate by polling, sends each distinct command once, and\n"
        "            confirms a link move by a poll at the new rate\n"
        "verify      compares the receiver's running configuration with the device's, then\n"
        "            loads its saved one (what it starts with at its next power-up) and\n"
        "            compares that too; sends polls and the load, nothing else\n"
        "ports       lists the PC ports: number, device path, description\n"
        "\n"
        "Exit status: 0 done (and verified), 1 a step failed, 2 usage error,\n"
        "3 the port cannot be opened, 4 verification found a difference.\n")
        .arg(DeviceKeys());
}

bool WantsCommandLine(const QStringList& args)
{
    if (args.isEmpty())
        return false;
    const QString& first = args.first();
    return !(first.size() > 1 && first[0] == u'-' && first[1] != u'-');
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
    const QString command = args.first();
    if (command == QLatin1String("--help") || command == QLatin1String("--version")) {
        if (args.size() > 1)
            return fail(QStringLiteral("%1 takes no arguments").arg(command));
        a.command = command == QLatin1String("--help") ? Command::Help : Command::Version;
        return r;
    }
    if (command == QLatin1String("ports")) {
        if (args.size() > 1)
            return fail(QStringLiteral("ports takes no arguments"));
        a.command = Command::Ports;
        return r;
    }
    if (command == QLatin1String("configure"))
        a.command = Command::Configure;
    else if (command == QLatin1String("verify"))
        a.command = Command::Verify, a.verify = true;
    else if (command.startsWith(u'-'))
        return fail(QStringLiteral("unknown option %1").arg(command));
    else
        return fail(QStringLiteral("unknown command \"%1\"").arg(command));

    bool portGiven = false;
    for (qsizetype i = 1; i < args.size(); ++i) {
        QString arg = args[i];
        QString value;
        bool hasInlineValue = false;
        if (arg.startsWith(QLatin1String("--")) && arg.contains(u'=')) {
            value = arg.section(u'=', 1);
            arg = arg.section(u'=', 0, 0);
            hasInlineValue = true;
        }
        const bool configure = a.command == Command::Configure;
        const auto takeValue = [&](QString& into) {
            if (hasInlineValue) {
                into = value;
                return true;
            }
            if (i + 1 >= args.size())
                return false;
            into = args[++i];
            return true;
        };
        if (arg == QLatin1String("--port")) {
            QString port;
            if (!takeValue(port))
                return fail(QStringLiteral("--port needs a port number or device path"));
            if (!ReadPort(port, a))
                return fail(QStringLiteral("bad port \"%1\": give a number 1-%2 or a device path").arg(port).arg(kHighestPort));
            portGiven = true;
        } else if (arg == QLatin1String("--report")) {
            if (!takeValue(a.report) || a.report.isEmpty())
                return fail(QStringLiteral("--report needs a file name"));
        } else if (arg == QLatin1String("--serial")) {
            if (!takeValue(a.serial))
                return fail(QStringLiteral("--serial needs a text"));
        } else if (configure && arg == QLatin1String("--verify") && !hasInlineValue) {
            a.verify = true;
        } else if (configure && arg == QLatin1String("--repeat") && !hasInlineValue) {
            a.repeat = true;
        } else if (configure && arg == QLatin1String("--fast") && !hasInlineValue) {
            a.fast = true;
        } else if (arg.startsWith(u'-')) {
            return fail(QStringLiteral("unknown option %1 for %2").arg(arg, command));
        } else if (!a.device) {
            a.device = SetupOutputs::FindProfile(arg);
            if (!a.device)
                return fail(QStringLiteral("unknown device \"%1\" (%2)").arg(arg, DeviceKeys()));
        } else {
            return fail(QStringLiteral("unexpected argument \"%1\"").arg(arg));
        }
    }
    if (!a.device)
        return fail(QStringLiteral("%1 needs a device (%2)").arg(command, DeviceKeys()));
    if (!portGiven)
        return fail(QStringLiteral("%1 needs --port PORT").arg(command));
    return r;
}

} // namespace Cli
