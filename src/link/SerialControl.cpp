#include "link/SerialControl.h"

#include "link/PortNames.h"
#include "link/QtSerialDevice.h"
#include "support/Clock.h"

#include <QStringList>

namespace {

SerialDeviceFactory& Factory()
{
    static SerialDeviceFactory factory;
    return factory;
}

std::unique_ptr<SerialDevice> MakeDevice()
{
    if (Factory())
        return Factory()();
    return std::make_unique<QtSerialDevice>();
}

constexpr int kHighestPort = 255;

} // namespace

SerialControl::SerialControl() = default;

SerialControl::~SerialControl() { SetPortOpen(false); }

void SerialControl::SetDeviceFactory(SerialDeviceFactory factory) { Factory() = std::move(factory); }

bool SerialControl::Fail(const QString& error)
{
    lastError_ = error;
    return false;
}

bool SerialControl::SetCommPort(int number)
{
    if (number < 1 || number > kHighestPort)
        return Fail(QStringLiteral("Invalid port number %1").arg(number));
    if (PortOpen())
        SetPortOpen(false);
    commPort_ = number;
    return true;
}

bool SerialControl::SetHandshaking(int mode)
{
    if (mode != 0)
        return Fail(QStringLiteral("Only handshaking 0 (none) is supported"));
    return true;
}

bool SerialControl::SetInputMode(int mode)
{
    if (mode != 0 && mode != 1)
        return Fail(QStringLiteral("Invalid input mode %1").arg(mode));
    // Text and binary input both deliver every byte unchanged.
    return true;
}

qint32 SerialControl::ParseSettings(const QString& settings)
{
    const QStringList parts = settings.trimmed().split(u',');
    if (parts.size() != 4 || parts[1].compare(QStringLiteral("N"), Qt::CaseInsensitive) != 0
        || parts[2] != QStringLiteral("8") || parts[3] != QStringLiteral("1"))
        return 0;
    bool ok = false;
    const qint32 rate = parts[0].toInt(&ok);
    return (ok && rate > 0) ? rate : 0;
}

bool SerialControl::SetSettings(const QString& settings)
{
    const qint32 rate = ParseSettings(settings);
    if (rate == 0)
        return Fail(QStringLiteral("Invalid settings \"%1\"").arg(settings));
    return SetRate(rate);
}

bool SerialControl::SetRate(qint32 baud)
{
    if (baud <= 0)
        return Fail(QStringLiteral("Invalid rate %1").arg(baud));
    baud_ = baud;
    if (device_ && device_->IsOpen() && !device_->SetBaudRate(baud))
        return Fail(QStringLiteral("Cannot set %1 bit/s").arg(baud));
    return true;
}

QString SerialControl::Settings() const { return QStringLiteral("%1,N,8,1").arg(baud_); }

bool SerialControl::PortOpen() const { return device_ && device_->IsOpen(); }

bool SerialControl::PortGone() const { return device_ && device_->IsGone(); }

bool SerialControl::SetPortOpen(bool open)
{
    if (!open) {
        if (device_)
            device_->Close();
        device_.reset();
        return true;
    }
    if (PortOpen() && !device_->IsGone())
        return Fail(QStringLiteral("Port already open"));
    // A device that vanished under the open port is dropped and opened afresh.
    SetPortOpen(false);
    const QString path = PortPath();
    if (path.isEmpty())
        return Fail(QStringLiteral("No serial port %1").arg(commPort_));
    auto device = MakeDevice();
    QString error;
    if (!device->Open(path, baud_, error))
        return Fail(QStringLiteral("%1: %2").arg(path, error));
    device_ = std::move(device);
    return true;
}

QString SerialControl::PortPath() const
{
    return pathOverride_.isEmpty() ? PortNames::PathFor(commPort_) : pathOverride_;
}

bool SerialControl::SetOutput(const QByteArray& bytes)
{
    if (!PortOpen())
        return Fail(QStringLiteral("Port is closed"));
    device_->Write(bytes);
    return true;
}

QByteArray SerialControl::Input()
{
    if (!PortOpen())
        return {};
    return device_->ReadAll();
}

void SerialControl::WaitForInput(double seconds)
{
    if (PortOpen())
        device_->WaitForInput(seconds);
    else
        Clock::Sleep(seconds);
}
