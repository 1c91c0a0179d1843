#pragma once

#include <QByteArray>
#include <QString>

#include <memory>
#include <functional>

// What the serial control needs from a port: open a path at a rate, move the
// rate, write bytes, read what has arrived, and block until something arrives.
// The product uses QSerialPort (QtSerialDevice); virtual-time tests put the
// receiver simulator's model behind the same interface.
class SerialDevice {
public:
    virtual ~SerialDevice() = default;

    // Opens `path` at `baud` bit/s, 8 data bits, no parity, 1 stop bit, no
    // flow control. False with `error` filled when the port cannot be used.
    virtual bool Open(const QString& path, qint32 baud, QString& error) = 0;
    // Waits until every byte written has left, then closes. No effect when closed.
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    // Changes the rate of an open port, after the bytes already written have left.
    virtual bool SetBaudRate(qint32 baud) = 0;
    // Hands the bytes to the operating system at once, in order.
    virtual void Write(const QByteArray& bytes) = 0;
    // Everything received so far, removed from the device; empty when nothing waits.
    virtual QByteArray ReadAll() = 0;
    // Blocks until input is waiting or `seconds` have passed on the program's
    // clock. A device that has gone away lets the time pass without spinning.
    virtual void WaitForInput(double seconds) = 0;
    // True once the device vanished under an open port (adapter unplugged).
    virtual bool IsGone() const = 0;
};

using SerialDeviceFactory = std::function<std::unique_ptr<SerialDevice>()>;
