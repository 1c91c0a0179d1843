// The buttons of the real main window in virtual time: which device or
// receiver port each one is for, the port it takes, runs that fail, a device
// unplugged mid-run, and the guard against a second action.
#include "app/CommSetup.h"
#include "app/StartModule.h"
#include "harness/GoldenFrames.h"
#include "harness/MainWindowDriver.h"
#include "harness/MessageRecorder.h"
#include "harness/VirtualReceiver.h"
#include "link/CommsFrm.h"
#include "link/SelectedPort.h"
#include "nmea_setup/SetupScreenfrm.h"
#include "support/Forms.h"

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QtTest>

namespace {

using MainWindowDriver::Button;

const QStringList kDevices{"Sculla", "Pemmet", "Molvane", "Garnock", "Trissel"};
const QStringList kSuccess{"Configured for use with Sculla", "Configured for use with Pemmet",
                           "Configured for use with the Molvane", "Configured for use with the Garnock",
                           "Configured for use with the Trissel"};

const QString kBaudFailure =
    QStringLiteral("Failed to set Varnex baud rate correctly please check it is connected correctly");

// What happens to a run through the button, at the chosen frame.
enum class Fault { None, Silent, Unplug, SecondClick };

SetupScreenfrm* NmeaWindow() { return qobject_cast<SetupScreenfrm*>(Forms::Find(QStringLiteral("SetupScreenfrm"))); }

} // namespace

Q_DECLARE_METATYPE(Fault)

class TestButtons : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { MainWindowDriver::UnloadAll(); }
    void runs_data();
    void runs();
    void selectedPortTakenFromList_data();
    void selectedPortTakenFromList();
    void clickDuringRunStartsNothing();
    void closeDuringRunWaitsForTheEnd_data();
    void closeDuringRunWaitsForTheEnd();
    void nmeaButtonChoosesReceiverPort_data();
    void nmeaButtonChoosesReceiverPort();
};

void TestButtons::runs_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<int>("at"); // Silent, SecondClick: frames after the reset; Unplug: CFG-MSG sent
    QTest::addColumn<QString>("message");
    QTest::addColumn<double>("seconds"); // from the fault to the message; < 0 not checked
    for (int i = 0; i < kDevices.size(); ++i)
        QTest::newRow(qPrintable(kDevices[i])) << i << Fault::None << 0 << kSuccess[i] << -1.0;
    QTest::newRow("Garnock's second link move unanswered") << 3 << Fault::Silent << 12 << kBaudFailure << -1.0;
    QTest::newRow("Molvane's third baud step unanswered") << 2 << Fault::Silent << 12 << kBaudFailure << -1.0;
    // One time-out for the step, not one for each of its remaining commands.
    QTest::newRow("unplugged during the reset") << 0 << Fault::Unplug << 30
        << QStringLiteral("Failed to connect to the Varnex module, please check it is connected correctly") << 5.0;
    // A double click: the second click queues up during the save's wait.
    QTest::newRow("click queued during the last wait") << 1 << Fault::SecondClick << 8 << kSuccess[1] << -1.0;
}

