// The packaged executable's command line on real pseudo-terminals against
// the simulator, with no display and no platform plugin named: a bench of two
// units configured the fast way with read-back and report, the port given as
// a device path, ended by Ctrl-C; interruptions, a closed stderr, a port held
// by another program, and three stations appending to one report.
#include "harness/GoldenFrames.h"
#include "harness/PtyPair.h"
#include "harness/PtySim.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <csignal>

#include <sys/resource.h>

namespace {

QList<QByteArray> ReportLines(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll().split('\n') : QList<QByteArray>();
}

// The tool as a bench starts it: no display, nothing of Qt's platform named.
void StartTool(QProcess& tool, const QStringList& args)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QLatin1String(name));
    tool.setProcessEnvironment(env);
    tool.start(QStringLiteral(VARNEX_TOOL_EXE), args);
}

} // namespace

class TestCliE2e : public QObject {
    Q_OBJECT
private slots:
    void benchOfTwoUnitsWithoutDisplay();
    void stationCountsEachBoardOnce_data();
    void stationCountsEachBoardOnce();
    void stations_data();
    void stations();
};

void TestCliE2e::benchOfTwoUnitsWithoutDisplay()
{
    PtySim sim(1);
    QVERIFY2(sim.IsValid(), qPrintable(sim.Error()));
    QTemporaryDir dir;
    const QString report = dir.filePath(QStringLiteral("bench.jsonl"));
    // The serial numbers come from a terminal, as from a scanner.
    PtyPair scanner;
    QVERIFY(scanner.IsValid());
    QProcess tool;
    tool.setStandardInputFile(scanner.SlavePath());
    StartTool(tool, {"configure", "Pemmet", "--port", sim.DevicePath(), "--fast", "--verify", "--repeat", "--report", report,
                     "--serial", "-", "--report-frames"});
    QString err;
    const auto said = [&](const char* text) { return (err += QString::fromLocal8Bit(tool.readAllStandardError())).contains(QLatin1String(text)); };
    QTRY_VERIFY_WITH_TIMEOUT(said("Serial number of unit 1:"), 20000);
    scanner.Write("A-0042\n");
    QTRY_COMPARE_WITH_TIMEOUT(ReportLines(report).size(), 2, 60000);
    // A label scanned while the unit is still on the bench belongs to no unit.
    scanner.Write("A-0099\n");
    QTest::qWait(500);
    QVERIFY(!said("Serial number of unit 2:"));
    // The configured unit goes away, the next one comes; an empty line and a
    // double scan of the last label are refused.
    sim.Unplug();
    QTRY_VERIFY_WITH_TIMEOUT(said("Serial number of unit 2:"), 20000);
    scanner.Write("\nA-0042\nA-0043\n");
    QTest::qWait(2500);
    QCOMPARE(ReportLines(report).size(), 2);
    sim.Replug();
    QTRY_COMPARE_WITH_TIMEOUT(ReportLines(report).size(), 3, 60000);
    ::kill(pid_t(tool.processId()), SIGINT);
    QVERIFY(tool.waitForFinished(20000));
    said("");
    QVERIFY2(tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0, qPrintable(err));
    QVERIFY2(err.contains(QLatin1String("An empty line is no serial number")), qPrintable(err));
    QVERIFY2(err.contains(QLatin1String("\"A-0042\" is the last unit's serial number")), qPrintable(err));
    QVERIFY2(err.contains(QLatin1String("PASS  unit 2  SN A-0043  Pemmet  verified")), qPrintable(err));
    QVERIFY2(err.contains(QLatin1String("[9/9] Writing Setup To Flash")), qPrintable(err)); // progress, not a terminal
    QVERIFY2(err.trimmed().endsWith(QLatin1String("Units: 2 passed, 0 failed")), qPrintable(err.right(300)));

    // Each unit one whole line: done, where, which, and every field read back equal.
    const QList<QByteArray> lines = ReportLines(report);
    QJsonObject unit;
    for (const QByteArray& line : lines.mid(0, 2)) {
        const QString serial = unit.isEmpty() ? QStringLiteral("A-0042") : QStringLiteral("A-0043");
        QJsonParseError parseError;
        unit = QJsonDocument::fromJson(line, &parseError).object();
        QVERIFY2(parseError.error == QJsonParseError::NoError, qPrintable(parseError.errorString()));
        QCOMPARE(unit["outcome"].toString(), QStringLiteral("done"));
        QCOMPARE(unit["path"].toString(), sim.DevicePath());
        QCOMPARE(unit["serial"].toString(), serial);
        QVERIFY(unit["durationSeconds"].toDouble() > 0);
        const QJsonArray items = unit["verification"].toArray();
        QVERIFY(items.size() > 40);
        for (const QJsonValue& v : items)
            QVERIFY2(v.toObject()["equal"].toBool(), qPrintable(v.toObject()["name"].toString()));
    }
    // What the record says was sent is what the receiver got, frame for frame.
    QStringList recorded, received;
    for (const QJsonValue& step : unit["steps"].toArray())
        for (const QJsonValue& frame : step.toObject()["frames"].toArray())
            recorded << HexFrame(frame.toObject()["sent"].toString());
    for (const QString& f : sim.FramesFromPc())
        received << HexFrame(f);
    // (The loop's own search polls and the identity poll come after it.)
    QVERIFY(recorded.size() > 40);
    QVERIFY(std::search(received.begin(), received.end(), recorded.begin(), recorded.end()) != received.end());
}

