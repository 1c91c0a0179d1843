#include "harness/ScriptedLine.h"

#include <algorithm>

class ScriptedDevice final : public SerialDevice {
public:
    explicit ScriptedDevice(ScriptedLine& line) : line_(line) {}
    bool Open(const QString&, qint32, QString&) override
    {
        open_ = true;
        ++line_.opens;
        return true;
    }
    void Close() override { open_ = false; }
    bool IsOpen() const override { return open_; }
    bool SetBaudRate(qint32) override { return open_; }
    void Write(const QByteArray& bytes) override
    {
        if (open_ && !line_.Gone())
            line_.written += bytes;
    }
    QByteArray ReadAll() override { return (open_ && !line_.Gone()) ? line_.TakeDue() : QByteArray(); }
    void WaitForInput(double seconds) override
    {
        const double now = line_.clock_.Now();
        const double until = (open_ && !line_.Gone()) ? std::min(now + seconds, line_.NextArrival()) : now + seconds;
        line_.clock_.AdvanceTo(until);
    }
    bool IsGone() const override { return line_.Gone(); }

private:
    ScriptedLine& line_;
    bool open_ = false;
};

SerialDeviceFactory ScriptedLine::Factory()
{
    return [this] { return std::make_unique<ScriptedDevice>(*this); };
}

QByteArray ScriptedLine::TakeDue()
{
    QByteArray due;
    const double now = clock_.Now();
    while (!pending_.empty() && pending_.begin()->first <= now) {
        due += pending_.begin()->second;
        pending_.erase(pending_.begin());
    }
    return due;
}
