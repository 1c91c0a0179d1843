// The shared routines: number extraction, byte splitting, the pause and the
// status panel.
#include "app/StartModule.h"
#include "harness/PtyPair.h"
#include "support/Clock.h"
#include "support/Forms.h"
#include "support/SupportFunctions.h"

#include <QLabel>
#include <QStatusBar>
#include <QTimer>
#include <QtTest>

using namespace SupportFunctions;

class TestSupport : public QObject {
    Q_OBJECT
private slots:
    void extractNumber_data();
    void extractNumber();
    void byteRoutines_data();
    void byteRoutines();
    void byteOfValue();
    void delayRunsEventsAndLastsItsTime();
    void statusPanelFollowsMainWindow();
};

void TestSupport::extractNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<float>("expected");
    QTest::newRow("port list entry") << "Serial Port 7" << 7.0f;
    QTest::newRow("two-digit port") << "Serial Port 12" << 12.0f;
    QTest::newRow("baud list entry") << "115200" << 115200.0f;
    QTest::newRow("digits in two places join") << "Port 1 of 4" << 14.0f;
    QTest::newRow("empty text") << "" << 0.0f;
    QTest::newRow("letters only") << "Serial Port " << 0.0f;
    QTest::newRow("two minus signs") << "--" << 0.0f;
    QTest::newRow("minus sign kept") << "offset -3 s" << -3.0f;
}

void TestSupport::extractNumber()
{
    QFETCH(QString, text);
    QFETCH(float, expected);
    QCOMPARE(ExtractNumber(text), expected);
}

void TestSupport::byteRoutines_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("low");
    QTest::addColumn<int>("high");
    QTest::newRow("1000 ms") << 1000 << 0xE8 << 0x03;
    QTest::newRow("zero") << 0 << 0 << 0;
    QTest::newRow("LowByte's top") << 32767 << 0xFF << 0x7F;
    QTest::newRow("above LowByte's range") << 32768 << 0 << 0x80;
    QTest::newRow("HighByte's top") << 65535 << 0 << 0xFF;
    QTest::newRow("above HighByte's range") << 65536 << 0 << 0;
    QTest::newRow("negative") << -1 << 0 << 0;
}

void TestSupport::byteRoutines()
{
    QFETCH(int, value);
    QFETCH(int, low);
    QFETCH(int, high);
    QCOMPARE(int(LowByte(value)), low);
    QCOMPARE(int(HighByte(value)), high);
}

void TestSupport::byteOfValue()
{
    // 115200 = 00 01 C2 00 big-endian: bytes 0..3 are 00 C2 01 00.
    const int expected[] = {0x00, 0xC2, 0x01, 0x00};
    for (int n = 0; n < 4; ++n)
        QCOMPARE(int(ByteOfValue(115200, n)), expected[n]);
    QCOMPARE(int(ByteOfValue(0x7FFFFFFF, 3)), 0x7F);
    QCOMPARE(int(ByteOfValue(-5, 0)), 0);
    QCOMPARE(int(ByteOfValue(1000, 4)), 0);
}

void TestSupport::delayRunsEventsAndLastsItsTime()
{
    Clock::VirtualClock clock;
    Clock::ScopedClock use(&clock);
    int fired = 0;
    QTimer::singleShot(0, [&] { ++fired; });
    const double start = clock.Now();
    Delay(0.5f);
    QVERIFY(clock.Now() - start >= 0.5);
    QVERIFY(clock.Now() - start < 0.51);
    QCOMPARE(fired, 1);

    // Even a pause of nothing lets pending events through once.
    QTimer::singleShot(0, [&] { ++fired; });
    Delay(0.0f);
    QCOMPARE(fired, 2);
}

void TestSupport::statusPanelFollowsMainWindow()
{
    // Without a main window both routines do nothing, and nothing fails.
    ShowStatus(QStringLiteral("Reading Configuration"));
    ClearStatus();
    QVERIFY(!IsFormLoaded(QStringLiteral("CommSetup")));

    TempPortsFolder folder;
    PtyPair pty;
    QVERIFY(pty.MapAs(folder.Path(), 1));
    StartModule::RegisterForms();
    QWidget* window = Forms::Load(QStringLiteral("CommSetup"));
    QVERIFY(window);
    QVERIFY(IsFormLoaded(QStringLiteral("CommSetup")));
    QVERIFY(!IsFormLoaded(QStringLiteral("commsetup")));

    auto* panel = window->findChild<QStatusBar*>(QStringLiteral("StatusBar"))->findChild<QLabel*>();
    QVERIFY(panel);
    ShowStatus(QStringLiteral("Reading Configuration"));
    QCOMPARE(panel->text(), QStringLiteral("Reading Configuration"));
    ClearStatus();
    QCOMPARE(panel->text(), QString());

    Forms::Unload(window);
    QVERIFY(!IsFormLoaded(QStringLiteral("CommSetup")));
    ShowStatus(QStringLiteral("ignored"));
    QCOMPARE(panel->text(), QString()); // still alive until deferred deletion, untouched
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

QTEST_MAIN(TestSupport)
#include "test_support.moc"