// What the bench does to the unit once its run is done.
enum class BenchAction {
    UsbBoardsSwapped,   // a receiver with its own USB port: each board its own device behind one stable name
    Jiggled,            // the device missing for 0.6 s, the same module back
    UsbSilentPulled,    // a receiver with its own USB port, silent there, pulled for 1.2 s and put back
    ClaimedFor3s,       // the port there but not openable from the save until 3 s after the unit
    LinkMovedWithoutPc, // the unit's link moved to 115200 while the PC stayed at the unit's saved rate
    TwoCtrlCAfterSave,  // two Ctrl-C while the receiver is asked its identity (which it never answers)
};
Q_DECLARE_METATYPE(BenchAction)

// The station on a real pty against the simulator, through ordinary bench
// events: each board that came is configured once and recorded once, the
// station goes on until a signal ends it, and --events tells every unit.
void TestCliE2e::stationCountsEachBoardOnce_data()
{
    QTest::addColumn<QString>("device");
    QTest::addColumn<int>("linkPort");
    QTest::addColumn<BenchAction>("action");
    QTest::addColumn<int>("boards");  // units recorded, each once and done
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("said"); // on stderr, in order, '|' between
    QTest::addColumn<QString>("never"); // never on stderr
    QTest::newRow("boards with their own USB port, swapped behind one stable name")
        << "pemmet" << 3 << BenchAction::UsbBoardsSwapped << 3 << 0
        << "PASS  unit 1|Port 1|is gone|is back|PASS  unit 2|PASS  unit 3|Units: 3 passed, 0 failed" << "now leads to";
    QTest::newRow("a jiggle of 0.6 s is the same unit") << "pemmet" << 1 << BenchAction::Jiggled << 1 << 0
        << "PASS  unit 1|is gone|is back|Units: 1 passed, 0 failed" << "Unit 1 on port 1 is gone";
    QTest::newRow("a silent receiver on its own USB port pulled for 1.2 s is the same unit")
        << "garnock" << 3 << BenchAction::UsbSilentPulled << 1 << 0 << "PASS  unit 1|is gone|is back|Units: 1 passed, 0 failed"
        << "Unit 1 on port 1 is gone";
    QTest::newRow("a port that cannot be opened for 3 s after a unit is waited for")
        << "pemmet" << 1 << BenchAction::ClaimedFor3s << 1 << 0
        << "PASS  unit 1|cannot be opened|Port 1 opens again after|Units: 1 passed, 0 failed" << "Unit 1 on port 1 is gone";
    QTest::newRow("a unit whose link moved without the PC is found where it is")
        << "molvane" << 1 << BenchAction::LinkMovedWithoutPc << 1 << 0
        << "PASS  unit 1|Unit 1 on port 1 answers at 115200 bit/s|Units: 1 passed, 0 failed" << "Unit 1 on port 1 is gone";
    QTest::newRow("two Ctrl-C after the save leave the unit done") << "pemmet" << 1 << BenchAction::TwoCtrlCAfterSave << 1 << 0
        << "unit 1 has ended (done)|ending; unit 1 stays done|unit 1 ended done before its identity was read|PASS  unit 1" << "abandoning";
}

