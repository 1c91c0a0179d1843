// The serial control on real pseudo-terminals: bytes pass unchanged, the
// rates the program uses can be set, output survives a close, a port held
// elsewhere cannot be opened, and a vanished device neither spins nor sticks.
#include "harness/PtyPair.h"
#include "link/SerialControl.h"

#include <QElapsedTimer>
#include <QSerialPort>
#include <QtTest>

class TestSerialControl : public QObject {
    Q_OBJECT
private slots:
    void everyByteValueRoundTrips();
    void ratesIncludingNonStandard_data();
    void ratesIncludingNonStandard();
    void settingsText_data();
    void settingsText();
    void outputLeavesBeforeClose();
    void inputPullsWhatTheSystemHolds();
    void portHeldElsewhereCannotOpen();
    void missingPortCannotOpen();
    void closedPortHasNoEffect();
    void renumberingOpenControlClosesPort();
    void vanishedDeviceDoesNotSpinAndReopens();
};

namespace {
QByteArray AllByteValues()
{
    QByteArray bytes;
    for (int i = 0; i < 256; ++i)
        bytes.append(char(i));
    return bytes;
}

QByteArray ReadFor(SerialControl& control, qsizetype count, double seconds)
{
    QElapsedTimer timer;
    timer.start();
    QByteArray got;
    while (got.size() < count && timer.elapsed() < seconds * 1000) {
        control.WaitForInput(0.005);
        got += control.Input();
    }
    return got;
}
} // namespace

void TestSerialControl::everyByteValueRoundTrips()
{
    TempPortsFolder folder;
    PtyPair pty;
    QVERIFY(pty.MapAs(folder.Path(), 1));
    SerialControl control;
    QVERIFY(control.SetCommPort(1));
    QVERIFY(control.SetSettings(QStringLiteral("115200,N,8,1")));
    QVERIFY(control.SetPortOpen(true));

    // Out, one byte per write as the frames go out.
    const QByteArray all = AllByteValues();
    for (char c : all)
        QVERIFY(control.SetOutput(QByteArray(1, c)));
    QCOMPARE(pty.Read(all.size(), 2.0), all);

    // In, including CR, LF, NUL and the high half.
    pty.Write(all);
    QCOMPARE(ReadFor(control, all.size(), 2.0), all);
}

void TestSerialControl::ratesIncludingNonStandard_data()
{
    QTest::addColumn<int>("rate");
    for (int rate : {110, 300, 600, 1200, 4800, 14400, 28800, 57600, 115200})
        QTest::newRow(qPrintable(QString::number(rate))) << rate;
}

void TestSerialControl::ratesIncludingNonStandard()
{
    QFETCH(int, rate);
    TempPortsFolder folder;
    PtyPair pty;
    QVERIFY(pty.MapAs(folder.Path(), 3));
    SerialControl control;
    QVERIFY(control.SetCommPort(3));
    QVERIFY(control.SetSettings(QStringLiteral("%1,N,8,1").arg(rate)));
    QVERIFY(control.SetPortOpen(true));
    QCOMPARE(pty.ToolBaudRate(), rate);
    // A new setting on an open port takes effect at once.
    QVERIFY(control.SetSettings(QStringLiteral("9600,N,8,1")));
    QCOMPARE(pty.ToolBaudRate(), 9600);
}

void TestSerialControl::settingsText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("rate");
    QTest::newRow("plain") << "4800,N,8,1" << 4800;
    QTest::newRow("lower-case parity") << "9600,n,8,1" << 9600;
    QTest::newRow("even parity unsupported") << "9600,E,8,1" << 0;
    QTest::newRow("no rate") << ",N,8,1" << 0;
    QTest::newRow("rate only") << "9600" << 0;
    QTest::newRow("negative rate") << "-9600,N,8,1" << 0;
}

void TestSerialControl::settingsText()
{
    QFETCH(QString, text);
    QFETCH(int, rate);
    QCOMPARE(SerialControl::ParseSettings(text), rate);
    SerialControl control;
    QCOMPARE(control.SetSettings(text), rate != 0);
    if (rate == 0)
        QCOMPARE(control.Settings(), QStringLiteral("9600,N,8,1")); // unchanged
}

