// varnex-receiver-sim: a simulated u-blox receiver on a pseudo-terminal, mapped
// as comN in the tool's ports folder, for demos and end-to-end runs.
#include "PtyReceiverSim.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTextStream>

#include <csignal>
#include <cstdio>

using namespace VarnexSim;

namespace {

QString DefaultPortsDir()
{
    const QString env = qEnvironmentVariable("VARNEXCONFIG_PORTS");
    if (!env.isEmpty())
        return env;
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty())
        config = QDir::homePath() + "/.config";
    return config + "/varnexconfig/ports";
}

void AddOptions(QCommandLineParser& p)
{
    p.setApplicationDescription("Simulated u-blox GPS receiver on a pseudo-terminal, mapped as comN.");
    p.addHelpOption();
    p.addOptions({
        {"ports", "Ports folder (default $VARNEXCONFIG_PORTS, else ~/.config/varnexconfig/ports).", "dir"},
        {"com", "Map the receiver as comN (default 1).", "n", "1"},
        {"stable-name", "A link of its own between comN and the pty, as a udev rule makes for a receiver with its own "
                        "USB port: comN leads to it, it leads to the pty while the board is plugged in.", "path"},
        {"generation", "Answer as a u-blox unit of generation N: 6, 8, 9 or 10 (its MON-VER, the configuration "
                       "messages it takes, ACK-NAK for the others; on 9 and 10 a key store and a factory rate of "
                       "38400, and on 10 one UART). Without it, the unit the simulator has always been.", "N"},
        {"link-port", "Receiver port 0..3 wired to the PC (default 1); 3 is USB: no rate, the PC is understood "
                      "and hears the receiver at any rate, and a CFG-PRT poll answers rate 0.", "port", "1"},
        {"baud", "Rate of the link port at power-up, over the flash contents.", "rate"},
        {"flash", "Flash image file, with BBR on --generation 9 and 10 (default "
                  "~/.cache/varnex-receiver-sim/flash-comN.json, flash-comN-uG.json for --generation G).", "file"},
        {"transcript", "Write every frame received and reply sent as JSON lines.", "file"},
        {"silent", "Decode frames but answer none."},
        {"silent-from", "Answer nothing from the n-th received frame on.", "n"},
        {"never-ack", "Drop frames of class:id (hex, e.g. 06:07) unanswered; repeatable.", "cls:id"},
        {"nak", "Answer frames of class:id with ACK-NAK; repeatable.", "cls:id"},
        {"answer-polls-from", "Leave polls unanswered before the n-th.", "n"},
        {"latency", "Extra delay before each answer, ms.", "ms"},
        {"noise-interval", "Send a burst of random bytes every so many ms.", "ms"},
        {"noise-bytes", "Bytes per noise burst (default 8).", "n", "8"},
        {"link-ack", "ACK of a CFG-PRT moving the link: old (default), new, garbled, none.", "mode", "old"},
        {"unplug-after", "Seconds after start when the device disappears.", "s"},
        {"unplug-for", "Seconds until it comes back (default: never).", "s"},
        {"tx-buffer", "Bytes of the receiver's transmit buffer (default 4096): periodic output that does not fit "
                      "is dropped, answers queue behind it.", "bytes"},
        {"fill", "A busy unit: add NAV-PVT, NAV-SAT and RXM-RAWX (not in the tool's reset list) so that its whole "
                 "output at power-up fills F of the line at the power-up rate (9600 bit/s on USB); the same bytes "
                 "a second at any later rate.", "F"},
        {"nak-poll", "Answer polls of class:id with ACK-NAK instead of a reply; repeatable.", "cls:id"},
        {"nak-msg-poll", "Answer CFG-MSG polls of the message class:id with ACK-NAK; repeatable.", "cls:id"},
        {"nak-load", "Answer a CFG-CFG that loads with ACK-NAK and load nothing (its save still works)."},
        {"drop-answers", "Drop an answer that does not fit in the transmit buffer, as periodic output is."},
        {"load-ack-garbled", "Corrupt the ACK of a CFG-CFG that loads (the load itself is done)."},
        {"reports-mode-bit4", "Report a UART port's mode with its reserved bit 4 set (0x8D0 for 0x8C0)."},
        {"move-lag", "Milliseconds after a link move's ACK has left before the new rate is understood.", "ms"},
        {"swap-every", "Replace the board under the adapter every S seconds; the new one is at factory state with "
                       "a flash of its own.", "s"},
        {"swap-gap", "Seconds without a board at each swap (default 0.8): nothing heard, nothing understood.", "s",
         "0.8"},
        {"no-framing-errors", "A PC listening at another rate than the link's hears nothing, instead of a "
                              "meaningless byte for each byte on the line as a real UART reads."},
    });
}

