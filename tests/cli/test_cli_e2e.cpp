// The packaged executable's command line on a real pseudo-terminal against
// the simulator, with no display and no platform plugin named: a bench of two
// units configured the fast way with read-back and report, the port given as
// a device path, ended by Ctrl-C.
#include "harness/GoldenFrames.h"
#include "harness/PtySim.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

namespace {

QList<QByteArray> ReportLines(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll().split('\n') : QList<QByteArray>();
}

} // namespace

class TestCliE2e : public QObject {
    Q_OBJECT
private slots:
    void benchOfTwoUnitsWithoutDisplay();
};

void TestCliE2e::benchOfTwoUnitsWithoutDisplay()
{
    PtySim sim(1);
    QVERIFY2(sim.IsValid(), qPrintable(sim.Error()));
    QTemporaryDir dir;
    const QString report = dir.filePath(QStringLiteral("bench.jsonl"));
    QProcess tool;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QLatin1String(name));
    tool.setProcessEnvironment(env);
    tool.start(QStringLiteral(VARNEX_TOOL_EXE), {"configure", "Pemmet", "--port", sim.DevicePath(), "--fast", "--verify",
                                                 "--repeat", "--report", report, "--serial", "A-0042"});
    QTRY_COMPARE_WITH_TIMEOUT(ReportLines(report).size(), 2, 60000);
    // The configured unit goes away, the next one comes.
    sim.Unplug();
    QTest::qWait(2500);
    QCOMPARE(ReportLines(report).size(), 2);
    sim.Replug();
    QTRY_COMPARE_WITH_TIMEOUT(ReportLines(report).size(), 3, 60000);
    ::kill(pid_t(tool.processId()), SIGINT);
    QVERIFY(tool.waitForFinished(20000));
    const QString err = QString::fromLocal8Bit(tool.readAllStandardError());
    QVERIFY2(tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0, qPrintable(err));
    QVERIFY2(err.contains(QLatin1String("Configured for use with Pemmet")), qPrintable(err));
    QVERIFY2(err.contains(QLatin1String("[9/9] Writing Setup To Flash")), qPrintable(err)); // progress, not a terminal
    QVERIFY2(err.trimmed().endsWith(QLatin1String("Units: 2 done, 0 failed")), qPrintable(err.right(300)));

    // Each unit one whole line: done, where, which, and every field read back equal.
    const QList<QByteArray> lines = ReportLines(report);
    QJsonObject unit;
    for (const QByteArray& line : lines.mid(0, 2)) {
        QJsonParseError parseError;
        unit = QJsonDocument::fromJson(line, &parseError).object();
        QVERIFY2(parseError.error == QJsonParseError::NoError, qPrintable(parseError.errorString()));
        QCOMPARE(unit["outcome"].toString(), QStringLiteral("done"));
        QCOMPARE(unit["path"].toString(), sim.DevicePath());
        QCOMPARE(unit["serial"].toString(), QStringLiteral("A-0042"));
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
    QCOMPARE(recorded.mid(recorded.size() - 60), received.mid(received.size() - 60));
}

QTEST_GUILESS_MAIN(TestCliE2e)
#include "test_cli_e2e.moc"
