// The command line in-process, in virtual time against the simulated
// receiver: the argument table, and what a unit run sent, said, recorded and
// returned.
#include "cli/CommandLine.h"
#include "CliRun.h"
#include "harness/GoldenFrames.h"
#include "harness/VirtualReceiver.h"
#include "link/PortNames.h"
#include "profiles/Verification.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <cstdio>

using namespace CliRun;

namespace {

// A poll: no payload, or the one-byte CFG-PRT and two-byte CFG-MSG forms.
bool IsPollFrame(const QString& hex)
{
    const QString head = hex.left(12);
    return head.endsWith(QLatin1String("0000")) || head == QLatin1String("B56206000100")
           || head == QLatin1String("B56206010200");
}

// CFG-CFG loading every section from flash, clearing and saving nothing.
const QString kLoadFrame = QStringLiteral("B56206090C000000000000000000FFFF00001988");

// What a proof may send after a run: polls, moves of the link's own port
// (CFG-PRT settings), and loads of the saved configuration, the last frame
// but polls being a load, so the unit is left running what it saved, or (a
// load refused) the move that puts its link back.
bool OnlyPollsMovesAndLoads(const QStringList& frames)
{
    const auto move = [](const QString& f) { return f.startsWith(QLatin1String("B56206001400")); };
    const auto last = std::find_if(frames.rbegin(), frames.rend(), [](const QString& f) { return !IsPollFrame(f); });
    return last != frames.rend() && (*last == kLoadFrame || move(*last))
           && std::all_of(frames.begin(), frames.end(), [&](const QString& f) { return IsPollFrame(f) || f == kLoadFrame || move(f); });
}

} // namespace

Q_DECLARE_METATYPE(VarnexSim::Faults)
Q_DECLARE_METATYPE(VarnexSim::ModelOptions)
Q_DECLARE_METATYPE(PortNames::SystemPort)

class TestCli : public QObject {
    Q_OBJECT
private slots:
    void init() { dir_.reset(new QTemporaryDir); }
    void parse_data();
    void parse();
    void configureVerifiesEveryDevice_data();
    void configureVerifiesEveryDevice();
    void verifyAfterConfigure_data();
    void verifyAfterConfigure();
    void failedStepIsNamedAndNothingSaved_data();
    void failedStepIsNamedAndNothingSaved();
    void nothingSentWhenPortOrReportUnusable();
    void helpAndManPageFollowTheTable();

private:
    QString Report() const { return dir_->filePath(QStringLiteral("units.jsonl")); }
    std::unique_ptr<QTemporaryDir> dir_;
};

