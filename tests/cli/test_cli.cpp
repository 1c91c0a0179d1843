// The command line in-process, in virtual time against the simulated
// receiver: the argument table, and what a unit run sent, said, recorded and
// returned.
#include "cli/CommandLine.h"
#include "harness/GoldenFrames.h"
#include "harness/VirtualReceiver.h"
#include "profiles/Verification.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>

namespace {

// Runs the command line with stdout and stderr captured.
struct Captured {
    int code = -1;
    QString err;
};

Captured RunCli(const QStringList& args)
{
    char* buffer = nullptr;
    std::size_t size = 0;
    std::FILE* err = open_memstream(&buffer, &size);
    Captured c;
    c.code = Cli::Main(args, {err, err, false});
    std::fclose(err);
    c.err = QString::fromLocal8Bit(buffer, qsizetype(size));
    std::free(buffer);
    return c;
}

QJsonObject LastReportLine(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QList<QByteArray> lines = file.readAll().split('\n');
    return lines.size() >= 2 ? QJsonDocument::fromJson(lines[lines.size() - 2]).object() : QJsonObject();
}

// A poll: no payload, or the one-byte CFG-PRT and two-byte CFG-MSG forms.
bool IsPollFrame(const QString& hex)
{
    const QString head = hex.left(12);
    return head.endsWith(QLatin1String("0000")) || head == QLatin1String("B56206000100")
           || head == QLatin1String("B56206010200");
}

} // namespace

class TestCli : public QObject {
    Q_OBJECT
private slots:
    void init() { dir_.reset(new QTemporaryDir); }
    void parse_data();
    void parse();
    void configureVerifiesEveryDevice_data();
    void configureVerifiesEveryDevice();
    void verifySendsOnlyPollsAndNamesDifference();
    void failedStepIsNamedAndNothingSaved();
    void nothingSentWhenPortOrReportUnusable();

private:
    QString Report() const { return dir_->filePath(QStringLiteral("units.jsonl")); }
    std::unique_ptr<QTemporaryDir> dir_;
};

void TestCli::parse_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("want"); // "command device port number verify repeat fast report serial", or "error: <text>"
    const auto row = [](const char* name, const char* line, const char* want) { QTest::newRow(name) << line << want; };
    row("configure by number", "configure sculla --port 3", "configure sculla 3 3 0 0 0 - -");
    row("any case, path, all options", "configure MOLVANE --port /dev/ttyUSB0 --verify --report r.jsonl --serial SN7 --repeat --fast",
        "configure molvane /dev/ttyUSB0 0 1 1 1 r.jsonl SN7");
    row("options before device, = form", "configure --port=COM5 --serial= Trissel", "configure trissel COM5 0 0 0 0 - -");
    row("verify always reads back", "verify pemmet --port 2 --report r", "verify pemmet 2 2 1 0 0 r -");
    row("verify has no --fast", "verify pemmet --port 2 --fast", "error: unknown option --fast for verify");
    row("ports", "ports", "ports");
    row("help", "--help", "help");
    row("version", "--version", "version");
    row("unknown device", "configure widget --port 1", "error: unknown device \"widget\" (sculla, pemmet, molvane, garnock, trissel)");
    row("port 0", "configure sculla --port 0", "error: bad port \"0\"");
    row("port text", "configure sculla --port usb", "error: bad port \"usb\"");
    row("port missing", "configure sculla", "error: configure needs --port PORT");
    row("port without value", "configure sculla --port", "error: --port needs");
    row("device missing", "verify --port 1", "error: verify needs a device");
    row("verify has no --repeat", "verify sculla --port 1 --repeat", "error: unknown option --repeat for verify");
    row("unknown option", "configure sculla --port 1 --fast-ish", "error: unknown option --fast-ish");
    row("two devices", "configure sculla pemmet --port 1", "error: unexpected argument \"pemmet\"");
    row("unknown command", "setup sculla", "error: unknown command \"setup\"");
    row("ports with argument", "ports 1", "error: ports takes no arguments");
    row("empty report name", "configure sculla --port 1 --report=", "error: --report needs a file name");
}

void TestCli::parse()
{
    QFETCH(QString, line);
    QFETCH(QString, want);
    const Cli::Parsed p = Cli::Parse(line.split(u' '));
    if (want.startsWith(QLatin1String("error: "))) {
        QVERIFY2(p.error.startsWith(want.mid(7)), qPrintable(p.error));
        return;
    }
    QVERIFY2(p.error.isEmpty(), qPrintable(p.error));
    const Cli::Arguments& a = p.arguments;
    static const char* kCommands[] = {"configure", "verify", "ports", "help", "version"};
    QString got = QLatin1String(kCommands[int(a.command)]);
    if (a.device)
        got += QStringLiteral(" %1 %2 %3 %4 %5 %6 %7 %8")
                   .arg(QLatin1String(a.device->key), a.port)
                   .arg(a.portNumber)
                   .arg(int(a.verify))
                   .arg(int(a.repeat))
                   .arg(int(a.fast))
                   .arg(a.report.isEmpty() ? QStringLiteral("-") : a.report,
                        a.serial.isEmpty() ? QStringLiteral("-") : a.serial);
    QCOMPARE(got, want);
}

void TestCli::configureVerifiesEveryDevice_data()
{
    QTest::addColumn<QString>("device");
    QTest::addColumn<bool>("fast");
    for (const SetupOutputs::Profile& p : SetupOutputs::Profiles()) {
        QTest::newRow(p.key) << QString::fromLatin1(p.key) << false;
        QTest::addRow("%s --fast", p.key) << QString::fromLatin1(p.key) << true;
    }
}

