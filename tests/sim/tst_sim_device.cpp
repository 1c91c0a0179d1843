// The simulator model behind the tool's device interface, in virtual time.
#include "harness/SimDevice.h"

#include <QTest>

using namespace VarnexSim;

namespace {

const QByteArray kCfgRatePoll = QByteArray::fromHex("B5 62 06 08 00 00 0E 30");
const QByteArray kFactoryRateReply = QByteArray::fromHex("B5 62 06 08 06 00 E8 03 01 00 01 00 01 39");
const QString kPath = QStringLiteral("/tmp/ports/com1");

// Reads until `count` bytes came or `seconds` of program time passed.
QByteArray ReadUpTo(SerialDevice& device, qsizetype count, double seconds)
{
    const double end = Clock::Now() + seconds;
    QByteArray got;
    while (got.size() < count && Clock::Now() < end) {
        device.WaitForInput(end - Clock::Now());
        got += device.ReadAll();
    }
    return got;
}

} // namespace

class TestSimDevice : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        clock_ = std::make_unique<Clock::VirtualClock>();
        scoped_ = std::make_unique<Clock::ScopedClock>(clock_.get());
        model_ = std::make_shared<ReceiverModel>(ModelOptions{}, Clock::Now());
        ReceiverConfig quiet = FactoryDefaults(); // no NMEA: what is read is the answer alone
        quiet.msgRates.clear();
        model_->SetRunning(quiet);
    }
    void cleanup()
    {
        scoped_.reset();
        clock_.reset();
    }

    void opensOnlyItsOwnPath()
    {
        SimDevice device(model_, kPath);
        QString error;
        QVERIFY(!device.Open("/tmp/ports/com2", 9600, error));
        QVERIFY(error.contains("com2"));
        QVERIFY(!device.IsOpen());
        QVERIFY(device.Open("/tmp/ports/./com1", 9600, error));
        QVERIFY(device.IsOpen());
    }

    // 8 bytes out and 14 back at 9600 bit/s: 22.9 ms of line time, no more.
    void answersAfterTheLineTime()
    {
        SimDevice device(model_, kPath);
        QString error;
        QVERIFY(device.Open(kPath, 9600, error));
        const double start = Clock::Now();
        device.Write(kCfgRatePoll);
        QCOMPARE(ReadUpTo(device, 14, 5.0).toHex(' '), kFactoryRateReply.toHex(' '));
        QVERIFY(std::abs(Clock::Now() - start - 22 * 10.0 / 9600) < 1e-6);
    }

    void wrongRateWaitsTheWholeTime()
    {
        model_->SetRunning(FactoryDefaults());
        SimDevice device(model_, kPath);
        QString error;
        QVERIFY(device.Open(kPath, 4800, error));
        const double start = Clock::Now();
        device.Write(kCfgRatePoll);
        device.WaitForInput(5.0); // the NMEA at 9600 after 1 s is not heard either
        QCOMPARE(Clock::Now() - start, 5.0);
        QCOMPARE(device.ReadAll(), QByteArray());
        QVERIFY(device.SetBaudRate(9600));
        device.Write(kCfgRatePoll);
        QVERIFY(ReadUpTo(device, 100'000, 1.5).contains(kFactoryRateReply));
    }

    void unpluggedDeviceStaysGoneUntilReopened()
    {
        SimDevice device(model_, kPath);
        QString error;
        QVERIFY(device.Open(kPath, 9600, error));
        model_->Unplug();
        QVERIFY(device.IsGone());
        const double start = Clock::Now();
        device.Write(kCfgRatePoll);
        device.WaitForInput(2.0);
        QCOMPARE(Clock::Now() - start, 2.0);
        QCOMPARE(device.ReadAll(), QByteArray());
        model_->Replug();
        QVERIFY(device.IsGone()); // the old handle is dead for good
        device.Close();
        QVERIFY(!model_->GetTranscript().FramesFromPc().contains(kCfgRatePoll.toHex(' ')));

        SimDevice other(model_, kPath);
        model_->Unplug();
        QVERIFY(!other.Open(kPath, 9600, error));
        model_->Replug();
        QVERIFY(other.Open(kPath, 9600, error));
        QVERIFY(!other.IsGone());
        other.Write(kCfgRatePoll);
        QCOMPARE(ReadUpTo(other, 14, 5.0).toHex(' '), kFactoryRateReply.toHex(' '));
    }

    void factoryMakesDevicesOnTheSameReceiver()
    {
        const SerialDeviceFactory factory = MakeSimDeviceFactory(model_, kPath);
        QString error;
        auto first = factory();
        QVERIFY(first->Open(kPath, 9600, error));
        first->Write(QByteArray::fromHex("B5 62 06 08 06 00 C8 00 01 00 00 00 DD 68"));
        QVERIFY(ReadUpTo(*first, 10, 1.0).size() == 10);
        first->Close();
        auto second = factory();
        QVERIFY(second->Open(kPath, 9600, error));
        second->Write(kCfgRatePoll);
        QCOMPARE(ReadUpTo(*second, 14, 1.0).toHex(' '),
                 QByteArray("b5 62 06 08 06 00 c8 00 01 00 00 00 dd 68"));
    }

private:
    std::unique_ptr<Clock::VirtualClock> clock_;
    std::unique_ptr<Clock::ScopedClock> scoped_;
    std::shared_ptr<ReceiverModel> model_;
};

QTEST_GUILESS_MAIN(TestSimDevice)
#include "tst_sim_device.moc"