bool ParseKeys(const QStringList& texts, std::set<MsgKey>& keys, QString& error)
{
    for (const QString& text : texts) {
        const QStringList parts = text.split(':');
        bool ok1 = false;
        bool ok2 = false;
        const uint cls = parts.value(0).toUInt(&ok1, 16);
        const uint id = parts.value(1).toUInt(&ok2, 16);
        if (parts.size() != 2 || !ok1 || !ok2 || cls > 255 || id > 255) {
            error = QStringLiteral("bad class:id \"%1\"").arg(text);
            return false;
        }
        keys.insert(Key(quint8(cls), quint8(id)));
    }
    return true;
}

bool ParseLinkAck(const QString& text, LinkMoveAck& mode)
{
    static const std::pair<const char*, LinkMoveAck> kModes[] = {
        {"old", LinkMoveAck::OldRateThenMove}, {"new", LinkMoveAck::AtNewRate},
        {"garbled", LinkMoveAck::Garbled}, {"none", LinkMoveAck::None}};
    for (const auto& [name, value] : kModes)
        if (text == QLatin1String(name)) {
            mode = value;
            return true;
        }
    return false;
}

bool ParseFaults(const QCommandLineParser& p, Faults& f, QString& error)
{
    f.silent = p.isSet("silent");
    f.silentFromFrame = p.value("silent-from").toInt();
    f.answerPollsFrom = p.value("answer-polls-from").toInt();
    f.replyLatency = p.value("latency").toDouble() / 1000.0;
    f.noiseInterval = p.value("noise-interval").toDouble() / 1000.0;
    f.noiseBurst = p.value("noise-bytes").toInt();
    f.unplugAt = p.isSet("unplug-after") ? p.value("unplug-after").toDouble() : -1;
    f.unplugFor = p.isSet("unplug-for") ? p.value("unplug-for").toDouble() : -1;
    if (!ParseLinkAck(p.value("link-ack"), f.linkMoveAck)) {
        error = QStringLiteral("bad --link-ack \"%1\"").arg(p.value("link-ack"));
        return false;
    }
    f.nakLoad = p.isSet("nak-load");
    f.answersDropWhenFull = p.isSet("drop-answers");
    f.loadAckGarbled = p.isSet("load-ack-garbled");
    f.reportsModeBit4 = p.isSet("reports-mode-bit4");
    f.moveLag = p.value("move-lag").toDouble() / 1000.0;
    return ParseKeys(p.values("never-ack"), f.neverAck, error) && ParseKeys(p.values("nak"), f.nakFor, error) &&
           ParseKeys(p.values("nak-poll"), f.nakPolls, error) && ParseKeys(p.values("nak-msg-poll"), f.nakMsgPolls, error);
}

// The flash image lives outside the ports folder, so that a folder this
// program made for its link can go again when it stops: a ports folder left
// behind would hide the system's own serial ports from the tool.
QString DefaultFlashPath(int com, int generation)
{
    QString cache = qEnvironmentVariable("XDG_CACHE_HOME");
    if (cache.isEmpty())
        cache = QDir::homePath() + "/.cache";
    QDir().mkpath(cache + "/varnex-receiver-sim");
    const QString unit = generation == 0 ? QString() : QStringLiteral("-u%1").arg(generation);
    return cache + QStringLiteral("/varnex-receiver-sim/flash-com%1%2.json").arg(com).arg(unit);
}

