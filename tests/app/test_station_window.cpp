// The station window as an operator uses it, in a real window on an X
// server (the suite runs it under Xvfb): three bench ports on simulated
// receivers, boards swapped on one, a unit that fails on another, one left
// on the third; serials from a scanner; a station that dies and is restarted;
// the window closed while units run. What the panels say is read back from
// their widgets and held against the stations' report.
#include "app/StationModel.h"
#include "app/StationPanel.h"
#include "app/StationWindow.h"
#include "harness/PtySim.h"

#include <QApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

namespace {

QString Text(const StationPanel* panel, const char* name) { return panel->findChild<QLabel*>(QLatin1String(name))->text(); }

// Report lines per port: "PASS"/"FAIL" each, in order.
QMap<QString, QStringList> Verdicts(const QString& report)
{
    QMap<QString, QStringList> byPort;
    QFile file(report);
    if (file.open(QIODevice::ReadOnly))
        for (const QByteArray& line : file.readAll().split('\n'))
            if (!line.isEmpty()) {
                const QJsonObject unit = QJsonDocument::fromJson(line).object();
                byPort[unit["port"].toString()] << (unit["exitCode"].toInt() == 0 ? "PASS" : "FAIL");
            }
    return byPort;
}

} // namespace

class TestStationWindow : public QObject {
    Q_OBJECT
private slots:
    void panelsFollowTheirStations_data();
    void panelsFollowTheirStations();
    void benchOfThreePorts();
};

// The model a panel draws, event by event: the word is always there beside the colour.
void TestStationWindow::panelsFollowTheirStations_data()
{
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<QString>("shown"); // word | detail | counts
    QTest::newRow("waiting for the first unit") << QStringList{R"j({"event":"waiting","unit":1,"device":true})j"}
                                                << "Insert a unit||0 0";
    QTest::newRow("the label asked for") << QStringList{R"j({"event":"waiting","unit":1})j", R"j({"event":"serial","unit":1})j"}
                                         << "Scan the label|unit 1|0 0";
    QTest::newRow("a step running")
        << QStringList{R"j({"event":"running","unit":2,"step":3,"steps":9,"name":"SetDynamicNavigationParameters"})j"}
        << "Running|step 3 of 9: SetDynamicNavigationParameters|0 0";
    QTest::newRow("passed, its record spooled")
        << QStringList{R"j({"event":"done","unit":1,"verdict":"PASS","reason":"verified","serial":"A1","recorded":true,"record":"spooled"})j"}
        << "PASS|verified (record spooled) - remove the unit|1 0";
    QTest::newRow("refused for its receiver, which is named")
        << QStringList{R"j({"event":"done","unit":1,"verdict":"FAIL","reason":"not for u-blox 10","receiver":"u-blox 10 protocol 34.10"})j"}
        << "FAIL|not for u-blox 10, u-blox 10 protocol 34.10 - remove the unit|0 1";
    QTest::newRow("failed, then gone: insert the next")
        << QStringList{R"j({"event":"done","unit":1,"verdict":"FAIL","reason":"save refused (CFG-CFG)"})j", R"j({"event":"gone","unit":1})j"}
        << "Insert a unit||0 1";
    QTest::newRow("a port that cannot be opened, and why")
        << QStringList{R"j({"event":"cannotOpen","reason":"/dev/ttyACM0 is held by another program"})j"}
        << "Port cannot be opened|/dev/ttyACM0 is held by another program|0 0";
}

void TestStationWindow::panelsFollowTheirStations()
{
    QFETCH(QStringList, events);
    QFETCH(QString, shown);
    StationView::PanelModel m;
    for (const QString& e : events)
        StationView::Apply(m, QJsonDocument::fromJson(e.toUtf8()).object());
    QCOMPARE(QStringLiteral("%1|%2|%3 %4").arg(m.word, m.detail).arg(m.passed).arg(m.failed), shown);
    QVERIFY(!m.word.isEmpty());
}