void TestSerialControl::outputLeavesBeforeClose()
{
    // A frame written at a slow rate and closed at once must still leave whole:
    // the receiver on the other end hears it only if the line drained first.
    TempPortsFolder folder;
    PtyPair pty;
    QVERIFY(pty.MapAs(folder.Path(), 1));
    SerialControl control;
    control.SetCommPort(1);
    control.SetSettings(QStringLiteral("1200,N,8,1"));
    QVERIFY(control.SetPortOpen(true));
    const QByteArray frame = QByteArray::fromHex("B562060014000100000000C0080000802500000300030000000000008E95");
    for (char c : frame)
        control.SetOutput(QByteArray(1, c));
    control.SetPortOpen(false);
    QCOMPARE(pty.Read(frame.size(), 2.0), frame);
}

void TestSerialControl::inputPullsWhatTheSystemHolds()
{
    // Bytes that reached the operating system but not yet Qt must be returned
    // (and so removed) by one read, or a flush would leave them stale.
    TempPortsFolder folder;
    PtyPair pty;
    QVERIFY(pty.MapAs(folder.Path(), 1));
    SerialControl control;
    control.SetCommPort(1);
    QVERIFY(control.SetPortOpen(true));
    pty.Write(QByteArray(4000, 'x'));
    QTest::qSleep(100);
    QCOMPARE(control.Input().size(), 4000);
    QCOMPARE(control.Input(), QByteArray());
}

void TestSerialControl::portHeldElsewhereCannotOpen()
{
    TempPortsFolder folder;
    PtyPair pty;
    QVERIFY(pty.MapAs(folder.Path(), 2));
    QSerialPort other(folder.Path() + QStringLiteral("/com2"));
    QVERIFY(other.open(QIODevice::ReadWrite));
    SerialControl control;
    QVERIFY(control.SetCommPort(2));
    QVERIFY(!control.SetPortOpen(true));
    QVERIFY(!control.PortOpen());
    QVERIFY(!control.LastError().isEmpty());
    other.close();
    QVERIFY(control.SetPortOpen(true));
}

void TestSerialControl::missingPortCannotOpen()
{
    TempPortsFolder folder;
    SerialControl control;
    QVERIFY(control.SetCommPort(4));
    QVERIFY(!control.SetPortOpen(true));
    QVERIFY(!control.SetCommPort(0));
    QCOMPARE(control.CommPort(), 4);
}

void TestSerialControl::closedPortHasNoEffect()
{
    SerialControl control;
    QVERIFY(!control.PortOpen());
    QVERIFY(!control.SetOutput(QByteArray(1, 'x')));
    QCOMPARE(control.Input(), QByteArray());
    QVERIFY(control.SetPortOpen(false));
}

void TestSerialControl::renumberingOpenControlClosesPort()
{
    TempPortsFolder folder;
    PtyPair one;
    QVERIFY(one.MapAs(folder.Path(), 1));
    SerialControl control;
    control.SetCommPort(1);
    QVERIFY(control.SetPortOpen(true));
    QVERIFY(!control.SetPortOpen(true)); // already open
    QVERIFY(control.SetCommPort(2));
    QVERIFY(!control.PortOpen());
    // Port 1 is free again for anyone.
    QSerialPort other(folder.Path() + QStringLiteral("/com1"));
    QVERIFY(other.open(QIODevice::ReadWrite));
}

void TestSerialControl::vanishedDeviceDoesNotSpinAndReopens()
{
    TempPortsFolder folder;
    SerialControl control;
    {
        PtyPair pty;
        QVERIFY(pty.MapAs(folder.Path(), 1));
        control.SetCommPort(1);
        QVERIFY(control.SetPortOpen(true));
    } // the line goes away under the open port, as an unplugged adapter

    // Reads and writes have no effect, and a wait still lasts its time.
    QCOMPARE(control.Input(), QByteArray());
    control.SetOutput(QByteArray(1, 'x'));
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < 20; ++i)
        control.WaitForInput(0.01);
    QVERIFY2(timer.elapsed() >= 150, "waits on a vanished device returned early");

    // Once a device is back, the port opens again.
    PtyPair back;
    QVERIFY(back.MapAs(folder.Path(), 1));
    QVERIFY(control.SetPortOpen(true));
    back.Write("ok");
    QCOMPARE(ReadFor(control, 2, 2.0), QByteArray("ok"));
}

QTEST_MAIN(TestSerialControl)
#include "test_serial_control.moc"
