#pragma once

// The simulator's tests' view of one link: a receiver model on a virtual
// line behind the tool's serial device interface, and listening to it.
#include "sim/virtual/VirtualLine.h"
#include "support/Clock.h"

#include <memory>

namespace SimTest {

using namespace VarnexSim;

// A receiver (with every output off when `quiet`), and a PC port opened on it
// at `baud`, on a virtual clock that the caller keeps for the test's length.
struct Link {
    explicit Link(const ModelOptions& options = {}, qint32 baud = 9600, bool quiet = true)
        : model(std::make_shared<ReceiverModel>(options, clock.Now()))
    {
        if (quiet) {
            ReceiverConfig config = model->Running();
            config.msgRates.clear();
            model->SetRunning(config);
        }
        const QString path = QStringLiteral("/nowhere/com1");
        device = MakeVirtualDeviceFactory(model, {path})();
        QString error;
        opened = device->Open(path, baud, error);
    }
    Clock::VirtualClock clock;
    Clock::ScopedClock use{&clock};
    std::shared_ptr<ReceiverModel> model;
    std::unique_ptr<SerialDevice> device;
    bool opened = false;
};

// What a PC hears on `device` in the next `seconds` of virtual time.
inline QByteArray Listen(SerialDevice& device, double seconds)
{
    const double end = Clock::Now() + seconds;
    QByteArray heard;
    while (Clock::Now() < end) {
        device.WaitForInput(end - Clock::Now());
        heard += device.ReadAll();
    }
    return heard;
}

// Seconds until `expected` has been heard whole (-1 if not within `limit`);
// everything heard goes to `heard`.
inline double Until(SerialDevice& device, const QByteArray& expected, double limit, QByteArray& heard)
{
    const double start = Clock::Now();
    const double end = start + limit;
    while (!heard.contains(expected) && Clock::Now() < end) {
        device.WaitForInput(end - Clock::Now());
        heard += device.ReadAll();
    }
    return heard.contains(expected) ? Clock::Now() - start : -1;
}

} // namespace SimTest