void TestCli::parse_data()
{
    QTest::addColumn<QString>("line");
    // "command device port number verify repeat fast report serial", then
    // " profile=FILE", " out=FILE", " saved" when given; or "error: <text>"
    QTest::addColumn<QString>("want");
    const auto row = [](const char* name, const char* line, const char* want) { QTest::newRow(name) << line << want; };
    row("configure by number", "configure sculla --port 3", "configure sculla 3 3 0 0 0 - -");
    row("any case, path, all options", "configure MOLVANE --port /dev/ttyUSB0 --verify --report r.jsonl --serial - --repeat --fast",
        "configure molvane /dev/ttyUSB0 0 1 1 1 r.jsonl -");
    row("options before device, = form", "configure --port=COM5 --serial=SN7 Trissel", "configure trissel COM5 0 0 0 0 - SN7");
    row("verify always reads back", "verify pemmet --port 2 --report r", "verify pemmet 2 2 1 0 0 r -");
    row("verify has no --fast", "verify pemmet --port 2 --fast", "error: unknown option --fast for verify");
    row("ports", "ports", "ports");
    row("help", "--help", "help");
    row("help, short", "-h", "help");
    row("version, short", "-V", "version");
    row("Qt's window option opens the window", "-platform offscreen", "window");
    row("a command after Qt's options", "-platform offscreen -style=fusion ports", "ports");
    row("a command's own help", "configure --help", "help");
    row("summary of reports", "summary a.jsonl b.jsonl --json", "summary");
    row("summary needs a file", "summary --json", "error: summary needs one or more report files");
    row("check a profile file", "profile --check g.toml", "profile   0 0 0 0 - -");
    row("check takes nothing else", "profile garnock --check g.toml", "error: profile --check takes one file");
    row("other single dash", "-v", "error: unknown option -v");
    row("single-dash long option", "configure sculla -port 1", "error: unknown option -port: did you mean --port?");
    row("unknown device", "configure widget --port 1", "error: unknown device \"widget\" (sculla, pemmet, molvane, garnock, trissel)");
    row("port 0", "configure sculla --port 0", "error: bad port \"0\"");
    row("port text", "configure sculla --port usb", "error: bad port \"usb\"");
    row("port missing", "configure sculla", "error: configure needs --port PORT");
    row("port without value, in our words", "configure sculla --port", "error: --port needs a value");
    row("a flag with a value", "configure sculla --port 1 --fast=yes", "error: --fast takes no value");
    row("two ports given", "configure sculla --port 1 --port /dev/ttyUSB3", "error: --port given twice");
    row("two reports", "verify sculla --port 1 --report a --report=b", "error: --report given twice");
    row("two serials", "configure sculla --port 1 --serial a --serial b", "error: --serial given twice");
    row("one serial for a whole loop", "configure sculla --port 1 --repeat --serial SN7", "error: --repeat takes --serial -");
    row("device missing", "verify --port 1", "error: verify needs a device");
    row("verify has no --repeat", "verify sculla --port 1 --repeat", "error: unknown option --repeat for verify");
    row("unknown option", "configure sculla --port 1 --fast-ish", "error: unknown option --fast-ish");
    row("two devices", "configure sculla pemmet --port 1", "error: unexpected argument \"pemmet\"");
    row("unknown command", "setup sculla", "error: unknown command \"setup\"");
    row("ports with argument", "ports 1", "error: ports takes no arguments");
    row("empty report name", "configure sculla --port 1 --report=", "error: --report needs a file name");
    row("a built-in as a file", "profile Garnock --out g.toml", "profile garnock  0 0 0 0 - - out=g.toml");
    row("a file in place of the device", "configure --profile g.toml --port 1 --fast", "configure  1 1 0 0 1 - - profile=g.toml");
    row("verify a file", "verify --port 2 --profile g.toml", "verify  2 2 1 0 0 - - profile=g.toml");
    row("read the saved state", "read --port 1 --saved --out c.toml", "read  1 1 0 0 0 - - out=c.toml saved");
    row("device and file", "configure sculla --profile g.toml --port 1", "error: unexpected argument \"sculla\"");
    row("read takes no device", "read sculla --port 1", "error: unexpected argument \"sculla\"");
    row("read needs a port", "read --out c.toml", "error: read needs --port PORT");
    row("profile has no --port", "profile sculla --port 1", "error: unknown option --port for profile");
    row("a dry run of the fast run needs no port", "configure sculla --dry-run --fast", "configure sculla  0 0 0 1 - -");
}

void TestCli::parse()
{
    QFETCH(QString, line);
    QFETCH(QString, want);
    QCOMPARE(Cli::WantsCommandLine(line.split(u' ')), want != QLatin1String("window"));
    if (want == QLatin1String("window"))
        return;
    const Cli::Parsed p = Cli::Parse(Cli::WithoutQtOptions(line.split(u' ')));
    if (want.startsWith(QLatin1String("error: "))) {
        QVERIFY2(p.error.startsWith(want.mid(7)), qPrintable(p.error));
        return;
    }
    QVERIFY2(p.error.isEmpty(), qPrintable(p.error));
    const Cli::Arguments& a = p.arguments;
    static const char* kCommands[] = {"configure", "verify", "ports", "help", "version", "profile", "read", "summary", "profiles"};
    QString got = QLatin1String(kCommands[int(a.command)]);
    if (a.device || !a.port.isEmpty() || a.command == Cli::Command::Profile)
        got += QStringLiteral(" %1 %2 %3 %4 %5 %6 %7 %8")
                   .arg(a.device ? QLatin1String(a.device->key) : QLatin1String(), a.port)
                   .arg(a.portNumber)
                   .arg(int(a.verify))
                   .arg(int(a.repeat))
                   .arg(int(a.fast))
                   .arg(a.report.isEmpty() ? QStringLiteral("-") : a.report,
                        a.serial.isEmpty() ? QStringLiteral("-") : a.serial);
    if (!a.profileFile.isEmpty())
        got += QStringLiteral(" profile=%1").arg(a.profileFile);
    if (!a.out.isEmpty())
        got += QStringLiteral(" out=%1").arg(a.out);
    if (a.saved)
        got += QStringLiteral(" saved");
    QCOMPARE(a.serialFromInput, line.contains(QLatin1String("--serial -")));
    QCOMPARE(got, want);
}

