// The simulator model behind the tool's device interface, in virtual time:
// exact line timing and the unplugged handle. Everything else of the adapter
// is exercised by the tool's own virtual-time tests, which all run on it.
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

private:
    std::unique_ptr<Clock::VirtualClock> clock_;
    std::unique_ptr<Clock::ScopedClock> scoped_;
    std::shared_ptr<ReceiverModel> model_;
};

QTEST_GUILESS_MAIN(TestSimDevice)
#include "tst_sim_device.moc"