void TestCliE2e::stationCountsEachBoardOnce()
{
    QFETCH(QString, device);
    QFETCH(int, linkPort);
    QFETCH(BenchAction, action);
    QFETCH(int, boards);
    QFETCH(int, code);
    QFETCH(QString, said);
    QFETCH(QString, never);
    const bool usb = action == BenchAction::UsbBoardsSwapped || action == BenchAction::UsbSilentPulled;
    PtySim sim(1, {.linkPort = linkPort}, usb ? QStringLiteral("gps-station-1") : QString());
    QVERIFY2(sim.IsValid(), qPrintable(sim.Error()));
    if (action == BenchAction::TwoCtrlCAfterSave)
        sim.SetFaults({.neverAck = {VarnexSim::Key(0x0A, 0x04)}});
    QTemporaryDir dir;
    const QString report = dir.filePath(QStringLiteral("bench.jsonl"));
    const QString notATty = dir.filePath(QStringLiteral("not-a-tty"));
    QVERIFY(QFile(notATty).open(QIODevice::WriteOnly));
    QProcess tool;
    StartTool(tool, {"configure", device, "--port", "1", "--fast", "--repeat", "--events", "--report", report});
    QString err;
    QByteArray out;
    const auto read = [&] {
        err += QString::fromLocal8Bit(tool.readAllStandardError());
        out += tool.readAllStandardOutput();
    };
    const auto doneEvents = [&] {
        read();
        return int(out.count("\"event\":\"done\""));
    };
    const QString pty = sim.SlavePath();
    if (action == BenchAction::ClaimedFor3s) {
        // Taken once the run has begun: the run keeps the port it has open,
        // the station's next opening finds a device it cannot open.
        QTRY_VERIFY_WITH_TIMEOUT((read(), err.contains(QLatin1String("[1/9]"))), 20000);
        QVERIFY(QFile::remove(sim.DevicePath()) && QFile::link(notATty, sim.DevicePath()));
    }
    if (action == BenchAction::TwoCtrlCAfterSave) {
        // The save is acknowledged; the identity poll waits for an answer that
        // never comes (the fast run's first, before any command, went unanswered too).
        QTRY_VERIFY_WITH_TIMEOUT(sim.FramesFromPc().filter(QLatin1String("b5 62 0a 04 00 00")).size() > 1, 30000);
        for (int i = 0; i < 2 && tool.processId() > 0; ++i) {
            ::kill(pid_t(tool.processId()), SIGINT);
            QTest::qWait(100);
        }
    }
    QTRY_COMPARE_WITH_TIMEOUT(doneEvents(), 1, 30000);
    switch (action) {
    case BenchAction::UsbBoardsSwapped:
        for (int board = 2; board <= boards; ++board) {
            sim.Unplug();
            QTest::qWait(1000);
            sim.WithModel([](VarnexSim::ReceiverModel& m) { m.SwapBoard(VarnexSim::PtyReceiverSim::Now(), 0); });
            sim.Replug();
            QTRY_COMPARE_WITH_TIMEOUT(doneEvents(), board, 30000);
        }
        break;
    case BenchAction::Jiggled:
        sim.Unplug();
        QTest::qWait(600);
        sim.Replug();
        break;
    case BenchAction::UsbSilentPulled:
        // Garnock sends nothing on USB: the station asks it every 2 s, and
        // the board is pulled around such an ask.
        QTest::qWait(1900);
        sim.Unplug();
        QTest::qWait(1200);
        sim.Replug();
        break;
    case BenchAction::ClaimedFor3s:
        QTest::qWait(3000);
        QVERIFY(QFile::remove(sim.DevicePath()) && QFile::link(pty, sim.DevicePath()));
        break;
    case BenchAction::LinkMovedWithoutPc:
        sim.WithModel([](VarnexSim::ReceiverModel& m) {
            VarnexSim::ReceiverConfig moved = m.Running();
            moved.ports[1].baud = 115200;
            m.SetRunning(moved);
        });
        break;
    case BenchAction::TwoCtrlCAfterSave:
        break;
    }
    if (action != BenchAction::TwoCtrlCAfterSave) {
        // The unit stays on the bench: it is watched, never run again, and
        // the station goes on until a signal ends it.
        QTest::qWait(6000);
        QVERIFY2(tool.state() == QProcess::Running, qPrintable(err));
        ::kill(pid_t(tool.processId()), SIGINT);
    }
    const bool finished = tool.state() == QProcess::NotRunning || tool.waitForFinished(20000);
    read();
    QVERIFY2(finished && tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == code,
             qPrintable(QStringLiteral("exit %1\n%2").arg(tool.exitCode()).arg(err)));
    QList<QByteArray> lines = ReportLines(report);
    lines.removeAll(QByteArray());
    QCOMPARE(lines.size(), boards);
    for (const QByteArray& line : lines)
        QCOMPARE(QJsonDocument::fromJson(line).object()["outcome"].toString(), QStringLiteral("done"));
    // The events: one done per unit, each unit numbered once, and a gone for each that left.
    QList<int> done;
    int gone = 0;
    for (const QByteArray& line : out.split('\n')) {
        const QJsonObject event = QJsonDocument::fromJson(line).object();
        if (event["event"] == QStringLiteral("done"))
            done << event["unit"].toInt();
        gone += event["event"] == QStringLiteral("gone");
        QVERIFY2(line.isEmpty() || !event.isEmpty(), line.constData());
    }
    QCOMPARE(done.size(), boards);
    for (int i = 0; i < boards; ++i)
        QCOMPARE(done[i], i + 1);
    QCOMPARE(gone, boards - 1);
    qsizetype at = 0;
    for (const QString& text : said.split(u'|', Qt::SkipEmptyParts)) {
        at = err.indexOf(text, at);
        QVERIFY2(at >= 0, qPrintable(text + "\n---\n" + err));
    }
    QVERIFY2(!err.contains(never), qPrintable(err));
    if (action == BenchAction::ClaimedFor3s)
        QCOMPARE(err.count(QLatin1String("cannot be opened:")), 1);
    if (action == BenchAction::TwoCtrlCAfterSave)
        QVERIFY(QJsonDocument::fromJson(lines.first()).object()["receiver"].isNull());
}