void TestCli::configureVerifiesEveryDevice_data()
{
    QTest::addColumn<QString>("device");
    QTest::addColumn<bool>("fast");
    QTest::addColumn<bool>("fromFile"); // the device exported with `profile` and run with --profile
    for (const SetupOutputs::Profile& p : SetupOutputs::Profiles()) {
        QTest::newRow(p.key) << QString::fromLatin1(p.key) << false << false;
        QTest::addRow("%s --fast", p.key) << QString::fromLatin1(p.key) << true << false;
    }
    QTest::newRow("garnock from its file") << "garnock" << false << true;
    QTest::newRow("molvane --fast from its file") << "molvane" << true << true;
}

void TestCli::configureVerifiesEveryDevice()
{
    QFETCH(QString, device);
    QFETCH(bool, fast);
    QFETCH(bool, fromFile);
    VirtualReceiver receiver;
    QStringList args{"configure", device, "--port", "1", "--verify", "--report", Report(), "--serial", "SN-1", "--report-frames"};
    const QString file = dir_->filePath(device + QStringLiteral(".toml"));
    if (fromFile) {
        QCOMPARE(RunCli({"profile", device, "--out", file}).code, 0);
        QCOMPARE(RunCli({"profile", "--check", file}).code, 0);
        args.replaceInStrings(QRegularExpression(QStringLiteral("^%1$").arg(device)), QStringLiteral("--profile=") + file);
    }
    if (fast)
        args << QStringLiteral("--fast");
    // The dry run opens nothing and names every distinct frame the run sends.
    const Captured dry = RunCli(args + QStringList{"--dry-run"});
    QCOMPARE(dry.code, 0);
    QVERIFY(receiver.Frames().isEmpty());
    QSet<QString> planned;
    static const QRegularExpression frameLine(QStringLiteral("^  ((?:[0-9A-F]{2} )+[0-9A-F]{2})  "), QRegularExpression::MultilineOption);
    for (const QRegularExpressionMatch& m : frameLine.globalMatch(dry.err))
        planned << m.captured(1).remove(u' ');

    const Captured run = RunCli(args);
    QVERIFY2(run.code == 0, qPrintable(run.err));
    const SetupOutputs::Profile& profile = *SetupOutputs::FindProfile(device);
    QVERIFY2(run.err.contains(QStringLiteral("PASS  SN SN-1  %1  verified  ").arg(QLatin1String(profile.name))), qPrintable(run.err));
    // A log gets one progress line per step, not one per frame.
    QVERIFY2(run.err.count(u'\n') < 3 * qsizetype(profile.steps.size()), qPrintable(run.err));

    // The exact run's frames are the window's, unchanged; the read-back adds polls only.
    if (!fast) {
        const QStringList golden = GoldenProfileFrames(device);
        const QStringList after = FramesAfterReset(receiver.Frames());
        QCOMPARE(after.mid(0, golden.size()), golden);
        QVERIFY2(OnlyPollsMovesAndLoads(after.mid(golden.size())), qPrintable(after.mid(golden.size()).join(u' ')));
        QSet<QString> missing = QSet<QString>(golden.begin(), golden.end()) - planned;
        missing.removeIf([](const QString& f) { return IsPollFrame(f); });
        QVERIFY2(missing.isEmpty(), qPrintable(QStringList(missing.begin(), missing.end()).join(u' ')));
    }

    const QJsonObject unit = LastReportLine(Report());
    QVERIFY(unit["verified"].toBool());
    QCOMPARE(unit["differences"].toInt(-1), 0);
    QCOMPARE(unit["profile"]["name"].toString(), QLatin1String(profile.name));
    if (fromFile) {
        QFile bytes(file);
        QVERIFY(bytes.open(QIODevice::ReadOnly));
        QCOMPARE(unit["profile"]["file"].toString(), file);
        QCOMPARE(unit["profile"]["sha256"].toString(),
                 QString::fromLatin1(QCryptographicHash::hash(bytes.readAll(), QCryptographicHash::Sha256).toHex()));
    } else {
        QVERIFY(unit["profile"]["file"].isNull());
    }
    QCOMPARE(unit["device"].toString(), device);
    QCOMPARE(unit["serial"].toString(), QStringLiteral("SN-1"));
    QCOMPARE(unit["outcome"].toString(), QStringLiteral("done"));
    QVERIFY(unit["failedStep"].isNull());
    QVERIFY(QDateTime::fromString(unit["start"].toString(), Qt::ISODateWithMs).isValid());
    const QJsonArray steps = unit["steps"].toArray();
    QCOMPARE(steps.size(), qsizetype(profile.steps.size() + 1)); // and the read-back
    const QJsonObject flash = steps[steps.size() - 2].toObject();
    QCOMPARE(flash["name"].toString(), QStringLiteral("WriteSetupToFlash"));
    QVERIFY(!flash["frames"].toArray().isEmpty());
    QCOMPARE(flash["frames"].toArray()[0].toObject()["wait"].toString(), QStringLiteral("ack"));
    QCOMPARE(flash["frames"].toArray()[0].toObject()["answer"].toString(), QStringLiteral("ack"));

    // Every field the run set reads back equal from the saved configuration
    // (the running one is what was just sent), on a receiver that lays out
    // DDC and USB without a rate; all but the link's own port at 115200.
    qsizetype fields = 0;
    for (const Verification::Expectation& e : Verification::ExpectedState(profile))
        fields += qsizetype(e.wants.size());
    const QJsonArray items = unit["verification"].toArray();
    QCOMPARE(items.size(), fields);
    for (const QJsonValue& v : items) {
        const QJsonObject item = v.toObject();
        QVERIFY2(item["equal"].toBool() && item["read"] == item["wanted"], qPrintable(item["name"].toString()));
        QCOMPARE(item["state"].toString(), QStringLiteral("saved"));
        const bool linkPort = item["name"].toString().startsWith(QStringLiteral("CFG-PRT port 1"));
        QCOMPARE(item["readAt"].toInt(), linkPort ? receiver.PcRate() : 115200);
    }
    // The link's final rate is what the PC talks at after the run.
    for (const QJsonValue& v : items)
        if (v.toObject()["name"] == QStringLiteral("CFG-PRT port 1 baudRate"))
            QCOMPARE(v.toObject()["wanted"].toInt(), receiver.PcRate());
}

