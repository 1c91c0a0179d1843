// The main window: its port list over a real ports folder, its controls, its
// closing, and the program's end when no port can be opened.
#include "app/CommSetup.h"
#include "app/StartModule.h"
#include "harness/MainWindowDriver.h"
#include "harness/MessageRecorder.h"
#include "harness/PtyPair.h"
#include "link/CommsFrm.h"
#include "support/Forms.h"

#include <QComboBox>
#include <QSerialPort>
#include <QtTest>

#include <memory>

namespace {

QStringList Entries(QWidget* window)
{
    auto* list = window->findChild<QComboBox*>(QStringLiteral("SelectPort"));
    QStringList entries;
    for (int i = 0; i < list->count(); ++i)
        entries << list->itemText(i);
    return entries;
}

// Ptys mapped as the given port numbers of a fresh ports folder.
struct Ports {
    explicit Ports(std::initializer_list<int> numbers)
    {
        for (int n : numbers)
            Add(n);
    }
    void Add(int n)
    {
        auto pty = std::make_unique<PtyPair>();
        pty->MapAs(folder.Path(), n);
        ptys.push_back(std::move(pty));
    }
    TempPortsFolder folder;
    std::vector<std::unique_ptr<PtyPair>> ptys;
};

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { StartModule::RegisterForms(); }
    void cleanup() { MainWindowDriver::UnloadAll(); }
    void listsOpenablePortsInOrder();
    void fixedWindowWithItsIcon();
    void closeBoxEndsProgramAndFreesPort();
    void noPortEndsProgram();
};

// Ports 1 to 8 that can be opened, in order: not one held by another
// program, never 9 and above. Dropping the list down lists them afresh.
void TestMainWindow::listsOpenablePortsInOrder()
{
    Ports ports{5, 2, 9, 12, 1};
    QSerialPort holder(ports.folder.Path() + QStringLiteral("/com1"));
    QVERIFY(holder.open(QIODevice::ReadWrite));
    MessageRecorder messages;
    QWidget* window = Forms::Load(QStringLiteral("CommSetup"));
    QVERIFY(window);
    QCOMPARE(Entries(window), QStringList({"Serial Port 2", "Serial Port 5"}));
    auto* list = window->findChild<QComboBox*>(QStringLiteral("SelectPort"));
    QCOMPARE(list->currentIndex(), 0);
    // Hovering an entry shows the device behind it.
    QCOMPARE(list->itemData(0, Qt::ToolTipRole).toString(), ports.ptys[1]->SlavePath());
    QCOMPARE(list->itemData(1, Qt::ToolTipRole).toString(), ports.ptys[0]->SlavePath());
    QVERIFY(messages.texts.isEmpty());
    // The list's tries leave every port closed.
    QVERIFY(!CommsFrm::SerialPort().PortOpen());

    ports.Add(4);
    list->showPopup();
    QCOMPARE(Entries(window), QStringList({"Serial Port 2", "Serial Port 4", "Serial Port 5"}));
    QCOMPARE(list->currentIndex(), 0);
    list->hidePopup();

    ports.ptys.front()->Unmap(); // port 5 disappears while chosen
    list->setCurrentIndex(2);
    list->showPopup();
    QCOMPARE(Entries(window), QStringList({"Serial Port 2", "Serial Port 4"}));
    QCOMPARE(list->currentText(), QStringLiteral("Serial Port 2"));
    list->hidePopup();
}

void TestMainWindow::fixedWindowWithItsIcon()
{
    Ports ports{1};
    QWidget* window = Forms::Load(QStringLiteral("CommSetup"));
    QVERIFY(window);
    QCOMPARE(window->windowTitle(), QStringLiteral("GPS Configuration Tool"));
    QVERIFY(!(window->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
    QCOMPARE(window->minimumSize(), window->maximumSize());
    QVERIFY(!window->windowIcon().pixmap(32).isNull()); // the icon image is there, not only its name
}

void TestMainWindow::closeBoxEndsProgramAndFreesPort()
{
    Ports ports{2};
    QWidget* window = Forms::Load(QStringLiteral("CommSetup"));
    QVERIFY(window);
    window->show();
    // A port left open by an action is closed with the program.
    SerialControl& control = CommsFrm::SerialPort();
    control.SetCommPort(2);
    QVERIFY(control.SetPortOpen(true));

    QVERIFY(window->close());
    // No visible window is left, so the application's event loop ends.
    const auto windows = QApplication::topLevelWidgets();
    QVERIFY(std::none_of(windows.begin(), windows.end(), [](QWidget* w) { return w->isVisible(); }));
    QVERIFY(!Forms::Find(QStringLiteral("CommSetup")));
    QVERIFY(!Forms::Find(QStringLiteral("CommsFrm")));
    QSerialPort other(ports.folder.Path() + QStringLiteral("/com2"));
    QVERIFY(other.open(QIODevice::ReadWrite));
}

void TestMainWindow::noPortEndsProgram()
{
    TempPortsFolder folder;
    MessageRecorder messages;
    // The text reaches the operator in the box only: the program keeps no log.
    static QStringList logged;
    const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& m) {
        logged << m;
    });
    StartModule::Main();
    qInstallMessageHandler(previous);
    QCOMPARE(messages.texts, QStringList({"Cannot open any serial ports!"}));
    QVERIFY2(!logged.join(u'|').contains(messages.texts.first()), qPrintable(logged.join(u'|')));
    QVERIFY(!Forms::Find(QStringLiteral("CommSetup")));
    QVERIFY(!Forms::Find(QStringLiteral("CommsFrm")));
}

QTEST_MAIN(TestMainWindow)
#include "test_main_window.moc"
