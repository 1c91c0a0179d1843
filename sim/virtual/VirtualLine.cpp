#include "sim/virtual/VirtualLine.h"

#include "support/Clock.h"

#include <QDir>

namespace VarnexSim {
namespace {

// No listener has this rate: output taken at it is thrown away.
constexpr qint32 kNotListening = -1;

class VirtualDevice final : public SerialDevice {
public:
    VirtualDevice(std::shared_ptr<ReceiverModel> model, QStringList paths, std::shared_ptr<LineHooks> hooks)
        : model_(std::move(model)), paths_(std::move(paths)), hooks_(std::move(hooks))
    {
    }
    ~VirtualDevice() override { Close(); }

    bool Open(const QString& path, qint32 baud, QString& error) override
    {
        const double now = Clock::Now();
        if (open_ || !paths_.contains(QDir::cleanPath(path)) || model_->LinkGone(now)) {
            error = QStringLiteral("%1: cannot open").arg(path);
            return false;
        }
        model_->TakeOutput(kNotListening, now); // what left the line while closed is lost
        unplugsAtOpen_ = model_->UnplugCount(now);
        baud_ = baud;
        open_ = true;
        return true;
    }
    void Close() override
    {
        if (!open_)
            return;
        Drain();
        open_ = false;
        received_.clear();
    }
    bool IsOpen() const override { return open_; }
    bool SetBaudRate(qint32 baud) override
    {
        if (!open_ || Dead())
            return false;
        Drain();
        Pull(); // bytes already on their way were received at the old rate
        baud_ = baud;
        return true;
    }
    void Write(const QByteArray& bytes) override
    {
        if (!open_ || Dead())
            return;
        hooks_->written += bytes;
        if (hooks_->onWrite)
            hooks_->onWrite(bytes);
        const double now = Clock::Now();
        model_->PcWrite(bytes, baud_, now);
        lineFreeAt_ = std::max(lineFreeAt_, now) + (baud_ > 0 ? bytes.size() * 10.0 / baud_ : 0.0);
    }
    QByteArray ReadAll() override
    {
        Pull();
        hooks_->received += received_;
        return std::exchange(received_, {});
    }
    void WaitForInput(double seconds) override
    {
        const double deadline = Clock::Now() + std::max(0.0, seconds);
        Pull();
        while (received_.isEmpty() && Clock::Now() < deadline) {
            const double now = Clock::Now();
            double next = kInfinity;
            if (open_ && !Dead()) {
                next = model_->NextOutputTime();
                if (!hooks_->arrivals.empty())
                    next = std::min(next, hooks_->arrivals.begin()->first);
            }
            // Sleep to the next byte's arrival; bytes the PC cannot hear (another
            // rate) bring it back here, so the wait never ends early on noise.
            Clock::Sleep((next > now ? std::min(deadline, next) : deadline) - now);
            Pull();
        }
    }
    bool IsGone() const override { return open_ && Dead(); }

private:
    // Opened before the link went away (or it is away now): dead for good,
    // as the handle of an unplugged USB adapter.
    bool Dead() const
    {
        const double now = Clock::Now();
        return model_->LinkGone(now) || model_->UnplugCount(now) != unplugsAtOpen_;
    }
    // A close or a rate change waits until the line has carried what was
    // written, as a real UART's drain does.
    void Drain()
    {
        if (lineFreeAt_ > Clock::Now())
            Clock::Sleep(lineFreeAt_ - Clock::Now());
    }
    void Pull()
    {
        if (!open_ || Dead())
            return;
        const double now = Clock::Now();
        received_.append(model_->TakeOutput(baud_, now));
        auto& arrivals = hooks_->arrivals;
        while (!arrivals.empty() && arrivals.begin()->first <= now)
            received_.append(arrivals.extract(arrivals.begin()).mapped());
    }

    std::shared_ptr<ReceiverModel> model_;
    QStringList paths_;
    std::shared_ptr<LineHooks> hooks_;
    bool open_ = false;
    qint32 baud_ = 0;
    int unplugsAtOpen_ = 0;
    double lineFreeAt_ = 0;
    QByteArray received_;
};

} // namespace

SerialDeviceFactory MakeVirtualDeviceFactory(std::shared_ptr<ReceiverModel> model, QStringList paths,
                                             std::shared_ptr<LineHooks> hooks)
{
    if (!hooks)
        hooks = std::make_shared<LineHooks>();
    for (QString& path : paths)
        path = QDir::cleanPath(path);
    return [model, paths, hooks] { return std::make_unique<VirtualDevice>(model, paths, hooks); };
}

} // namespace VarnexSim