void TestCli::verifyAfterConfigure_data()
{
    using VarnexSim::Key;
    QTest::addColumn<VarnexSim::Faults>("configureFaults"); // while configuring
    QTest::addColumn<int>("drift");          // 1: RMC turned off on port 1 after the save; 2: the port pulled at the 5th poll;
                                             // 3: the receiver answers nothing from the load on
    QTest::addColumn<VarnexSim::Faults>("verifyFaults");    // while verifying
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<int>("count");                        // differences the console names
    QTest::addColumn<QStringList>("differences");          // some of them, word for word
    const VarnexSim::Faults none;
    QTest::newRow("running changed after the save") << none << 1 << none << 4 << "verification failed" << 1
        << QStringList{"running CFG-MSG F0 04 port 1: want 1, read 0"};
    // The load brings back the factory's 9600 bit/s: the link is followed there.
    QTest::newRow("save refused") << VarnexSim::Faults{.nakFor = {Key(0x06, 0x09)}} << 0 << none << 4
        << "verification failed" << -1
        << QStringList{"saved CFG-PRT port 1 baudRate: want 4800, read 9600", "saved CFG-MSG F0 01 port 1: want 0, read 1"};
    QTest::newRow("a read-back poll unanswered") << none << 0 << VarnexSim::Faults{.neverAck = {Key(0x06, 0x07)}} << 4
        << "verification failed" << 2 * 7
        << QStringList{"running CFG-TP interval: want 1000000, no reply", "saved CFG-TP interval: want 1000000, no reply"};
    QTest::newRow("port lost during the read-back") << none << 2 << none << 1 << "port lost" << 0 << QStringList{};
    // A refusal ends a poll's wait at once: the proof stays quick.
    QTest::newRow("a read-back poll refused") << none << 0 << VarnexSim::Faults{.nakPolls = {Key(0x06, 0x07)}} << 4
        << "verification failed" << 2 * 7 << QStringList{"saved CFG-TP length: want 200000, no reply"};
    QTest::newRow("load refused") << none << 0 << VarnexSim::Faults{.nakLoad = true} << 4 << "load refused" << 0 << QStringList{};
    QTest::newRow("link lost after the load") << none << 3 << none << 1 << "link lost after the load" << 0 << QStringList{};
}

