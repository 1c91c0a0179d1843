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
    void loopKeepsItsDevice();
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

// A port number is resolved once, when the loop starts; a ports folder link
// changed under the loop ends it, with nothing run on what it leads to now.
void TestCliE2e::loopKeepsItsDevice()
{
    PtySim sim(1);
    QVERIFY2(sim.IsValid(), qPrintable(sim.Error()));
    QTemporaryDir dir;
    const QString report = dir.filePath(QStringLiteral("bench.jsonl"));
    QProcess tool;
    StartTool(tool, {"configure", "pemmet", "--port", "1", "--fast", "--repeat", "--report", report});
    QTRY_COMPARE_WITH_TIMEOUT(ReportLines(report).size(), 2, 60000);
    const QString elsewhere = dir.filePath(QStringLiteral("other-device"));
    QVERIFY(QFile(elsewhere).open(QIODevice::WriteOnly));
    QVERIFY(QFile::remove(sim.DevicePath()) && QFile::link(elsewhere, sim.DevicePath()));
    QVERIFY(tool.waitForFinished(20000));
    const QString err = QString::fromLocal8Bit(tool.readAllStandardError());
    QVERIFY2(tool.exitCode() == 3 && err.contains(QStringLiteral("now leads to %1").arg(elsewhere)), qPrintable(err));
    QCOMPARE(ReportLines(report).size(), 2);
    QCOMPARE(QFileInfo(elsewhere).size(), 0);
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