void TestButtons::runs()
{
    QFETCH(int, index);
    QFETCH(Fault, fault);
    QFETCH(int, at);
    QFETCH(double, seconds);
    VirtualReceiver receiver;
    const VarnexSim::ReceiverConfig factoryFlash = receiver.Model().FlashConfig();
    QWidget* window = MainWindowDriver::Load();
    QVERIFY(window);
    QPushButton* button = Button(window, "SetAllOutputs", index);
    double faultAt = -1, messageAt = -1;
    receiver.OnWrite([&](const QByteArray&) {
        const bool due = fault == Fault::Unplug ? receiver.Frames(0x06, 0x01).size() == at
                                                : FramesAfterReset(receiver.Frames()).size() == at;
        if (faultAt >= 0 || !due)
            return;
        faultAt = receiver.Elapsed();
        if (fault == Fault::Silent) {
            receiver.SetFaults({.silent = true});
        } else if (fault == Fault::Unplug) {
            receiver.Model().Unplug();
        } else if (fault == Fault::SecondClick) {
            const QPoint centre = button->rect().center();
            for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
                QCoreApplication::postEvent(button, new QMouseEvent(type, centre, button->mapToGlobal(centre),
                                                                    Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
        }
    });
    MessageRecorder messages([&](const QString&) { messageAt = receiver.Elapsed(); });
    QTest::mouseClick(button, Qt::LeftButton);
    QCoreApplication::processEvents(); // whatever input is still queued
    QTEST(messages.texts.join(u'|'), "message");
    QVERIFY(!CommsFrm::SerialPort().PortOpen());
    if (seconds >= 0)
        QVERIFY2(messageAt - faultAt >= seconds && messageAt - faultAt < seconds + 0.5,
                 qPrintable(QString::number(messageAt - faultAt)));
    const bool fails = fault == Fault::Silent || fault == Fault::Unplug;
    QCOMPARE(receiver.Frames(0x06, 0x09).size(), fails ? 0 : 1); // CFG-CFG: one save, or none
    if (fails) {
        QVERIFY(receiver.Model().FlashConfig() == factoryFlash);
        // Plugged back in or answering again, the receiver is found by the next click.
        receiver.OnWrite({});
        receiver.SetFaults({});
        receiver.Model().Replug();
        receiver.Model().GetTranscript().Clear();
        messages.texts.clear();
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(messages.texts, QStringList{kSuccess[index]});
    }
    QCOMPARE(FramesAfterReset(receiver.Frames()), GoldenProfileFrames(button->text().section(u' ', -1)));
    // What was saved is what is running, and it is not the factory's.
    QVERIFY(receiver.Model().FlashConfig() == receiver.Model().Running());
    QVERIFY(!(receiver.Model().FlashConfig() == factoryFlash));
    QVERIFY(!CommsFrm::SerialPort().PortOpen());
}
void TestButtons::selectedPortTakenFromList_data()
{
    QTest::addColumn<int>("com");
    QTest::addColumn<int>("entry");
    QTest::addColumn<int>("selectedPort");
    QTest::addColumn<QString>("message");
    QTest::newRow("Serial Port 4") << 4 << 0 << 4 << kSuccess[1];
    // The list's tries leave the control numbered 8; nothing may go there.
    QTest::newRow("no entry selected") << 8 << -1 << 0 << QStringLiteral("Cannot open serial port");
}

void TestButtons::selectedPortTakenFromList()
{
    QFETCH(int, com);
    QFETCH(int, entry);
    QFETCH(int, selectedPort);
    QFETCH(QString, message);
    VirtualReceiver receiver({}, com); // the receiver is on this port and only there
    SelectedPort = -1;
    QWidget* window = MainWindowDriver::Load();
    QVERIFY(window);
    auto* list = window->findChild<QComboBox*>(QStringLiteral("SelectPort"));
    QCOMPARE(list->currentText(), QStringLiteral("Serial Port %1").arg(com));
    list->setCurrentIndex(entry);
    MessageRecorder messages;
    QTest::mouseClick(Button(window, "SetAllOutputs", 1), Qt::LeftButton);
    QCOMPARE(SelectedPort, selectedPort);
    QCOMPARE(messages.texts.value(0), message); // a failed opening is followed by the device's failure
    QCOMPARE(receiver.Frames().isEmpty(), selectedPort == 0);
}

void TestButtons::clickDuringRunStartsNothing()
{
    // The receiver answers on ports 3 and 8: a second run, on either, would add its frames.
    VirtualReceiver receiver({}, 3);
    receiver.AlsoOn(8);
    QWidget* window = MainWindowDriver::Load();
    QVERIFY(window);
    auto* list = window->findChild<QComboBox*>(QStringLiteral("SelectPort"));
    const QStringList ports{"Serial Port 3", "Serial Port 8"};
    QCOMPARE(list->currentText(), ports[0]);
    Qt::CursorShape cursorAtMessage = Qt::WaitCursor;
    MessageRecorder messages([&](const QString&) {
        cursorAtMessage = QApplication::overrideCursor() ? QApplication::overrideCursor()->shape() : Qt::ArrowCursor;
    });
    bool checked = false;
    // Fires inside one of the run's pauses, when clicks and keys are delivered.
    QTimer::singleShot(0, [&] {
        QVERIFY(QApplication::overrideCursor() && QApplication::overrideCursor()->shape() == Qt::WaitCursor);
        QTest::mouseClick(Button(window, "SetAllOutputs", 3), Qt::LeftButton);
        QTest::mouseClick(Button(window, "SetNmeaOuputBtn", 0), Qt::LeftButton);
        QTest::mouseClick(list, Qt::LeftButton); // opening the list would rebuild it
        QTest::keyClick(list, Qt::Key_Down);
        for (int i = 0; i < 5; ++i)
            QVERIFY(!Button(window, "ReflashBtn", i)->isEnabled());
        checked = true;
    });
    QTest::mouseClick(Button(window, "SetAllOutputs", 2), Qt::LeftButton);
    list->hidePopup();
    QVERIFY(checked);
    // One run, Molvane's: one reset's worth of CFG-MSG and one save.
    QCOMPARE(messages.texts, QStringList{kSuccess[2]});
    QCOMPARE(receiver.Frames(0x06, 0x01).size(), 152 + 5);
    QCOMPARE(receiver.Frames(0x06, 0x09).size(), 1);
    QCOMPARE(list->currentText(), ports[0]);
    QCOMPARE(list->count(), 2);
    // The operator is asked to press OK with the normal cursor.
    QVERIFY(cursorAtMessage != Qt::WaitCursor);
    QVERIFY(!QApplication::overrideCursor());
    for (int i = 0; i < 5; ++i) {
        QVERIFY(Button(window, "SetAllOutputs", i)->isEnabled());
        QVERIFY(Button(window, "SetNmeaOuputBtn", i)->isEnabled());
        QVERIFY(!Button(window, "ReflashBtn", i)->isEnabled());
    }
}

void TestButtons::closeDuringRunWaitsForTheEnd_data()
{
    QTest::addColumn<QString>("array");
    QTest::addColumn<QString>("receiver"); // "", "silent": no answer at any rate
    QTest::addColumn<int>("at");           // close on the PC's write of frame number `at` (from 1); 0: at the first pause
    QTest::addColumn<int>("frames");       // the receiver understood this many in all
    QTest::addColumn<QStringList>("expected");
    // Runs to its end, the receiver set up and saved, before the program ends.
    QTest::newRow("configuration run") << "SetAllOutputs" << "" << 0 << 169 << QStringList{kSuccess[1]};
    // The search is given up: what it sent before the close, and no NMEA Setup window.
    QTest::newRow("NMEA search") << "SetNmeaOuputBtn" << "" << 0 << 0 << QStringList();
    QTest::newRow("NMEA search, nothing answers: given up at once") << "SetNmeaOuputBtn" << "silent" << 2 << 2 << QStringList();
    // The window's nine polls run to their end; then the program ends without showing it.
    QTest::newRow("NMEA window's loading") << "SetNmeaOuputBtn" << "" << 3 << 10 << QStringList();
}

void TestButtons::closeDuringRunWaitsForTheEnd()
{
    QFETCH(QString, array);
    QFETCH(QString, receiver);
    QFETCH(int, at);
    QFETCH(int, frames);
    QFETCH(QStringList, expected);
    VirtualReceiver rx({.startBaud = 4800, .faults = {.silent = receiver == QStringLiteral("silent")}});
    QWidget* window = MainWindowDriver::Load();
    QVERIFY(window);
    MessageRecorder messages;
    bool closedDuringRun = true;
    double closedAt = -1;
    // Windows shown on the way: none but the main window may be.
    struct ShowSpy : QObject {
        QStringList shown;
        bool eventFilter(QObject* o, QEvent* e) override
        {
            if (e->type() == QEvent::Show && o->isWidgetType() && static_cast<QWidget*>(o)->isWindow())
                shown << o->objectName();
            return false;
        }
    } spy;
    qApp->installEventFilter(&spy);
    auto close = [&] {
        closedAt = rx.Elapsed();
        QMetaObject::invokeMethod(window, [&] {
            window->close();
            // The run still has its port and its window.
            closedDuringRun = !window->isVisible() || !Forms::Find(QStringLiteral("CommsFrm"));
        }, Qt::QueuedConnection);
    };
    if (at == 0)
        QTimer::singleShot(0, close);
    else
        rx.OnWrite([&](const QByteArray&) {
            if (closedAt < 0 && rx.Frames().size() == at - 1)
                close();
        });
    QTest::mouseClick(Button(window, qPrintable(array), 1), Qt::LeftButton);
    qApp->removeEventFilter(&spy);
    QVERIFY(!closedDuringRun);
    QCOMPARE(messages.texts, expected);
    if (frames > 0)
        QCOMPARE(rx.Frames().size(), frames);
    if (receiver == QStringLiteral("silent"))
        QVERIFY2(rx.Elapsed() - closedAt < 1.0, qPrintable(QString::number(rx.Elapsed() - closedAt)));
    QCOMPARE(spy.shown, QStringList());
    // Once the run is over the held close goes through, and the port is free.
    QVERIFY(!Forms::Find(QStringLiteral("SetupScreenfrm")));
    QVERIFY(!Forms::Find(QStringLiteral("CommSetup")));
    QVERIFY(!Forms::Find(QStringLiteral("CommsFrm")));
}

void TestButtons::nmeaButtonChoosesReceiverPort_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("receiverPort"); // 0: no receiver answers the search
    QTest::newRow("Varnex with Sculla") << 0 << 1;
    QTest::newRow("Varnex with Pemmet") << 1 << 1;
    QTest::newRow("Molvane external port") << 2 << 2;
    QTest::newRow("Garnock external port") << 3 << 1;
    QTest::newRow("Trissel external port") << 4 << 2;
    QTest::newRow("no receiver: the main window stays") << 2 << 0;
}

void TestButtons::nmeaButtonChoosesReceiverPort()
{
    QFETCH(int, index);
    QFETCH(int, receiverPort);
    VirtualReceiver receiver({.startBaud = 4800, .faults = {.silent = receiverPort == 0}}, 3);
    QWidget* main = MainWindowDriver::Load();
    QVERIFY(main);
    MessageRecorder messages;
    QTest::mouseClick(Button(main, "SetNmeaOuputBtn", index), Qt::LeftButton);
    QVERIFY(messages.texts.isEmpty());
    SetupScreenfrm* window = NmeaWindow();
    if (receiverPort == 0) {
        QVERIFY(!window);
        QCOMPARE(Forms::Find(QStringLiteral("CommSetup")), main);
        QVERIFY(!CommsFrm::SerialPort().PortOpen());
        // The next action opens the port as usual.
        receiver.SetFaults({});
        QTest::mouseClick(Button(main, "SetAllOutputs", 4), Qt::LeftButton);
        QCOMPARE(messages.texts, QStringList{kSuccess[4]});
        return;
    }
    QVERIFY(window);
    QCOMPARE(window->NmeaTarget, receiverPort);
    QVERIFY(window->isVisible());
    QVERIFY(!Forms::Find(QStringLiteral("CommSetup")));
    // The port is left open at the rate found.
    QVERIFY(CommsFrm::SerialPort().PortOpen());
    QCOMPARE(receiver.PcRate(), 4800);

    // Closing it brings back a freshly loaded main window and frees the port.
    QVERIFY(window->close());
    QWidget* back = Forms::Find(QStringLiteral("CommSetup"));
    QVERIFY(back && back != main && back->isVisible());
    QCOMPARE(back->findChild<QComboBox*>(QStringLiteral("SelectPort"))->currentText(), QStringLiteral("Serial Port 3"));
    QVERIFY(!CommsFrm::SerialPort().PortOpen());
    for (int i = 0; i < 5; ++i)
        QVERIFY(!Button(back, "ReflashBtn", i)->isEnabled());
}

QTEST_MAIN(TestButtons)
#include "test_buttons.moc"