// Sculla configured, then verified: only polls, link moves and loads go out, and the
// console names exactly the differences of the running and the saved state.
void TestCli::verifyAfterConfigure()
{
    QFETCH(VarnexSim::Faults, configureFaults);
    QFETCH(int, drift);
    QFETCH(VarnexSim::Faults, verifyFaults);
    QFETCH(int, code);
    QFETCH(QString, outcome);
    QFETCH(int, count);
    QFETCH(QStringList, differences);
    VirtualReceiver receiver({.faults = configureFaults});
    RunCli({"configure", "sculla", "--port", "1"});
    if (drift == 1) {
        VarnexSim::ReceiverConfig drifted = receiver.Model().Running();
        drifted.SetRate(VarnexSim::Key(0xF0, 0x04), 1, 0);
        receiver.Model().SetRunning(drifted);
    }
    receiver.SetFaults(verifyFaults);
    const qsizetype sentBefore = receiver.Frames().size();
    const qsizetype framesBefore = receiver.Written().count("\xB5\x62");
    receiver.OnWrite([&](const QByteArray&) {
        if (drift == 2 && receiver.Written().count("\xB5\x62") == framesBefore + 5)
            receiver.Model().Unplug();
        if (drift == 3 && receiver.Written().contains(QByteArray::fromHex("B56206090C000000000000000000FFFF0000")))
            receiver.SetFaults({.silent = true});
    });
    const double start = receiver.Elapsed();

    const Captured run = RunCli({"verify", "SCULLA", "--port", "1", "--report", Report()});
    QCOMPARE(run.code, code);
    QStringList named;
    for (const QString& line : run.err.split(u'\n'))
        if (line.contains(QLatin1String(": want ")))
            named << line.section(QLatin1String("port 1: "), 1);
    if (count >= 0)
        QCOMPARE(named.size(), count);
    QVERIFY(!named.isEmpty() || count == 0);
    // A refused save leaves the running set-up right: only the saved one differs.
    if (!configureFaults.nakFor.empty())
        QVERIFY2(std::all_of(named.begin(), named.end(), [](const QString& n) { return n.startsWith(u"saved"); }),
                 qPrintable(named.join(u'\n')));
    for (const QString& d : differences)
        QVERIFY2(named.contains(d), qPrintable(named.join(u'\n')));
    const QJsonObject unit = LastReportLine(Report());
    QCOMPARE(unit["outcome"].toString(), outcome);
    // A failure says why, in the record and in the verdict, and carries every item.
    QVERIFY(!unit["verified"].toBool(true) && !unit["message"].toString().isEmpty());
    QCOMPARE(unit["failedStep"].toString(), QStringLiteral("ReadBack"));
    if (count >= 0)
        QCOMPARE(unit["differences"].toInt(), count);
    QVERIFY(unit["verification"].isArray());
    // The receiver as its identity tells it, when it told.
    const QString identity = unit["receiver"].isObject() ? QStringLiteral("  u-blox 6 protocol 13.03") : QString();
    QVERIFY2(run.err.trimmed().endsWith(QStringLiteral("FAIL  Sculla  ") + unit["reason"].toString() + identity),
             qPrintable(run.err));
    if (drift == 2) // a pulled port ends the read-back at once, not poll by poll
        QVERIFY2(receiver.Elapsed() - start < 1.0, qPrintable(QString::number(receiver.Elapsed() - start)));
    else if (drift != 3)
        QVERIFY(OnlyPollsMovesAndLoads(receiver.Frames().mid(sentBefore)));
    // Nothing waits a whole time-out but a poll left unanswered.
    if (verifyFaults.neverAck.empty() && drift != 3)
        QVERIFY2(receiver.Elapsed() - start < 2.0, qPrintable(QString::number(receiver.Elapsed() - start)));
}

