// The command line's loops in-process, in virtual time against the
// simulated receiver: the bench loop's units, each serial number read from
// standard input, the day's summary of a report, and the stable names a
// port is resolved to.
#include "CliRun.h"
#include "harness/VirtualReceiver.h"
#include "link/PortNames.h"

#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

using namespace CliRun;

Q_DECLARE_METATYPE(VarnexSim::ModelOptions)
Q_DECLARE_METATYPE(PortNames::SystemPort)

class TestCliLoop : public QObject {
    Q_OBJECT
private slots:
    void init() { dir_.reset(new QTemporaryDir); }
    void benchLoop_data();
    void benchLoop();
    void summaryCountsEachSerialOnce();
    void stableNameSurvivesRenumbering_data();
    void stableNameSurvivesRenumbering();

private:
    QString Report() const { return dir_->filePath(QStringLiteral("units.jsonl")); }
    std::unique_ptr<QTemporaryDir> dir_;
};

// The bench loop in virtual time, each unit's serial number read from
// standard input; a loop still waiting at `stopAt` (virtual seconds) gets a Ctrl-C.
void TestCliLoop::benchLoop_data()
{
    QTest::addColumn<VarnexSim::ModelOptions>("options");
    QTest::addColumn<bool>("quiet");      // every output off: only answers on the line
    QTest::addColumn<double>("freshAt");  // from then on a fresh unit is connected; < 0 never
    QTest::addColumn<QByteArray>("serials");
    QTest::addColumn<QString>("report");  // empty: the test's own file
    QTest::addColumn<double>("stopAt");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("units");   // serial:outcome of each report line
    const auto away = [](double at, double seconds) {
        VarnexSim::ModelOptions o;
        o.faults.unplugAt = at;
        o.faults.unplugFor = seconds;
        return o;
    };
    QTest::newRow("second unit found as the first") << away(1, 3) << false << 4.0 << QByteArray("A\nB\n") << QString() << 60.0
                                                    << 0 << "A:done B:done";
    QTest::newRow("silent unit, plugged in after the start")
        << away(0, 5) << true << -1.0 << QByteArray("A\n") << QString() << 60.0 << 0 << "A:done";
    QTest::newRow("one missed answer counts once") << away(1, 1) << false << -1.0 << QByteArray("A\nB\n") << QString() << 8.0
                                                   << 0 << "A:done";
    VarnexSim::ModelOptions noTimePulse;
    noTimePulse.faults.neverAck = {VarnexSim::Key(0x06, 0x07)};
    QTest::newRow("failed unit counted as failed") << noTimePulse << false << -1.0 << QByteArray("A\n") << QString() << 60.0
                                                   << 1 << "A:step failed";
    QTest::newRow("report line lost") << VarnexSim::ModelOptions() << false << -1.0 << QByteArray("A\n")
                                      << QStringLiteral("/dev/full") << 60.0 << 5 << "";
    // Molvane's own output fills three quarters of its 9600 bit/s link.
    QTest::newRow("molvane left on the bench, its output filling the line")
        << VarnexSim::ModelOptions() << false << -1.0 << QByteArray("A\nB\n") << QString() << 45.0 << 0 << "A:done";
    VarnexSim::ModelOptions swapped;
    swapped.swapEvery = 9;
    QTest::newRow("molvane boards swapped under the adapter, 0.8 s apart")
        << swapped << false << -1.0 << QByteArray("A\nB\nC\nD\n") << QString() << 26.0 << 0 << "A:done B:done C:done";
}

void TestCliLoop::benchLoop()
{
    QFETCH(VarnexSim::ModelOptions, options);
    QFETCH(bool, quiet);
    QFETCH(double, freshAt);
    QFETCH(QByteArray, serials);
    QFETCH(QString, report);
    QFETCH(double, stopAt);
    QFETCH(int, code);
    QFETCH(QString, units);
    VirtualReceiver receiver(options);
    if (quiet)
        receiver.Quiet();
    QFile device(PortNames::PathFor(1)); // the loop's device exists the whole time; the unit comes and goes
    QVERIFY(device.open(QIODevice::WriteOnly));
    bool fresh = false, stopped = false;
    receiver.OnWrite([&](const QByteArray&) {
        if (freshAt >= 0 && !fresh && receiver.Elapsed() > freshAt) {
            receiver.Model().SetRunning(VarnexSim::FactoryDefaults());
            fresh = true;
        }
    });
    receiver.At(stopAt, [&] {
        stopped = true;
        std::raise(SIGINT);
    });
    if (report.isEmpty())
        report = Report();
    const QString kind = QLatin1String(QTest::currentDataTag()).startsWith(u"molvane") ? "molvane" : "pemmet";
    const Captured run = RunCli({"configure", kind, "--port", "1", "--fast", "--repeat", "--serial", "-", "--report", report},
                                serials);
    QVERIFY2(run.code == code, qPrintable(run.err));
    QStringList got;
    const QList<QJsonObject> lines = report == QLatin1String("/dev/full") ? QList<QJsonObject>() : ReportLines(report);
    for (const QJsonObject& unit : lines)
        got << unit["serial"].toString() + u':' + unit["outcome"].toString();
    QCOMPARE(got.join(u' '), units);
    const int done = int(units.count(QLatin1String(":done")));
    QVERIFY2(run.err.contains(QStringLiteral("Units: %1 passed, %2 failed").arg(done).arg(serials.count('\n') - done)) || code == 5
                 || stopped,
             qPrintable(run.err));
    if (code == 5)
        QVERIFY2(run.err.contains(QLatin1String("report line of unit 1 on port 1 (done, serial \"A\") is lost")), qPrintable(run.err));
    QVERIFY(!run.err.contains(QLatin1String("port not opened")));
    // Every unit is found and configured as the first: the same frames in the
    // same steps, and no blind bring-up.
    // A passing unit's line is a summary of a few kB.
    if (!lines.isEmpty() && units.contains(QLatin1String(":done")))
        QVERIFY(QFileInfo(report).size() / lines.size() < 4096);
    for (const QJsonObject& unit : lines) {
        QCOMPARE(FirstStepFrames(unit), FirstStepFrames(lines.first()));
        QVERIFY(unit["durationSeconds"].toDouble() < 5);
        if (unit["outcome"] == QStringLiteral("done")) // the receiver's identity, after the run
            QCOMPARE(unit["receiver"].toObject()["software"].toString(), QStringLiteral("7.03 (45969)"));
    }
}