void TestCli::configureVerifiesEveryDevice()
{
    QFETCH(QString, device);
    QFETCH(bool, fast);
    VirtualReceiver receiver;
    QStringList args{"configure", device, "--port", "1", "--verify", "--report", Report(), "--serial", "SN-1"};
    if (fast)
        args << QStringLiteral("--fast");
    const Captured run = RunCli(args);
    QVERIFY2(run.code == 0, qPrintable(run.err));

    // The exact run's frames are the window's, unchanged; the read-back adds polls only.
    if (!fast) {
        const QStringList golden = GoldenProfileFrames(device);
        const QStringList after = FramesAfterReset(receiver.Frames());
        QCOMPARE(after.mid(0, golden.size()), golden);
        for (const QString& f : after.mid(golden.size()))
            QVERIFY2(IsPollFrame(f), qPrintable(f));
    }

    const QJsonObject unit = LastReportLine(Report());
    QCOMPARE(unit["device"].toString(), device);
    QCOMPARE(unit["serial"].toString(), QStringLiteral("SN-1"));
    QCOMPARE(unit["outcome"].toString(), QStringLiteral("done"));
    QVERIFY(unit["failedStep"].isNull());
    QVERIFY(QDateTime::fromString(unit["start"].toString(), Qt::ISODateWithMs).isValid());
    const SetupOutputs::Profile& profile = *SetupOutputs::FindProfile(device);
    const QJsonArray steps = unit["steps"].toArray();
    QCOMPARE(steps.size(), qsizetype(profile.steps.size() + 1)); // and the read-back
    const QJsonObject flash = steps[steps.size() - 2].toObject();
    QCOMPARE(flash["name"].toString(), QStringLiteral("WriteSetupToFlash"));
    QVERIFY(!flash["frames"].toArray().isEmpty());
    QCOMPARE(flash["frames"].toArray()[0].toObject()["wait"].toString(), QStringLiteral("ack"));
    QVERIFY(flash["frames"].toArray()[0].toObject()["answered"].toBool());

    // Every field the run set reads back equal; the items name what they hold.
    qsizetype fields = 0;
    for (const Verification::Expectation& e : Verification::ExpectedState(profile))
        fields += qsizetype(e.fields.size());
    const QJsonArray items = unit["verification"].toArray();
    QCOMPARE(items.size(), fields);
    for (const QJsonValue& v : items) {
        const QJsonObject item = v.toObject();
        QVERIFY2(item["equal"].toBool() && item["read"] == item["wanted"], qPrintable(item["name"].toString()));
    }
    // The link's final rate is what the PC talks at after the run.
    for (const QJsonValue& v : items)
        if (v.toObject()["name"] == QStringLiteral("CFG-PRT port 1 baudRate"))
            QCOMPARE(v.toObject()["wanted"].toInt(), receiver.PcRate());
}

void TestCli::verifySendsOnlyPollsAndNamesDifference()
{
    VirtualReceiver receiver;
    QCOMPARE(RunCli({"configure", "sculla", "--port", "1"}).code, 0);
    // The unit drifts after the save: RMC no longer on port 1.
    VarnexSim::ReceiverConfig drifted = receiver.Model().Running();
    drifted.SetRate(VarnexSim::Key(0xF0, 0x04), 1, 0);
    receiver.Model().SetRunning(drifted);
    const qsizetype sentBefore = receiver.Frames().size();

    const Captured run = RunCli({"verify", "SCULLA", "--port", "1", "--report", Report()});
    QCOMPARE(run.code, 4);
    QVERIFY2(run.err.contains(QLatin1String("CFG-MSG F0 04 port 1: want 1, read 0")), qPrintable(run.err));
    QCOMPARE(run.err.count(QLatin1String(": want ")), 1);
    for (const QString& f : receiver.Frames().mid(sentBefore))
        QVERIFY2(IsPollFrame(f), qPrintable(f));
    const QJsonObject unit = LastReportLine(Report());
    QCOMPARE(unit["command"].toString(), QStringLiteral("verify"));
    QCOMPARE(unit["outcome"].toString(), QStringLiteral("verification failed"));
}

void TestCli::failedStepIsNamedAndNothingSaved()
{
    VirtualReceiver receiver({.faults = {.neverAck = {VarnexSim::Key(0x06, 0x07)}}}); // CFG-TP never acknowledged
    const Captured run = RunCli({"configure", "garnock", "--port", "1", "--verify", "--report", Report()});
    QCOMPARE(run.code, 1);
    QVERIFY2(run.err.contains(QLatin1String("Failed to set Varnex parameter please check it is connected correctly")),
             qPrintable(run.err));
    QVERIFY2(run.err.contains(QLatin1String("port 1: step SetTimePulse 200 ms 50 ms failed")), qPrintable(run.err));
    QVERIFY(receiver.Frames(0x06, 0x09).isEmpty());  // no save
    QVERIFY(receiver.Frames(0x06, 0x01).size() == 152); // nothing after the failed step, no read-back
    const QJsonObject unit = LastReportLine(Report());
    QCOMPARE(unit["failedStep"].toString(), QStringLiteral("SetTimePulse 200 ms 50 ms"));
    QVERIFY(!unit.contains(QLatin1String("verification")));
    const QJsonArray frames = unit["steps"].toArray().last().toObject()["frames"].toArray();
    QCOMPARE(frames.size(), 1);
    QCOMPARE(frames[0].toObject()["answered"].toBool(), false);
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
    QVERIFY(receiver.BytesByRate().isEmpty());
}

QTEST_GUILESS_MAIN(TestCli)
#include "test_cli.moc"
