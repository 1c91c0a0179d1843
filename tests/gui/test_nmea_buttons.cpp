// The "Setup NMEA output" buttons of the real main window: which receiver
// port the NMEA Setup window opens for, what happens when no receiver
// answers, and the way back to the main window.
#include "app/CommSetup.h"
#include "app/StartModule.h"
#include "harness/MainWindowDriver.h"
#include "harness/MessageRecorder.h"
#include "harness/PtySim.h"
#include "harness/VirtualReceiver.h"
#include "link/CommsFrm.h"
#include "nmea_setup/SetupScreenfrm.h"
#include "support/Forms.h"

#include <QPushButton>
#include <QSerialPort>
#include <QtTest>

namespace {

using MainWindowDriver::Button;

SetupScreenfrm* NmeaWindow() { return qobject_cast<SetupScreenfrm*>(Forms::Find(QStringLiteral("SetupScreenfrm"))); }

// How many CFG-MSG polls of NMEA sentences the receiver heard.
int PollsHeard(const QStringList& frames)
{
    int polls = 0;
    for (const QString& f : frames)
        polls += f.startsWith(QStringLiteral("B56206010200F0")) ? 1 : 0;
    return polls;
}

VarnexSim::ModelOptions At(qint32 baud)
{
    VarnexSim::ModelOptions options;
    options.startBaud = baud;
    return options;
}

} // namespace

class TestNmeaButtons : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { MainWindowDriver::UnloadAll(); }
    void buttonIndexChoosesReceiverPort_data();
    void buttonIndexChoosesReceiverPort();
    void trisselOnRealLineAndBack();
    void noReceiverLeavesMainWindowAndFreesPort();
};

void TestNmeaButtons::buttonIndexChoosesReceiverPort_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("receiverPort");
    QTest::newRow("Varnex with Sculla") << 0 << 1;
    QTest::newRow("Varnex with Pemmet") << 1 << 1;
    QTest::newRow("Molvane external port") << 2 << 2;
    QTest::newRow("Garnock external port") << 3 << 1;
    QTest::newRow("Trissel external port") << 4 << 2;
}

void TestNmeaButtons::buttonIndexChoosesReceiverPort()
{
    QFETCH(int, index);
    QFETCH(int, receiverPort);
    VirtualReceiver receiver(At(4800));
    QWidget* main = MainWindowDriver::Load();
    QVERIFY(main);
    MessageRecorder messages;
    QTest::mouseClick(Button(main, "SetNmeaOuputBtn", index), Qt::LeftButton);
    SetupScreenfrm* window = NmeaWindow();
    QVERIFY(window);
    QCOMPARE(window->NmeaTarget, receiverPort);
    QVERIFY(window->isVisible());
    QVERIFY(!Forms::Find(QStringLiteral("CommSetup")));
    // The window read the nine sentences' rates, over the port left open at the rate found.
    QCOMPARE(PollsHeard(receiver.Frames()), 9);
    QVERIFY(CommsFrm::SerialPort().PortOpen());
    QCOMPARE(receiver.PcRate(), 4800);
    QVERIFY(messages.texts.isEmpty());
}

void TestNmeaButtons::trisselOnRealLineAndBack()
{
    PtySim sim(1, At(4800));
    QVERIFY2(sim.IsValid(), qPrintable(sim.Error()));
    QWidget* main = MainWindowDriver::Load();
    QVERIFY(main);
    QTest::mouseClick(Button(main, "SetNmeaOuputBtn", 4), Qt::LeftButton);
    SetupScreenfrm* window = NmeaWindow();
    QVERIFY(window);
    QCOMPARE(window->NmeaTarget, 2);
    QVERIFY(!Forms::Find(QStringLiteral("CommSetup")));

    // Closing it brings back a freshly loaded main window and frees the port.
    QVERIFY(window->close());
    QWidget* back = Forms::Find(QStringLiteral("CommSetup"));
    QVERIFY(back);
    QVERIFY(back != main);
    QVERIFY(back->isVisible());
    QVERIFY(!CommsFrm::SerialPort().PortOpen());
    for (int i = 0; i < 5; ++i)
        QVERIFY(!Button(back, "ReflashBtn", i)->isEnabled());
    QSerialPort other(sim.DevicePath());
    QVERIFY(other.open(QIODevice::ReadWrite));
}

void TestNmeaButtons::noReceiverLeavesMainWindowAndFreesPort()
{
    VirtualReceiver receiver(At(9600));
    VarnexSim::Faults faults;
    faults.silent = true;
    receiver.SetFaults(faults);
    QWidget* main = MainWindowDriver::Load();
    QVERIFY(main);
    MessageRecorder messages;
    QTest::mouseClick(Button(main, "SetNmeaOuputBtn", 2), Qt::LeftButton);
    QVERIFY(!NmeaWindow());
    QCOMPARE(Forms::Find(QStringLiteral("CommSetup")), main);
    QVERIFY(messages.texts.isEmpty());
    QVERIFY(!CommsFrm::SerialPort().PortOpen());

    // The next action opens the port as usual.
    receiver.SetFaults({});
    QTest::mouseClick(Button(main, "SetAllOutputs", 4), Qt::LeftButton);
    QCOMPARE(messages.texts, QStringList{"Configured for use with the Trissel"});
}

QTEST_MAIN(TestNmeaButtons)
#include "test_nmea_buttons.moc"
