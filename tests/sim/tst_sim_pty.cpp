// The simulator on real pseudo-terminals, opened with QSerialPort through the
// comN link as the tool opens its ports; and the varnex-receiver-sim program.
#include "sim/PtyReceiverSim.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTest>

using namespace VarnexSim;

namespace {

const QByteArray kCfgRatePoll = QByteArray::fromHex("B5 62 06 08 00 00 0E 30");
const QByteArray kFactoryRateReply = QByteArray::fromHex("B5 62 06 08 06 00 E8 03 01 00 01 00 01 39");

// Everything that arrives within `seconds`, or up to the moment `until` has arrived.
QByteArray ReadFor(QSerialPort& port, double seconds, const QByteArray& until = {})
{
    QElapsedTimer timer;
    timer.start();
    QByteArray got;
    while (timer.elapsed() < seconds * 1000 && (until.isEmpty() || !got.contains(until))) {
        port.waitForReadyRead(10);
        got += port.readAll();
    }
    return got;
}

void Send(QSerialPort& port, const QByteArray& bytes)
{
    port.write(bytes);
    port.waitForBytesWritten(1000);
}

bool OpenAt(QSerialPort& port, const QString& path, qint32 baud)
{
    port.setPortName(path);
    port.setBaudRate(baud);
    return port.open(QIODevice::ReadWrite);
}

bool WaitUntil(const std::function<bool()>& condition, double seconds = 2.0)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > seconds * 1000)
            return false;
        QTest::qSleep(5);
    }
    return true;
}

// A receiver on a pty in its own temporary ports folder, started at `baud`.
struct Receiver {
    explicit Receiver(qint32 baud, bool quiet = true)
        : sim(PtyReceiverSim::Options{dir.path(), 1, Options(baud)})
    {
        QString error;
        started = sim.Start(error);
        if (quiet)
            sim.WithModel([](ReceiverModel& m) {
                ReceiverConfig c = m.Running();
                c.msgRates.clear();
                m.SetRunning(c);
            });
    }
    static ModelOptions Options(qint32 baud)
    {
        ModelOptions o;
        o.startBaud = baud;
        return o;
    }
    QTemporaryDir dir;
    PtyReceiverSim sim;
    bool started = false;
};

} // namespace

class TestSimPty : public QObject {
    Q_OBJECT

private slots:
    void answersOnlyAtTheLinkRate_data();
    void answersOnlyAtTheLinkRate();
    void cfgPrtMovesTheLink();
    void survivesTheToolClosingAndReopening();
    void judgesBytesAtTheRateOfTheirSession();
    void unplugAndReplug();
    void programMapsAndUnmapsItsPort();
};

void TestSimPty::answersOnlyAtTheLinkRate_data()
{
    QTest::addColumn<int>("linkBaud");
    QTest::addColumn<int>("pcBaud");
    QTest::addColumn<bool>("answered");
    QTest::newRow("9600 at 9600") << 9600 << 9600 << true;
    QTest::newRow("9600 at 4800") << 9600 << 4800 << false;
    QTest::newRow("14400 at 14400") << 14400 << 14400 << true;
    QTest::newRow("28800 at 28800") << 28800 << 28800 << true;
    QTest::newRow("28800 at 14400") << 28800 << 14400 << false;
}

// NMEA ten times a second, so a wrong rate must also keep that from being heard.
void TestSimPty::answersOnlyAtTheLinkRate()
{
    QFETCH(int, linkBaud);
    QFETCH(int, pcBaud);
    QFETCH(bool, answered);
    Receiver rx(linkBaud, false);
    QVERIFY(rx.started);
    rx.sim.WithModel([](ReceiverModel& m) {
        ReceiverConfig c = m.Running();
        c.measRateMs = 100;
        m.SetRunning(c);
    });
    QSerialPort port;
    QVERIFY2(OpenAt(port, rx.sim.DevicePath(), pcBaud), qPrintable(port.errorString()));
    Send(port, kCfgRatePoll);
    const QByteArray reply = QByteArray::fromHex("B5 62 06 08 06 00 64 00 01 00 01 00 7A 12");
    const QByteArray heard = ReadFor(port, answered ? 2.0 : 0.5, reply);
    QCOMPARE(heard.contains(reply), answered);
    QCOMPARE(heard.isEmpty(), !answered);
    const auto transcript = rx.sim.Transcript();
    QVERIFY(!transcript.empty());
    QCOMPARE(transcript.front().pcBaud, pcBaud);
    QCOMPARE(transcript.front().understood, answered);
}

void TestSimPty::cfgPrtMovesTheLink()
{
    const QByteArray prt = QByteArray::fromHex(
        "B5 62 06 00 14 00 01 00 00 00 C0 08 00 00 00 C2 01 00 03 00 03 00 00 00 00 00 AC 5E");
    Receiver rx(9600);
    QVERIFY(rx.started);
    QSerialPort port;
    QVERIFY(OpenAt(port, rx.sim.DevicePath(), 9600));
    Send(port, prt + kCfgRatePoll);
    QCOMPARE(ReadFor(port, 0.4).toHex(' '), QByteArray("b5 62 05 01 02 00 06 00 0e 37"));
    Send(port, kCfgRatePoll);
    QCOMPARE(ReadFor(port, 0.3), QByteArray());
    port.close();
    QVERIFY(OpenAt(port, rx.sim.DevicePath(), 115200));
    Send(port, kCfgRatePoll);
    QCOMPARE(ReadFor(port, 1.0, kFactoryRateReply).toHex(' '), kFactoryRateReply.toHex(' '));
    QCOMPARE(rx.sim.FramesFromPc(), (QStringList{prt.toHex(' '), kCfgRatePoll.toHex(' ')}));
}

