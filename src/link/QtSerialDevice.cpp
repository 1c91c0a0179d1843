#include "link/QtSerialDevice.h"

#include "support/Clock.h"
#include "support/Timing.h"

#include <algorithm>
#include <cmath>

#ifdef _WIN32
#include <windows.h>
#else
#include <termios.h>
#endif

QtSerialDevice::QtSerialDevice() = default;

QtSerialDevice::~QtSerialDevice() { Close(); }

bool QtSerialDevice::Open(const QString& path, qint32 baud, QString& error)
{
    if (port_.isOpen() || gone_)
        Close();
    port_.setPortName(path);
    if (!port_.open(QIODevice::ReadWrite)) {
        error = port_.errorString();
        port_.clearError();
        return false;
    }
    const bool configured = port_.setBaudRate(baud) && port_.setDataBits(QSerialPort::Data8)
                            && port_.setParity(QSerialPort::NoParity)
                            && port_.setStopBits(QSerialPort::OneStop)
                            && port_.setFlowControl(QSerialPort::NoFlowControl);
    if (!configured) {
        error = port_.errorString();
        port_.close();
        port_.clearError();
        return false;
    }
    baud_ = baud;
    lineFreeAt_ = Clock::Now();
    return true;
}

void QtSerialDevice::Close()
{
    if (port_.isOpen()) {
        if (!gone_)
            Drain();
        port_.close();
    }
    port_.clearError();
    gone_ = false;
}

bool QtSerialDevice::IsOpen() const { return port_.isOpen() || gone_; }

bool QtSerialDevice::SetBaudRate(qint32 baud)
{
    if (!port_.isOpen())
        return false;
    Drain();
    if (!port_.setBaudRate(baud))
        return false;
    baud_ = baud;
    return true;
}

void QtSerialDevice::Write(const QByteArray& bytes)
{
    if (!port_.isOpen())
        return;
    if (port_.write(bytes) < 0 || !port_.flush()) {
        CheckGone();
        return;
    }
    // 10 bits a byte on the line: start bit, 8 data bits, stop bit.
    const double lineTime = baud_ > 0 ? bytes.size() * 10.0 / baud_ : 0.0;
    lineFreeAt_ = std::max(lineFreeAt_, Clock::Now()) + lineTime;
}

QByteArray QtSerialDevice::ReadAll()
{
    if (!port_.isOpen())
        return {};
    // Pull what the operating system holds into Qt's buffer first.
    while (port_.waitForReadyRead(0)) {
    }
    QByteArray bytes = port_.readAll();
    CheckGone();
    return bytes;
}

void QtSerialDevice::WaitForInput(double seconds)
{
    if (seconds <= 0)
        return;
    if (!port_.isOpen()) {
        // Closed or gone: nothing can arrive, so let the time pass quietly.
        Clock::Sleep(seconds);
        return;
    }
    if (port_.bytesAvailable() > 0)
        return;
    const double start = Clock::Now();
    const int ms = std::max(1, static_cast<int>(std::ceil(seconds * 1000.0)));
    if (!port_.waitForReadyRead(ms) && CheckGone())
        Clock::Sleep(seconds - (Clock::Now() - start));
}

void QtSerialDevice::Drain()
{
    // Qt's own buffer first, then the operating system's: a close or a rate
    // change before the line has sent its bytes would lose or garble them.
    while (port_.bytesToWrite() > 0) {
        if (!port_.waitForBytesWritten(static_cast<int>(std::chrono::milliseconds(Timing::kWriteBufferWait).count())))
            break;
    }
#ifdef _WIN32
    FlushFileBuffers(reinterpret_cast<HANDLE>(port_.handle()));
#else
    tcdrain(port_.handle());
#endif
    // Some devices report drained as soon as the bytes left the driver (a
    // pseudo-terminal, some USB adapters) while the line still carries them.
    // Wait out the line time of what was written, as a real UART's drain does.
    const double remaining = lineFreeAt_ - Clock::Now();
    if (remaining > 0)
        Clock::Sleep(remaining);
}

bool QtSerialDevice::CheckGone()
{
    const QSerialPort::SerialPortError error = port_.error();
    // An adapter pulled out shows as a resource error or, on some systems, as a
    // read error that repeats for ever.
    if (error == QSerialPort::ResourceError || error == QSerialPort::ReadError
        || error == QSerialPort::WriteError || error == QSerialPort::PermissionError) {
        // The device vanished under the open port (adapter unplugged). Drop the
        // handle so nothing keeps failing in a loop; the control still counts
        // the port as open until it is closed, and the next opening starts afresh.
        port_.close();
        port_.clearError();
        gone_ = true;
        return true;
    }
    if (error != QSerialPort::NoError)
        port_.clearError();
    return false;
}