// One or more stations, each a tool on its own simulated receiver, all
// appending to one report; signals sent during the run (`during`: after the
// first frames) or after each station's first unit, one after the other.
void TestCliE2e::stations_data()
{
    QTest::addColumn<int>("stations");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QList<int>>("sent");
    QTest::addColumn<bool>("during");
    QTest::addColumn<bool>("closeStderr");
    QTest::addColumn<bool>("holdPort");     // another program has the port open
    QTest::addColumn<bool>("pipe");         // stdout and stderr to a reader that exits after the first line
    QTest::addColumn<qint64>("limit");      // the file-size limit of the tool's process; 0 none
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("outcome");   // of every report line
    QTest::addColumn<QString>("said");      // on stderr, in order, '|' between
    const qint64 none = 0;
    QTest::newRow("Ctrl-C twice abandons the unit") << 1 << QStringList{} << QList<int>{SIGINT, SIGINT} << true << false << false
        << false << none << 130 << "interrupted" << "finishing the unit (step 1 of 9); Ctrl-C again abandons it|abandoning the unit";
    QTest::newRow("SIGTERM once, stderr closed: the unit ends") << 1 << QStringList{} << QList<int>{SIGTERM} << true << true
                                                                << false << false << none << 0 << "done" << "";
    QTest::newRow("SIGHUP in a loop finishes the unit") << 1 << QStringList{"--repeat"} << QList<int>{SIGHUP} << true << false
        << false << false << none << 0 << "done" << "finishing unit 1 (step|PASS  unit 1  |Units: 1 passed, 0 failed";
    QTest::newRow("port held by another program") << 1 << QStringList{} << QList<int>{} << false << false << true << false << none
                                                  << 3 << "port not opened" << "is held by another program";
    QTest::newRow("three stations, one report") << 3 << QStringList{"--repeat", "--fast", "--verify"} << QList<int>{SIGINT}
                                                << false << false << false << false << none << 0 << "done" << "Units: 1 passed, 0 failed";
    QTest::newRow("a reader that goes away: the unit is still configured and saved")
        << 1 << QStringList{} << QList<int>{} << false << false << false << true << none << 0 << "done" << "";
    QTest::newRow("a short write is a lost line") << 1 << QStringList{"--fast"}
        << QList<int>{} << false << false << false << false << qint64(200) << 5 << "" << "is lost: cannot write";
}