void TestCli::failedStepIsNamedAndNothingSaved_data()
{
    using VarnexSim::Key;
    QTest::addColumn<bool>("fast");
    QTest::addColumn<VarnexSim::Faults>("faults");
    QTest::addColumn<QString>("answer"); // what ended the failed step's wait, as recorded
    QTest::newRow("CFG-TP never acknowledged") << false << VarnexSim::Faults{.neverAck = {Key(0x06, 0x07)}} << "none";
    QTest::newRow("CFG-TP refused") << false << VarnexSim::Faults{.nakFor = {Key(0x06, 0x07)}} << "nak";
    QTest::newRow("CFG-TP never acknowledged, --fast") << true << VarnexSim::Faults{.neverAck = {Key(0x06, 0x07)}} << "none";
    QTest::newRow("CFG-TP refused, --fast") << true << VarnexSim::Faults{.nakFor = {Key(0x06, 0x07)}} << "nak";
}

void TestCli::failedStepIsNamedAndNothingSaved()
{
    QFETCH(bool, fast);
    QFETCH(VarnexSim::Faults, faults);
    QFETCH(QString, answer);
    VirtualReceiver receiver({.faults = faults});
    QStringList args{"configure", "garnock", "--port", "1", "--verify", "--report", Report()};
    if (fast)
        args << QStringLiteral("--fast");
    const Captured run = RunCli(args);
    QCOMPARE(run.code, 1);
    QVERIFY2(run.err.contains(QLatin1String("Failed to set Varnex parameter please check it is connected correctly")),
             qPrintable(run.err));
    QVERIFY2(run.err.contains(QLatin1String("port 1: step SetTimePulse 200 ms 50 ms failed")), qPrintable(run.err));
    QCOMPARE(run.err.contains(QLatin1String("the receiver refused CFG-TP (06 07)")), answer == u"nak");
    QVERIFY(receiver.Frames(0x06, 0x09).isEmpty());  // no save
    QCOMPARE(receiver.Frames(0x06, 0x01).size(), fast ? 38 : 152); // nothing after the failed step, no read-back
    const QJsonObject unit = LastReportLine(Report());
    QCOMPARE(unit["failedStep"].toString(), QStringLiteral("SetTimePulse 200 ms 50 ms"));
    QVERIFY(!unit.contains(QLatin1String("verification")));
    const QJsonArray frames = unit["steps"].toArray().last().toObject()["frames"].toArray();
    QCOMPARE(frames.size(), 1);
    QCOMPARE(frames[0].toObject()["answer"].toString(), answer);
    QVERIFY2(run.err.contains(QStringLiteral("FAIL  Garnock  time pulse %1 (CFG-TP)")
                                  .arg(answer == u"nak" ? QStringLiteral("refused") : QStringLiteral("unanswered"))),
             qPrintable(run.err));
    QVERIFY(!unit["message"].toString().isEmpty());
    // The whole wait: the exact run waits out its 5 s even after a refusal.
    QCOMPARE(frames[0].toObject()["seconds"].toDouble() >= 5.0, !fast || answer == u"none");
}