void TestStationWindow::benchOfThreePorts()
{
    PtySim swapped(1, {.swapEvery = 6});
    PtySim failing(2);
    PtySim leftOn(3);
    for (PtySim* sim : {&swapped, &failing, &leftOn})
        QVERIFY2(sim->IsValid(), qPrintable(sim->Error()));
    failing.SetFaults({.neverAck = {VarnexSim::Key(0x06, 0x07)}}); // its time pulse is never acknowledged
    QTemporaryDir dir;
    const QString report = dir.filePath("station.jsonl");
    QString error;
    auto options = StationWindow::Parse({"--port", swapped.DevicePath(), "--port", failing.DevicePath(), "--port",
                                         leftOn.DevicePath(), "pemmet", "--fast", "--verify", "--report", report,
                                         "--serial-from-scanner"},
                                        error);
    QVERIFY2(options, qPrintable(error));
    options->tool = QStringLiteral(VARNEX_TOOL_EXE);
    StationWindow window(*options);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.windowTitle(), QStringLiteral("VarnexConfig Station"));
    const QList<StationPanel*> panels = window.Panels();
    QCOMPARE(panels.size(), 3);
    auto* scan = window.findChild<QLineEdit*>("Scan");
    auto* word = window.findChild<QLabel*>("ScanWord");
    const auto scanned = [&](const QString& serial) {
        scan->setFocus();
        QTest::keyClicks(scan, serial);
        QTest::keyClick(scan, Qt::Key_Return);
        return word->text();
    };
    // Each unit asks for its label: three scans go to the three panels, one each.
    QTRY_VERIFY_WITH_TIMEOUT(std::all_of(panels.begin(), panels.end(), [](StationPanel* p) { return p->WaitsForSerial(); }), 20000);
    QVERIFY(scanned("") .contains("empty scan"));
    QStringList given;
    for (const char* serial : {"A1", "A2", "A3"})
        given << scanned(serial).section(" to port ", 1);
    QStringList ports{swapped.DevicePath(), failing.DevicePath(), leftOn.DevicePath()};
    given.sort();
    ports.sort();
    QCOMPARE(given, ports);
    // No panel waits now: a scan is refused, never kept for the next unit.
    QTRY_VERIFY_WITH_TIMEOUT(Text(panels[2], "State") == "PASS" && Text(panels[1], "State") == "FAIL", 30000);
    QVERIFY2(scanned("STRAY").contains("no unit waits"), qPrintable(word->text()));
    // The swapped port asks again: the last label scanned again is refused.
    QTRY_VERIFY_WITH_TIMEOUT(panels[0]->WaitsForSerial(), 30000);
    QVERIFY2(scanned("A1").contains("last unit's serial"), qPrintable(word->text()));
    QCOMPARE(scanned("B1"), QStringLiteral("B1 to port ") + swapped.DevicePath());
    QTRY_VERIFY_WITH_TIMEOUT(panels[0]->Model().passed == 2, 30000);
    QVERIFY(!panels[0]->WaitsForSerial() || scanned("C1") == QStringLiteral("C1 to port ") + swapped.DevicePath());
    // The failing unit and the one left on are never run again.
    QCOMPARE(Text(panels[1], "Counts"), QStringLiteral("Passed 0   Failed 1   Yield 0.0 %"));
    QCOMPARE(Text(panels[2], "Counts"), QStringLiteral("Passed 1   Failed 0   Yield 100.0 %"));
    QVERIFY2(Text(panels[1], "Detail").contains("remove the unit"), qPrintable(Text(panels[1], "Detail")));
    // What the panels say is what the report holds, port by port.
    const QMap<QString, QStringList> verdicts = Verdicts(report);
    for (StationPanel* panel : panels) {
        const QString port = panel->Model().port;
        auto* last = panel->findChild<QListWidget*>("LastUnits");
        QStringList shown;
        for (int i = last->count() - 1; i >= 0; --i)
            shown << last->item(i)->text().section("  ", 2, 2);
        QCOMPARE(shown, verdicts.value(port));
        QVERIFY(Text(panel, "PortTitle").startsWith(QStringLiteral("Port %1").arg(port)));
    }
    // A station that dies says so on its panel, with its last words, and restarts there.
    const qint64 station = panels[2]->findChild<QProcess*>("Station")->processId();
    QVERIFY(station > 0); // never 0: that would kill the test's whole process group
    ::kill(pid_t(station), SIGKILL);
    QTRY_COMPARE_WITH_TIMEOUT(Text(panels[2], "State"), QStringLiteral("Station stopped"), 10000);
    auto* restart = panels[2]->findChild<QPushButton*>("Restart");
    QVERIFY(restart->isVisible() && !Text(panels[2], "Detail").isEmpty());
    QTest::mouseClick(restart, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(panels[2]->WaitsForSerial(), 20000);
    // Closing while units run asks once, lets them finish, and leaves no station running.
    QTimer answer;
    connect(&answer, &QTimer::timeout, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            box->button(QMessageBox::Yes)->click();
    });
    answer.start(50);
    window.close();
    QTRY_VERIFY_WITH_TIMEOUT(!window.isVisible(), 30000);
    for (StationPanel* panel : panels)
        QVERIFY(!panel->Running());
}

QTEST_MAIN(TestStationWindow)
#include "test_station_window.moc"
