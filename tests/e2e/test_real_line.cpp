// The receiver operations on a real pseudo-terminal against the simulator, in
// real time: the literal frames it received, rates found and moved, and
// every blind command arriving whole at its own rate.
#include "harness/GoldenFrames.h"
#include "harness/MessageRecorder.h"
#include "harness/PtySim.h"
#include "link/CommsFrm.h"
#include "link/SelectedPort.h"
#include "link/uBloxLowLevelComms.h"
#include "receiver_config/VarnexCommsRoutines.h"

#include <QElapsedTimer>
#include <QtTest>

using namespace VarnexCommsRoutines;

namespace {

VarnexSim::ModelOptions At(qint32 baud)
{
    VarnexSim::ModelOptions options;
    options.startBaud = baud;
    return options;
}

void OpenAt(qint32 rate)
{
    SerialControl& port = CommsFrm::SerialPort();
    SelectedPort = 1;
    port.SetCommPort(1);
    port.SetSettings(QStringLiteral("%1,N,8,1").arg(rate));
    QVERIFY(port.SetPortOpen(true));
}

qint32 PcRate() { return SerialControl::ParseSettings(CommsFrm::SerialPort().Settings()); }

// 8-bit Fletcher over class..payload, computed here on its own.
bool ChecksumValid(const QByteArray& frame)
{
    if (frame.size() < 8)
        return false;
    quint8 a = 0, b = 0;
    for (qsizetype i = 2; i < frame.size() - 2; ++i) {
        a = quint8(a + quint8(frame[i]));
        b = quint8(b + a);
    }
    return a == quint8(frame[frame.size() - 2]) && b == quint8(frame[frame.size() - 1]);
}

} // namespace

class TestRealLine : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { CommsFrm::SerialPort().SetPortOpen(false); }
    void workedExamplesArriveAsLiteralBytes();
    void ackFoundBeforeTheLimit();
    void searchFindsReceiverAt9600();
    void blindCommandsArriveWholeAtTheirRate_data();
    void blindCommandsArriveWholeAtTheirRate();
    void confirmedChangeOfLinkMovesThePc();
};

void TestRealLine::workedExamplesArriveAsLiteralBytes()
{
    PtySim sim(1, At(115200));
    QVERIFY2(sim.IsValid(), qPrintable(sim.Error()));
    OpenAt(115200);
    QVERIFY(WriteConfiguration(1000.0f, 1));
    QVERIFY(SetDynamicNavigationParameters());
    QVERIFY(SetTimePulse(200, 50));
    QVERIFY(SetMessageRate(0xF0, 0x04, 1, 1));
    QVERIFY(GetUpdateRate(0xF0, 0x04, 1) == OutputRate::EverySolution);
    QVERIFY(WriteSetupToFlash());
    QStringList frames;
    for (const QString& f : sim.FramesFromPc())
        frames << NormalHex(f);
    QCOMPARE(frames, QStringList({
        NormalHex("B5 62 06 08 06 00 E8 03 01 00 00 00 00 37"),
        NormalHex("B5 62 06 03 1C 00 07 01 0A 1C 1C 05 00 3C 3C 14 E8 03 00 00 05 07 C8 00 C8 00 32 00 2C 01 0F 00 00 00 F5 5C"),
        NormalHex("B5 62 06 07 14 00 40 0D 03 00 50 C3 00 00 01 01 00 00 32 00 34 03 00 00 00 00 EF 71"),
        NormalHex("B5 62 06 01 06 00 F0 04 00 01 00 00 02 2C"),
        NormalHex("B5 62 06 01 02 00 F0 04 FD 15"),
        NormalHex("B5 62 06 09 0C 00 00 00 00 00 FF FF 00 00 00 00 00 00 19 80"),
    }));
}

void TestRealLine::ackFoundBeforeTheLimit()
{
    PtySim sim(1, At(115200));
    QVERIFY(sim.IsValid());
    OpenAt(115200);
    // The receiver outputs nothing else, so the wait can only end early on
    // the acknowledgement's ninth byte.
    VarnexSim::ReceiverConfig quiet = sim.Running();
    quiet.msgRates.clear();
    sim.SetRunning(quiet);
    uBloxLowLevelComms::UbxBuffer rate = {0, 0, 0x06, 0x08, 6, 0, 0xE8, 0x03, 1, 0, 0, 0, 0, 0};
    uBloxLowLevelComms::CalcUbxChecksum(rate);
    uBloxLowLevelComms::FlushSerialInput();
    QElapsedTimer timer;
    timer.start();
    uBloxLowLevelComms::SendUbxMessage(rate);
    QVERIFY(uBloxLowLevelComms::WaitForUbxAck(0x06, 0x08));
    QVERIFY2(timer.elapsed() < 2500, "the wait ran to its limit instead of stopping on the acknowledgement");
}

void TestRealLine::searchFindsReceiverAt9600()
{
    if (qEnvironmentVariableIsSet("VARNEX_SKIP_SLOW_SEARCH"))
        QSKIP("runs as its own CTest entry, test_real_line_search");
    PtySim sim(1, At(9600));
    QVERIFY(sim.IsValid());
    SelectedPort = 1;
    QVERIFY(FindBaudAndOpenPort());
    QCOMPARE(PcRate(), 9600);
    QVERIFY(CommsFrm::SerialPort().PortOpen());
}

void TestRealLine::blindCommandsArriveWholeAtTheirRate_data()
{
    QTest::addColumn<int>("start");
    QTest::newRow("receiver at 1200") << 1200;
    QTest::newRow("receiver at 57600") << 57600;
}

void TestRealLine::blindCommandsArriveWholeAtTheirRate()
{
    QFETCH(int, start);
    PtySim sim(1, At(start));
    QVERIFY(sim.IsValid());
    SelectedPort = 1;
    QVERIFY(OpenPortAtBaud(115200));
    QCOMPARE(PcRate(), 115200);
    // At its own rate the receiver hears the commands for ports 0 and 1 whole;
    // port 1 is its link, which moves; at 115200 it hears all four again.
    QList<QPair<qint32, int>> heard;
    for (const auto& e : sim.Transcript()) {
        if (!e.IsFrameFromPc() || e.cls != 0x06 || e.id != 0x00)
            continue;
        QVERIFY(ChecksumValid(e.bytes));
        QCOMPARE(e.bytes.size(), 28);
        heard.append({e.pcBaud, int(quint8(e.bytes[6]))});
    }
    QCOMPARE(heard, (QList<QPair<qint32, int>>{{start, 0}, {start, 1}, {115200, 0}, {115200, 1}, {115200, 2}, {115200, 3}}));
}

void TestRealLine::confirmedChangeOfLinkMovesThePc()
{
    PtySim sim(1, At(115200));
    QVERIFY(sim.IsValid());
    OpenAt(115200);
    QVERIFY(SetBaudRate(9600, BaudMode::Confirming, 1));
    QCOMPARE(PcRate(), 9600);
    QCOMPARE(sim.Running().ports[1].baud, 9600);
}

QTEST_MAIN(TestRealLine)
#include "test_real_line.moc"
