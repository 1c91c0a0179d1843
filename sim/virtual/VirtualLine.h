#pragma once

#include "link/SerialDevice.h"
#include "sim/ReceiverModel.h"
#include "support/Clock.h"

#include <functional>
#include <map>
#include <memory>

namespace VarnexSim {

// The receiver model on a virtual line, behind the tool's serial device
// interface: the tool's code runs unchanged against it while time is virtual.
// Tests and benchmarks use it; unlike the rest of the simulator it depends on
// the tool's device interface and clock, so it is a library of its own.
//
// What a test adds to the line beside the receiver: bytes that reach the PC at
// given times (replies no well-behaved receiver sends), and a hook that sees
// each write before the receiver does. Shared by every device of one line.
struct LineHooks {
    std::multimap<double, QByteArray> arrivals; // at a time on the program's clock
    std::function<void(const QByteArray&)> onWrite;
    QByteArray written; // everything the PC wrote
    QByteArray received; // everything the PC read
};

// A device factory for the serial control: each device it makes is the
// receiver model behind the device interface, answering opens of `paths` only,
// on the program's clock. A wait for input moves a virtual clock to the next
// byte's arrival (or the end of the wait), so a 5-second time-out costs
// nothing and the receiver's timings hold exactly as on a real line.
SerialDeviceFactory MakeVirtualDeviceFactory(std::shared_ptr<ReceiverModel> model, QStringList paths,
                                             std::shared_ptr<LineHooks> hooks = {});

} // namespace VarnexSim
