#pragma once

#include "harness/PtyPair.h"
#include "link/SerialDevice.h"
#include "sim/ReceiverModel.h"
#include "support/Clock.h"

#include <QStringList>

#include <memory>

// The simulated receiver wired to PC port `com` (1 unless given) in virtual
// time: the serial control's devices are the simulator's model, the clock is
// virtual, and SelectedPort is `com`. A 5-second time-out costs microseconds and behaves as on
// a real line. Everything is undone on destruction.
class VirtualReceiver {
public:
    explicit VirtualReceiver(const VarnexSim::ModelOptions& options = {}, int com = 1);
    ~VirtualReceiver();
    VirtualReceiver(const VirtualReceiver&) = delete;
    VirtualReceiver& operator=(const VirtualReceiver&) = delete;

    VarnexSim::ReceiverModel& Model() { return *model_; }
    // The devices this receiver answers on, for a test that wires up more than one.
    SerialDeviceFactory Devices() const;
    void SetFaults(const VarnexSim::Faults& faults) { model_->SetFaults(faults); }
    // Virtual seconds since the receiver was wired up.
    double Elapsed() { return clock_.Now() - start_; }
    // Lets `seconds` of virtual time pass with nothing happening on the port.
    void Idle(double seconds) { clock_.Advance(seconds); }

    // Every frame the receiver understood, as upper-case hex without spaces.
    QStringList Frames() const;
    // The same, only those of one class and id.
    QStringList Frames(int msgClass, int msgId) const;
    // How many bytes the PC sent at each rate, in the order the rates were used.
    QList<QPair<qint32, qsizetype>> BytesByRate() const;
    // The rate the PC port is set to.
    qint32 PcRate() const;

private:
    Clock::VirtualClock clock_;
    Clock::ScopedClock use_{&clock_};
    TempPortsFolder folder_;
    std::shared_ptr<VarnexSim::ReceiverModel> model_;
    double start_;
    int com_;
};

// Upper-case hex without spaces of a literal written with spaces: "B5 62 06 08" -> "B5620608".
QString HexFrame(const char* spaced);