void TestCliE2e::stations()
{
    QFETCH(int, stations);
    QFETCH(QStringList, options);
    QFETCH(QList<int>, sent);
    QFETCH(bool, during);
    QFETCH(bool, closeStderr);
    QFETCH(bool, holdPort);
    QFETCH(bool, pipe);
    QFETCH(qint64, limit);
    QFETCH(int, code);
    QFETCH(QString, outcome);
    QFETCH(QString, said);
    QTemporaryDir dir;
    const QString report = dir.filePath(QStringLiteral("bench.jsonl"));
    std::vector<std::unique_ptr<PtySim>> sims;
    std::vector<std::unique_ptr<QProcess>> tools;
    QProcess reader;
    QSerialPort holder;
    for (int i = 0; i < stations; ++i) {
        sims.push_back(std::make_unique<PtySim>(i + 1));
        QVERIFY2(sims.back()->IsValid(), qPrintable(sims.back()->Error()));
    }
    if (holdPort) {
        holder.setPortName(sims[0]->DevicePath());
        QVERIFY(holder.open(QIODevice::ReadWrite));
    }
    for (auto& sim : sims) {
        tools.push_back(std::make_unique<QProcess>());
        if (pipe) {
            tools.back()->setProcessChannelMode(QProcess::MergedChannels);
            tools.back()->setStandardOutputProcess(&reader);
            reader.start(QStringLiteral("head"), {"-n", "1"});
        }
        if (limit > 0)
            tools.back()->setChildProcessModifier([limit] {
                const rlimit size{rlim_t(limit), rlim_t(limit)};
                ::setrlimit(RLIMIT_FSIZE, &size);
            });
        StartTool(*tools.back(), QStringList{"configure", "pemmet", "--port", sim->DevicePath(), "--report", report} + options);
        QVERIFY(tools.back()->waitForStarted());
        if (closeStderr)
            tools.back()->closeReadChannel(QProcess::StandardError);
    }
    if (during)
        QTRY_VERIFY_WITH_TIMEOUT(sims[0]->FramesFromPc().size() > 3, 20000);
    else if (!sent.isEmpty())
        QTRY_COMPARE_WITH_TIMEOUT(ReportLines(report).size(), stations + 1, 60000);
    QString err;
    for (int signal : sent) {
        for (auto& tool : tools)
            ::kill(pid_t(tool->processId()), signal);
        // Each notice is written at once, before the unit ends.
        const qsizetype before = err.size();
        QTRY_VERIFY_WITH_TIMEOUT(tools[0]->state() != QProcess::Running || closeStderr
                                     || (err += QString::fromLocal8Bit(tools[0]->readAllStandardError()))
                                            .indexOf("\nvarnexconfig: ", before) >= 0,
                                 5000);
    }
    const qsizetype framesAtEnd = sims[0]->FramesFromPc().size();
    for (auto& tool : tools) {
        QVERIFY(tool->state() == QProcess::NotRunning || tool->waitForFinished(60000));
        err += QString::fromLocal8Bit(tool->readAllStandardError());
        QVERIFY2(tool->exitStatus() == QProcess::NormalExit && tool->exitCode() == code, qPrintable(err));
    }
    // Abandoned: the port was closed at once, nothing more went out.
    if (code == 130)
        QCOMPARE(sims[0]->FramesFromPc().size(), framesAtEnd);
    if (pipe) {
        QVERIFY(reader.waitForFinished(5000));
        QCOMPARE(reader.readAllStandardOutput().count('\n'), 1);
    }
    // Only part of the line got to the disk: the line is lost, and says so.
    if (limit > 0)
        QCOMPARE(QFileInfo(report).size(), limit);
    const QList<QByteArray> lines = limit > 0 ? QList<QByteArray>(stations + 1) : ReportLines(report);
    QCOMPARE(lines.size(), stations + 1);
    QVERIFY(lines.last().isEmpty());
    for (const QByteArray& line : lines.mid(0, limit > 0 ? 0 : stations)) {
        QJsonParseError parseError;
        const QJsonObject unit = QJsonDocument::fromJson(line, &parseError).object();
        QVERIFY2(parseError.error == QJsonParseError::NoError, line.left(200).constData());
        QCOMPARE(unit["outcome"].toString(), outcome);
        QCOMPARE(unit.contains("interruptedStep"), outcome == QLatin1String("interrupted"));
        QVERIFY(!unit["host"].toString().isEmpty());
    }
    qsizetype at = 0;
    for (const QString& text : said.split(u'|', Qt::SkipEmptyParts)) {
        at = err.indexOf(text, at);
        QVERIFY2(at >= 0, qPrintable(text + "\n---\n" + err));
    }
}

QTEST_GUILESS_MAIN(TestCliE2e)
#include "test_cli_e2e.moc"