void TestCli::nothingSentWhenPortOrReportUnusable()
{
    VirtualReceiver receiver;
    const Captured noPort = RunCli({"configure", "pemmet", "--port", "7", "--report", Report()});
    QCOMPARE(noPort.code, 3);
    QVERIFY2(noPort.err.contains(QLatin1String("port 7 cannot be opened")), qPrintable(noPort.err));
    QCOMPARE(LastReportLine(Report())["outcome"].toString(), QStringLiteral("port not opened"));

    const QString unwritable = dir_->filePath(QStringLiteral("missing/units.jsonl"));
    const Captured noReport = RunCli({"configure", "pemmet", "--port", "1", "--report", unwritable});
    QCOMPARE(noReport.code, 2);
    QVERIFY2(noReport.err.contains(QLatin1String("cannot write the report")), qPrintable(noReport.err));
    const Captured twoPorts = RunCli({"configure", "pemmet", "--port", "1", "--port", "/dev/ttyUSB3"});
    QCOMPARE(twoPorts.code, 2);
    QCOMPARE(twoPorts.err.count(u'\n'), 1);
    // A profile file that is refused says where, in one line, before any port is opened.
    const QString file = dir_->filePath(QStringLiteral("bad.toml"));
    QCOMPARE(RunCli({"profile", "molvane", "--out", file}).code, 0);
    QFile edit(file);
    QVERIFY(edit.open(QIODevice::ReadWrite));
    const QByteArray text = edit.readAll().replace("rate = 4800", "rate = 4801");
    edit.resize(0);
    edit.write(text);
    edit.close();
    const Captured checked = RunCli({"profile", "--check", file});
    QCOMPARE(checked.code, 2);
    QCOMPARE(checked.err.count(u'\n'), 1);
    const Captured badFile = RunCli({"configure", "--profile", file, "--port", "1", "--report", Report()});
    QCOMPARE(badFile.code, 2);
    QCOMPARE(badFile.err, checked.err);
    QCOMPARE(badFile.err.count(u'\n'), 1);
    QVERIFY2(badFile.err.contains(QStringLiteral("bad.toml:%1:8: baud rate 4801").arg(text.left(text.indexOf("rate = 4801")).count('\n') + 1)),
             qPrintable(badFile.err));
    QVERIFY(receiver.BytesByRate().isEmpty());

    // A report whose last line was cut: the next unit's line starts on a line of its own.
    QFile cut(Report());
    QVERIFY(cut.open(QIODevice::Append));
    cut.write("{\"tool\":\"varnexconfig\",\"outc");
    cut.close();
    QCOMPARE(RunCli({"configure", "pemmet", "--port", "1", "--fast", "--report", Report()}).code, 0);
    QCOMPARE(LastReportLine(Report())["outcome"].toString(), QStringLiteral("done"));
    // Quiet: the verdict alone.
    const Captured quiet = RunCli({"configure", "pemmet", "--port", "1", "--fast", "--quiet"});
    QVERIFY2(quiet.code == 0 && quiet.err.count(u'\n') == 1 && quiet.err.startsWith(QLatin1String("PASS  Pemmet  configured  ")),
             qPrintable(quiet.err));

    // Output nobody got is an error; a read that fails leaves no file behind.
    std::FILE* full = std::fopen("/dev/full", "w");
    QCOMPARE(Cli::Main({"profile", "molvane"}, {full, full, false, stdin}), 5);
    std::fclose(full);
    const QString clone = dir_->filePath(QStringLiteral("clone.toml"));
    QCOMPARE(RunCli({"read", "--port", "7", "--out", clone}).code, 3);
    QVERIFY(!QFile::exists(clone));
    // A lost line outranks the unit's own failure.
    QCOMPARE(RunCli({"configure", "pemmet", "--port", "7", "--report", "/dev/full"}).code, 5);
    // A configured unit whose line cannot be written is not a failed step.
    const Captured lost = RunCli({"configure", "pemmet", "--port", "1", "--fast", "--report", "/dev/full"});
    QCOMPARE(lost.code, 5);
    QVERIFY2(lost.err.contains(QLatin1String("report line of unit 1 on port 1 (done")), qPrintable(lost.err));
}

// The man page is written by hand and must name every option and exit code
// of the table, and no exit code it does not have.
void TestCli::helpAndManPageFollowTheTable()
{
    QFile file(QStringLiteral(VARNEX_MAN_PAGE));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString man = QString::fromUtf8(file.readAll());
    for (const Cli::OptionSpec& o : Cli::Options()) {
        QVERIFY2(man.contains(QStringLiteral("\\-\\-%1").arg(QString::fromLatin1(o.name).replace(u'-', QStringLiteral("\\-")))), o.name);
        if (o.shortName)
            QVERIFY2(man.contains(QStringLiteral(".BR \\-%1 ").arg(QLatin1String(o.shortName))), o.shortName);
    }
    QStringList documented, table;
    const QString exitStatus = man.section(QStringLiteral(".SH EXIT STATUS"), 1).section(QStringLiteral(".SH "), 0, 0);
    static const QRegularExpression codeLine(QStringLiteral("^\\.B (\\d+)$"), QRegularExpression::MultilineOption);
    for (const QRegularExpressionMatch& m : codeLine.globalMatch(exitStatus))
        documented << m.captured(1);
    for (const Cli::ExitSpec& e : Cli::ExitCodes())
        table << QString::number(e.code);
    QCOMPARE(documented, table);
}

QTEST_GUILESS_MAIN(TestCli)
#include "test_cli.moc"
