#pragma once

#include "link/SerialDevice.h"

#include <QSerialPort>

// A real serial port through QSerialPort.
//
// QSerialPort buffers in both directions: writes reach the operating system
// only when the event loop runs or on flush(), and readAll() returns only what
// Qt has already pulled. This device pushes every write out at once, pulls
// before every read, and waits for the line to drain before a close or a rate
// change, so no byte is lost or left stale across those steps.
class QtSerialDevice final : public SerialDevice {
public:
    QtSerialDevice();
    ~QtSerialDevice() override;

    bool Open(const QString& path, qint32 baud, QString& error) override;
    void Close() override;
    bool IsOpen() const override;
    bool SetBaudRate(qint32 baud) override;
    void Write(const QByteArray& bytes) override;
    QByteArray ReadAll() override;
    void WaitForInput(double seconds) override;
    bool IsGone() const override { return gone_; }

private:
    void Drain();
    bool CheckGone();

    QSerialPort port_;
    qint32 baud_ = 0;
    // When the last byte written will have left the line at the port's rate.
    double lineFreeAt_ = 0;
    bool gone_ = false;
};