bool ParseOptions(const QCommandLineParser& p, PtyReceiverSim::Options& o, QString& error)
{
    o.portsDir = QDir(p.isSet("ports") ? p.value("ports") : DefaultPortsDir()).absolutePath();
    o.com = p.value("com").toInt();
    if (p.isSet("stable-name"))
        o.stableName = QFileInfo(p.value("stable-name")).absoluteFilePath();
    o.model.generation = p.value("generation").toInt();
    o.model.linkPort = p.value("link-port").toInt();
    o.model.startBaud = p.value("baud").toInt();
    o.model.flashPath = p.isSet("flash") ? p.value("flash") : DefaultFlashPath(o.com, o.model.generation);
    o.model.transcriptPath = p.value("transcript");
    o.model.fill = p.value("fill").toDouble();
    o.model.swapEvery = p.value("swap-every").toDouble();
    o.model.swapGap = p.value("swap-gap").toDouble();
    o.model.garbageAtOtherRates = !p.isSet("no-framing-errors");
    if (p.isSet("tx-buffer"))
        o.model.txBufferBytes = p.value("tx-buffer").toInt();
    if (o.com < 1 || o.model.linkPort < 0 || o.model.linkPort >= kPortCount) {
        error = "--com must be 1 or more and --link-port 0 to 3";
        return false;
    }
    if (p.isSet("generation") && !QList<int>{6, 8, 9, 10}.contains(o.model.generation)) {
        error = "--generation takes 6, 8, 9 or 10";
        return false;
    }
    if (o.model.generation == 10 && o.model.linkPort != 1) {
        error = "a u-blox 10 unit has one UART: --link-port 1";
        return false;
    }
    if (o.model.fill < 0 || o.model.swapEvery < 0 || o.model.swapGap < 0 || o.model.txBufferBytes <= 0) {
        error = "--fill, --swap-every and --swap-gap take a number of 0 or more, --tx-buffer one above 0";
        return false;
    }
    return ParseFaults(p, o.model.faults, error);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("varnex-receiver-sim");
    QCommandLineParser parser;
    AddOptions(parser);
    parser.process(app);
    QTextStream out(stdout);
    QTextStream err(stderr);
    PtyReceiverSim::Options options;
    QString error;
    if (!ParseOptions(parser, options, error)) {
        err << "varnex-receiver-sim: " << error << Qt::endl;
        return 2;
    }
    // Block the stop signals before the thread starts, so only sigwait() sees
    // them; a shell that started us in the background may have set SIGINT to
    // be ignored, and an ignored signal never reaches sigwait().
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    const bool folderExisted = QDir(options.portsDir).exists();
    PtyReceiverSim sim(options);
    if (!sim.Start(error)) {
        err << "varnex-receiver-sim: " << error << Qt::endl;
        return 1;
    }
    const auto [baud, busy] = sim.WithModel([](ReceiverModel& m) {
        return std::pair{m.LinkBaud(), m.BusyBytesPerSecond()};
    });
    out << sim.DevicePath() << " -> " << sim.SlavePath() << "\n"
        << "receiver port " << options.model.linkPort << " at "
        << (baud > 0 ? QStringLiteral("%1 bit/s").arg(baud) : QStringLiteral("any rate (USB)")) << ", flash "
        << options.model.flashPath << Qt::endl;
    if (busy > 0)
        out << "extra output " << qRound(busy) << " bytes/s" << Qt::endl;
    int signal = 0;
    sigwait(&stopSignals, &signal);
    sim.Stop();
    out << "removed " << sim.DevicePath() << Qt::endl;
    if (!folderExisted)
        QDir().rmdir(options.portsDir); // only when nothing else was put there
    return 0;
}
