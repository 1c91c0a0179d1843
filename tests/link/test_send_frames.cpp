// Frames leave on a real pseudo-terminal exactly as built, one byte per write,
// and a flush leaves nothing stale behind.
#include "harness/PtyPair.h"
#include "link/CommsFrm.h"
#include "link/uBloxLowLevelComms.h"

#include <QtTest>

using namespace uBloxLowLevelComms;

class TestSendFrames : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void pollRequestGoesOutAsLiteralBytes();
    void everyPayloadValueIsOneByte();
    void sameBufferTwiceSendsSameBytes();
    void flushDiscardsWaitingInput();
    void closedPortHasNoEffect();

private:
    std::unique_ptr<TempPortsFolder> folder_;
    std::unique_ptr<PtyPair> pty_;
};

void TestSendFrames::init()
{
    folder_ = std::make_unique<TempPortsFolder>();
    pty_ = std::make_unique<PtyPair>();
    QVERIFY(pty_->MapAs(folder_->Path(), 1));
    SerialControl& port = CommsFrm::SerialPort();
    port.SetCommPort(1);
    port.SetSettings(QStringLiteral("115200,N,8,1"));
    QVERIFY(port.SetPortOpen(true));
}

void TestSendFrames::cleanup()
{
    CommsFrm::SerialPort().SetPortOpen(false);
    pty_.reset();
    folder_.reset();
}

void TestSendFrames::pollRequestGoesOutAsLiteralBytes()
{
    UbxBuffer poll = NewUbxBuffer(0x06, 0x08, 0); // sync bytes left 0 by the caller
    CalcUbxChecksum(poll);
    SendUbxMessage(poll);
    QCOMPARE(pty_->Read(8, 2.0), QByteArray::fromHex("B56206080000" "0E30"));
    QCOMPARE(poll[0], 0xB5); // the caller's buffer keeps the sync bytes
    QCOMPARE(poll[1], 0x62);
}

void TestSendFrames::everyPayloadValueIsOneByte()
{
    UbxBuffer frame = NewUbxBuffer(0x06, 0x01, 256);
    for (int i = 0; i < 256; ++i)
        frame[6 + i] = std::uint8_t(i);
    CalcUbxChecksum(frame);
    SendUbxMessage(frame);
    const QByteArray got = pty_->Read(264, 3.0);
    QCOMPARE(got.size(), 264);
    for (int i = 0; i < 256; ++i)
        QCOMPARE(std::uint8_t(got[6 + i]), std::uint8_t(i));
}

void TestSendFrames::sameBufferTwiceSendsSameBytes()
{
    UbxBuffer frame = NewUbxBuffer(0x06, 0x09, 2);
    frame[6] = 0x0A;
    frame[7] = 0x0D;
    CalcUbxChecksum(frame);
    SendUbxMessage(frame);
    SendUbxMessage(frame);
    const QByteArray got = pty_->Read(20, 2.0);
    QCOMPARE(got.size(), 20);
    QCOMPARE(got.left(10), got.mid(10));
    QCOMPARE(got.left(2), QByteArray::fromHex("B562"));
}

void TestSendFrames::flushDiscardsWaitingInput()
{
    pty_->Write(QByteArray::fromHex("B5620501020006081" "63F") + "$GPGGA,stale\r\n");
    QTest::qSleep(50); // in the operating system, not yet pulled by Qt
    FlushSerialInput();
    QCOMPARE(CommsFrm::SerialPort().Input(), QByteArray());
}

void TestSendFrames::closedPortHasNoEffect()
{
    CommsFrm::SerialPort().SetPortOpen(false);
    UbxBuffer poll = NewUbxBuffer(0x06, 0x08, 0);
    CalcUbxChecksum(poll);
    SendUbxMessage(poll);
    FlushSerialInput();
    QCOMPARE(pty_->Read(1, 0.2), QByteArray());
}

QTEST_MAIN(TestSendFrames)
#include "test_send_frames.moc"