// A day's yield: a serial tried twice counts once with its last outcome, a
// cut last line is skipped, the times are the units' own.
void TestCliLoop::summaryCountsEachSerialOnce()
{
    QFile report(Report());
    QVERIFY(report.open(QIODevice::WriteOnly));
    const auto line = [&](const char* minute, const char* serial, int exitCode, const char* reason, double seconds) {
        report.write(QJsonDocument(QJsonObject{{"start", QStringLiteral("2026-12-07T08:%1:00.000Z").arg(QLatin1String(minute))},
                                               {"device", "molvane"}, {"host", "bench-1"}, {"serial", serial},
                                               {"exitCode", exitCode}, {"reason", reason}, {"durationSeconds", seconds}})
                         .toJson(QJsonDocument::Compact) + '\n');
    };
    line("00", "P1", 1, "save refused (CFG-CFG)", 9.0);
    line("01", "P1", 0, "verified", 1.0);
    line("02", "P2", 4, "2 differences", 3.0);
    line("03", "P3", 0, "verified", 2.0);
    report.write("{\"start\":\"2026-12-07T08:04");
    report.close();
    const Captured run = RunCli({"summary", "--json", Report()});
    QCOMPARE(run.code, 0);
    QVERIFY2(run.err.contains(QLatin1String("skipped a line that is no record")), qPrintable(run.err));
    const QJsonObject day = QJsonDocument::fromJson(run.err.section(u'\n', 1).toUtf8()).array()[0].toObject();
    const QString localDay = QDateTime::fromString(QStringLiteral("2026-12-07T08:00:00Z"), Qt::ISODate).toLocalTime().date().toString(Qt::ISODate);
    QCOMPARE(day["day"].toString(), localDay);
    QCOMPARE(QStringLiteral("%1 %2 %3").arg(day["units"].toInt()).arg(day["passed"].toInt()).arg(day["failed"].toInt()),
             QStringLiteral("3 2 1"));
    QCOMPARE(day["medianSeconds"].toDouble(), 2.0);
    QCOMPARE(day["p95Seconds"].toDouble(), 3.0);
    QCOMPARE(day["failures"].toArray(), (QJsonArray{QJsonObject{{"reason", "2 differences"}, {"count", 1}}}));
}

// A port number is resolved once to a name of its device; other devices
// coming and going (and the numbers moving with them) do not change where it leads.
void TestCliLoop::stableNameSurvivesRenumbering_data()
{
    QTest::addColumn<QList<PortNames::SystemPort>>("ports");
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("name");
    const PortNames::SystemPort a{"ttyUSB0", "/dev/ttyUSB0", "usb-FTDI_A-if00", "", true, false};
    const PortNames::SystemPort b{"ttyUSB1", "/dev/ttyUSB1", "usb-FTDI_B-if00", "", true, false};
    PortNames::SystemPort bRenumbered = b;
    bRenumbered.name = "ttyUSB0";
    bRenumbered.path = "/dev/ttyUSB0";
    const PortNames::SystemPort onBoard{"ttyS0", "/dev/ttyS0", "", "", false, false};
    QTest::newRow("by-id name of the first adapter") << QList{b, a, onBoard} << 1 << "/dev/serial/by-id/usb-FTDI_A-if00";
    QTest::newRow("first unplugged: port 1 is another device")
        << QList{bRenumbered, onBoard} << 1 << "/dev/serial/by-id/usb-FTDI_B-if00";
    QTest::newRow("on-board port keeps its path") << QList{a, onBoard} << 2 << "/dev/ttyS0";
    QTest::newRow("nothing there") << QList{a} << 2 << "";
}

void TestCliLoop::stableNameSurvivesRenumbering()
{
    QFETCH(QList<PortNames::SystemPort>, ports);
    QFETCH(int, number);
    QFETCH(QString, name);
    QCOMPARE(PortNames::StableNameFor(number, QString(), ports), name);
    // With the ports folder, its entry is the name whatever the system reports.
    QCOMPARE(PortNames::StableNameFor(number, QStringLiteral("/p"), ports), QStringLiteral("/p/com%1").arg(number));
}

QTEST_GUILESS_MAIN(TestCliLoop)
#include "test_cli_loop.moc"