void TestSimPty::survivesTheToolClosingAndReopening()
{
    Receiver rx(9600);
    QVERIFY(rx.started);
    for (int i = 0; i < 5; ++i) {
        QSerialPort port;
        QVERIFY(OpenAt(port, rx.sim.DevicePath(), 9600));
        Send(port, kCfgRatePoll);
        QCOMPARE(ReadFor(port, 1.0, kFactoryRateReply).toHex(' '), kFactoryRateReply.toHex(' '));
    }
    // Closed as soon as the bytes have left the line: still read and answered,
    // the answer lost with the port.
    {
        QSerialPort port;
        QVERIFY(OpenAt(port, rx.sim.DevicePath(), 9600));
        Send(port, kCfgRatePoll);
        QTest::qSleep(9); // 8 bytes at 9600 bit/s
    }
    QVERIFY(WaitUntil([&] { return rx.sim.FramesFromPc().size() == 6; }));
}

// As the tool's blind sweep does: open at a rate, write, close as soon as the
// bytes have left the line (the time a real UART's drain takes). The port's
// settings go back the instant it closes, yet each frame counts at the rate
// it was written at.
void TestSimPty::judgesBytesAtTheRateOfTheirSession()
{
    Receiver rx(9600);
    QVERIFY(rx.started);
    const QList<qint32> rates{4800, 9600, 19200, 9600};
    for (qint32 baud : rates) {
        QSerialPort port;
        QVERIFY(OpenAt(port, rx.sim.DevicePath(), baud));
        Send(port, kCfgRatePoll);
        QTest::qSleep(int(kCfgRatePoll.size() * 10 * 1000 / baud) + 1);
        port.close();
        QTest::qSleep(30);
    }
    QVERIFY(WaitUntil([&] { return rx.sim.Transcript().size() >= 6; }));
    QList<qint32> judgedAt;
    QList<bool> understood;
    for (const TranscriptEntry& e : rx.sim.Transcript()) {
        if (e.dir == TranscriptEntry::Direction::FromPc) {
            judgedAt << e.pcBaud;
            understood << e.understood;
        }
    }
    QCOMPARE(judgedAt, rates);
    QCOMPARE(understood, (QList<bool>{false, true, false, true}));
}

void TestSimPty::unplugAndReplug()
{
    Receiver rx(9600);
    QVERIFY(rx.started);
    QSerialPort port;
    QVERIFY(OpenAt(port, rx.sim.DevicePath(), 9600));
    rx.sim.Unplug();
    QVERIFY(WaitUntil([&] { return !QFileInfo::exists(rx.sim.DevicePath()); }));
    port.waitForReadyRead(50);
    QVERIFY(port.error() == QSerialPort::ResourceError || port.error() == QSerialPort::ReadError);
    port.close();
    QSerialPort absent;
    QVERIFY(!OpenAt(absent, rx.sim.DevicePath(), 9600));

    rx.sim.Replug();
    QVERIFY(WaitUntil([&] { return QFileInfo::exists(rx.sim.DevicePath()); }));
    QSerialPort again;
    QVERIFY2(OpenAt(again, rx.sim.DevicePath(), 9600), qPrintable(again.errorString()));
    Send(again, kCfgRatePoll);
    QCOMPARE(ReadFor(again, 1.0, kFactoryRateReply).toHex(' '), kFactoryRateReply.toHex(' '));
}

void TestSimPty::programMapsAndUnmapsItsPort()
{
    QTemporaryDir dir;
    const QString transcript = dir.filePath("transcript.jsonl");
    QProcess sim;
    sim.start(VARNEX_RECEIVER_SIM, {"--ports", dir.path(), "--com", "4", "--baud", "19200", "--transcript", transcript});
    QVERIFY(sim.waitForReadyRead(5000));
    const QString com4 = dir.filePath("com4");
    QVERIFY2(sim.readAllStandardOutput().contains(com4.toLocal8Bit()), "the mapping is printed");
    QVERIFY(QFileInfo(com4).isSymLink());
    {
        QSerialPort port;
        QVERIFY(OpenAt(port, com4, 19200));
        Send(port, kCfgRatePoll);
        QVERIFY(ReadFor(port, 1.5, kFactoryRateReply).contains(kFactoryRateReply));
    }
    sim.terminate();
    QVERIFY(sim.waitForFinished(5000));
    QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.exitCode(), 0);
    QVERIFY(!QFileInfo(com4).isSymLink());

    QFile file(transcript);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QJsonObject first = QJsonDocument::fromJson(file.readLine()).object();
    QCOMPARE(first["dir"].toString(), QString("rx"));
    QCOMPARE(first["cls"].toString(), QString("06"));
    QCOMPARE(first["id"].toString(), QString("08"));
    QCOMPARE(first["pcBaud"].toInt(), 19200);
    QCOMPARE(first["understood"].toBool(), true);
    const QJsonObject second = QJsonDocument::fromJson(file.readLine()).object();
    QCOMPARE(second["dir"].toString(), QString("tx"));
    QCOMPARE(second["hex"].toString(), QString(kFactoryRateReply.toHex(' ')));
}

QTEST_GUILESS_MAIN(TestSimPty)
#include "tst_sim_pty.moc"
