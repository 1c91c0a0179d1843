#pragma once

#include "link/SerialDevice.h"
#include "sim/ReceiverModel.h"
#include "support/Clock.h"

#include <memory>

// The receiver model behind the serial control's device interface, on the
// program's clock: a wait for input moves the virtual clock to the moment the
// next byte arrives (or to the end of the wait), so a 5-second time-out costs
// nothing and the receiver's timings hold exactly as on a real line.
class SimDevice final : public SerialDevice {
public:
    // Answers opens of `path` only, as the one port the receiver is wired to.
    // Waits let time pass with Clock::Sleep, which advances an installed virtual clock.
    SimDevice(std::shared_ptr<VarnexSim::ReceiverModel> model, QString path);
    ~SimDevice() override;

    bool Open(const QString& path, qint32 baud, QString& error) override;
    void Close() override;
    bool IsOpen() const override { return open_; }
    bool SetBaudRate(qint32 baud) override;
    void Write(const QByteArray& bytes) override;
    QByteArray ReadAll() override;
    void WaitForInput(double seconds) override;
    bool IsGone() const override;

    qint32 BaudRate() const { return baud_; }

private:
    bool Dead() const;
    void Pull();
    void Drain();

    std::shared_ptr<VarnexSim::ReceiverModel> model_;
    QString path_;
    bool open_ = false;
    qint32 baud_ = 0;
    int unplugsAtOpen_ = 0;
    double lineFreeAt_ = 0;
    QByteArray received_;
};

// A device factory for the serial control: every device it makes is a
// SimDevice on `model`, answering `path`.
SerialDeviceFactory MakeSimDeviceFactory(std::shared_ptr<VarnexSim::ReceiverModel> model, QString path);
