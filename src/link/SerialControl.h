#pragma once

#include "link/SerialDevice.h"

#include <QByteArray>
#include <QString>

#include <memory>

// The program's serial control: one PC serial port seen through a small set
// of properties. Every setter returns false and records LastError() when it
// fails; callers that do not care simply ignore the result, and a failed step
// changes nothing.
//
// - CommPort: the PC port number N. Renumbering an open control closes the
//   open port first, so the port list can be rebuilt while a port is open.
// - Handshaking, InputMode: only 0 (no flow control, text input) is used; input
//   always delivers every byte 0x00-0xFF unchanged.
// - Settings: "<rate>,N,8,1"; takes effect at the next opening (at once when open).
// - PortOpen: true opens port CommPort, false closes it after the line has
//   sent everything written.
// - Output: sends the bytes at once, in order. Input: everything received
//   since the last read, removed from the port; empty when nothing waits.
class SerialControl {
public:
    SerialControl();
    ~SerialControl();
    SerialControl(const SerialControl&) = delete;
    SerialControl& operator=(const SerialControl&) = delete;

    bool SetCommPort(int number);
    int CommPort() const { return commPort_; }
    bool SetHandshaking(int mode);
    bool SetInputMode(int mode);
    bool SetSettings(const QString& settings);
    QString Settings() const;
    // The line's rate as a number, for code that does not speak the legacy
    // settings text: the same effect as SetSettings("<baud>,N,8,1").
    bool SetRate(qint32 baud);
    qint32 Rate() const { return baud_; }
    bool SetPortOpen(bool open);
    bool PortOpen() const;
    // True once the device vanished under the open port (adapter unplugged):
    // nothing more can be read or written until it is opened afresh.
    bool PortGone() const;
    bool SetOutput(const QByteArray& bytes);
    QByteArray Input();

    // Blocks until input waits or `seconds` have passed on the program's clock,
    // so reply waits need not spin. Lets the time pass when the port is closed.
    void WaitForInput(double seconds);

    QString LastError() const { return lastError_; }

    // A device path given outright (the command line's `--port /dev/ttyUSB0`):
    // while it is set, opening uses it in place of the path of CommPort.
    // Empty returns to CommPort. Takes effect at the next opening.
    void SetPathOverride(const QString& path) { pathOverride_ = path; }
    // The path the next opening uses.
    QString PortPath() const;

    // The rate of "<rate>,N,8,1", or 0 when the text is not such a setting.
    static qint32 ParseSettings(const QString& settings);
    // How new ports are made (QSerialPort unless a test installs another).
    static void SetDeviceFactory(SerialDeviceFactory factory);

private:
    bool Fail(const QString& error);

    std::unique_ptr<SerialDevice> device_;
    int commPort_ = 1;
    qint32 baud_ = 9600;
    QString lastError_;
    QString pathOverride_;
};
