// The serial control on real pseudo-terminals: bytes pass unchanged, the
// rates the program uses can be set, output survives a close, renumbering
// frees the port, and a vanished device neither spins nor sticks.
#include "harness/PtyPair.h"
#include "link/SerialControl.h"

#include <QElapsedTimer>
#include <QSerialPort>
#include <QtTest>

namespace {
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

// A control opened at `rate` on a fresh pty mapped as com1.
struct Line {
    explicit Line(int rate = 115200)
    {
        pty.MapAs(folder.Path(), 1);
        control.SetCommPort(1);
        control.SetSettings(QStringLiteral("%1,N,8,1").arg(rate));
        control.SetPortOpen(true);
    }
    TempPortsFolder folder;
    PtyPair pty;
    SerialControl control;
};
} // namespace

class TestSerialControl : public QObject {
    Q_OBJECT
private slots:
    void everyByteValueRoundTrips()
    {
        Line line;
        QVERIFY(line.control.PortOpen());
        QByteArray all;
        for (int i = 0; i < 256; ++i)
            all.append(char(i));
        for (char c : all) // out one byte per write, as the frames go out
            QVERIFY(line.control.SetOutput(QByteArray(1, c)));
        QCOMPARE(line.pty.Read(all.size(), 2.0), all);
        line.pty.Write(all); // in, CR, LF, NUL and the high half included
        QCOMPARE(ReadFor(line.control, all.size(), 2.0), all);
    }

    void rates_data()
    {
        QTest::addColumn<int>("rate");
        for (int rate : {110, 1200, 14400, 28800, 115200})
            QTest::newRow(qPrintable(QString::number(rate))) << rate;
    }
    void rates()
    {
        QFETCH(int, rate);
        Line line(rate);
        QCOMPARE(line.pty.ToolBaudRate(), rate);
        // A new setting on an open port takes effect at once.
        QVERIFY(line.control.SetSettings(QStringLiteral("9600,N,8,1")));
        QCOMPARE(line.pty.ToolBaudRate(), 9600);
    }

    // A blind CFG-PRT written at 1200 bit/s and closed at once still leaves whole.
    void outputLeavesBeforeClose()
    {
        Line line(1200);
        const QByteArray frame = QByteArray::fromHex("B562060014000100000000C0080000802500000300030000000000008E95");
        for (char c : frame)
            line.control.SetOutput(QByteArray(1, c));
        line.control.SetPortOpen(false);
        QCOMPARE(line.pty.Read(frame.size(), 2.0), frame);
    }

    // Bytes in the operating system but not yet in Qt come with one read (and
    // so go with the flush before a request).
    void inputPullsWhatTheSystemHolds()
    {
        Line line;
        line.pty.Write(QByteArray(4000, 'x'));
        QTest::qSleep(100);
        QCOMPARE(line.control.Input().size(), 4000);
        QCOMPARE(line.control.Input(), QByteArray());
    }

    // Renumbering an open control closes its port: another program can take it.
    void renumberingClosesThePort()
    {
        Line line;
        QVERIFY(!line.control.SetPortOpen(true)); // already open
        QVERIFY(line.control.SetCommPort(2));
        QVERIFY(!line.control.PortOpen());
        QSerialPort other(line.folder.Path() + QStringLiteral("/com1"));
        QVERIFY(other.open(QIODevice::ReadWrite));
    }

    void vanishedDeviceDoesNotSpinAndReopens()
    {
        TempPortsFolder folder;
        SerialControl control;
        {
            PtyPair pty;
            QVERIFY(pty.MapAs(folder.Path(), 1));
            control.SetCommPort(1);
            QVERIFY(control.SetPortOpen(true));
        } // the line goes away under the open port, as an unplugged adapter
        QCOMPARE(control.Input(), QByteArray());
        control.SetOutput(QByteArray(1, 'x'));
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < 20; ++i)
            control.WaitForInput(0.01);
        QVERIFY2(timer.elapsed() >= 150, "waits on a vanished device returned early");
        PtyPair back; // once a device is back, the port opens again
        QVERIFY(back.MapAs(folder.Path(), 1));
        QVERIFY(control.SetPortOpen(true));
        back.Write("ok");
        QCOMPARE(ReadFor(control, 2, 2.0), QByteArray("ok"));
    }
};

QTEST_MAIN(TestSerialControl)
#include "test_serial_control.moc"
