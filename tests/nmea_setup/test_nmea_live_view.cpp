// The live NMEA view in real time, with the simulated receiver on a real
// pseudo-terminal streaming sentences, while a result message is held open:
// the box's own event loop must keep the view running.
#include "harness/MainWindowDriver.h"
#include "harness/MessageRecorder.h"
#include "harness/PtySim.h"
#include "link/CommsFrm.h"
#include "nmea_setup/ShowNmeaSetup.h"
#include "support/Forms.h"
#include "WindowControls.h"

#include <QComboBox>
#include <QPushButton>
#include <QtTest>

using VarnexSim::Key;
using namespace WindowControls;

class TestNmeaLiveView : public QObject {
    Q_OBJECT
private slots:
    void viewRunsWhileAResultIsShown_data()
    {
        QTest::addColumn<QString>("baud"); // empty: "Save Setup"
        QTest::newRow("Save Setup") << QString();
        QTest::newRow("baud change to the rate in use") << QStringLiteral("115200");
    }
    void viewRunsWhileAResultIsShown()
    {
        PtySim sim(1, {.linkPort = 1, .startBaud = 115200});
        QVERIFY2(sim.IsValid(), qPrintable(sim.Error()));
        // Five sentences at each of five solutions a second on the link port.
        VarnexSim::ReceiverConfig config = sim.Running();
        config.measRateMs = 200;
        config.navRate = 1;
        config.msgRates.clear();
        for (quint8 id : {0, 1, 2, 4, 5})
            config.SetRate(Key(0xF0, id), 1, 1);
        sim.SetRunning(config);
        SerialControl& port = CommsFrm::SerialPort();
        port.SetCommPort(1);
        port.SetSettings(QStringLiteral("115200,N,8,1"));
        QVERIFY2(port.SetPortOpen(true), qPrintable(port.LastError()));
        const auto unload = qScopeGuard(MainWindowDriver::UnloadAll);
        // The operator reads each result for half a second before pressing OK.
        QWidget* window = nullptr;
        QString shown;
        MessageRecorder messages([&](const QString&) {
            QTest::qWait(500);
            shown = window ? Text1(window)->toPlainText() : QString();
        });
        NmeaSetup::ShowNmeaSetup(1);
        window = Forms::Find(QStringLiteral("SetupScreenfrm"));
        QVERIFY(window);
        QVERIFY(messages.texts.isEmpty());
        QFETCH(QString, baud);
        if (baud.isEmpty())
            QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("ReflashBtn")), Qt::LeftButton);
        else
            QVERIFY(Choose(window->findChild<QComboBox*>(QStringLiteral("OutputBaud")), baud));
        QCOMPARE(messages.texts.size(), 1);
        QVERIFY2(shown.contains(QStringLiteral("$GP")), qPrintable(shown));
    }
};

QTEST_MAIN(TestNmeaLiveView)
#include "test_nmea_live_view.moc"
