#include "SimDevice.h"

#include <QDir>

// No listener has this rate: output taken at it is thrown away.
static constexpr qint32 kNotListening = -1;

SimDevice::SimDevice(std::shared_ptr<VarnexSim::ReceiverModel> model, QString path)
    : model_(std::move(model)),
      path_(QDir::cleanPath(path))
{
}

SimDevice::~SimDevice() { Close(); }

// The port was opened before the link went away (or it is away now): the
// handle is dead for good, as with an unplugged USB adapter.
bool SimDevice::Dead() const
{
    const double now = Clock::Now();
    return model_->LinkGone(now) || model_->UnplugCount(now) != unplugsAtOpen_;
}

bool SimDevice::Open(const QString& path, qint32 baud, QString& error)
{
    if (open_) {
        error = QStringLiteral("%1 is already open").arg(path);
        return false;
    }
    const double now = Clock::Now();
    if (QDir::cleanPath(path) != path_ || model_->LinkGone(now)) {
        error = QStringLiteral("%1: No such file or directory").arg(path);
        return false;
    }
    model_->TakeOutput(kNotListening, now); // what left the line while closed is lost
    unplugsAtOpen_ = model_->UnplugCount(now);
    baud_ = baud;
    open_ = true;
    received_.clear();
    return true;
}

// A close or a rate change waits until the line has carried what was written,
// as a real UART's drain does (and as the product's device does).
void SimDevice::Drain()
{
    const double remaining = lineFreeAt_ - Clock::Now();
    if (remaining > 0)
        Clock::Sleep(remaining);
}

void SimDevice::Close()
{
    if (!open_)
        return;
    Drain();
    open_ = false;
    received_.clear();
}

bool SimDevice::SetBaudRate(qint32 baud)
{
    if (!open_ || Dead())
        return false;
    Drain();
    Pull(); // bytes already on their way were received at the old rate
    baud_ = baud;
    return true;
}

void SimDevice::Write(const QByteArray& bytes)
{
    if (!open_ || Dead())
        return;
    const double now = Clock::Now();
    model_->PcWrite(bytes, baud_, now);
    lineFreeAt_ = std::max(lineFreeAt_, now) + (baud_ > 0 ? bytes.size() * 10.0 / baud_ : 0.0);
}

void SimDevice::Pull()
{
    if (open_ && !Dead())
        received_.append(model_->TakeOutput(baud_, Clock::Now()));
}

QByteArray SimDevice::ReadAll()
{
    Pull();
    QByteArray out;
    out.swap(received_);
    return out;
}

void SimDevice::WaitForInput(double seconds)
{
    const double deadline = Clock::Now() + std::max(0.0, seconds);
    Pull();
    while (received_.isEmpty() && Clock::Now() < deadline) {
        const double now = Clock::Now();
        const double next = open_ && !Dead() ? model_->NextOutputTime() : VarnexSim::kInfinity;
        // Sleep to the next byte's arrival; bytes the PC cannot hear (another
        // rate) bring it back here, so the wait never ends early on noise.
        const double target = next > now ? std::min(deadline, next) : deadline;
        Clock::Sleep(target - now);
        Pull();
    }
}

bool SimDevice::IsGone() const { return open_ && Dead(); }

SerialDeviceFactory MakeSimDeviceFactory(std::shared_ptr<VarnexSim::ReceiverModel> model, QString path)
{
    return [model, path] { return std::make_unique<SimDevice>(model, path); };
}
