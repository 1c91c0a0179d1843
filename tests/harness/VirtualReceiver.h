#pragma once

#include "harness/GoldenFrames.h"
#include "harness/PtyPair.h"
#include "link/SerialDevice.h"
#include "sim/virtual/VirtualLine.h"
#include "sim/ReceiverModel.h"
#include "support/Clock.h"

#include <QStringList>

#include <functional>
#include <memory>
#include <utility>

// The simulated receiver wired to PC port `com` (1 unless given) in virtual
// time: the serial control's devices are the simulator's model, the clock is
// virtual, and SelectedPort is `com`. A 5-second time-out costs microseconds
// and behaves as on a real line. Everything is undone on destruction.
class VirtualReceiver {
public:
    explicit VirtualReceiver(const VarnexSim::ModelOptions& options = {}, int com = 1);
    ~VirtualReceiver();
    VirtualReceiver(const VirtualReceiver&) = delete;
    VirtualReceiver& operator=(const VirtualReceiver&) = delete;

    VarnexSim::ReceiverModel& Model() { return *model_; }
    // The devices this receiver answers on, for a test that counts its opens.
    SerialDeviceFactory Devices() const;
    // The receiver answers on PC port `com` too, as if wired to both.
    void AlsoOn(int com);
    void SetFaults(const VarnexSim::Faults& faults) { model_->SetFaults(faults); }
    // No periodic output: what the PC hears is the answers alone.
    void Quiet();
    // Virtual seconds since the receiver was wired up.
    double Elapsed() { return Clock::Now() - start_; }
    // Lets `seconds` of virtual time pass with nothing happening on the port.
    void Idle(double seconds) { clock_.virtualClock.Advance(seconds); }

    // Bytes that reach the PC `at` seconds after wiring, beside the receiver's own.
    void Arrive(double at, const QByteArray& bytes) { hooks_->arrivals.emplace(start_ + at, bytes); }
    // Runs `hook` on each write of the PC, before the receiver takes it in.
    void OnWrite(std::function<void(const QByteArray&)> hook) { hooks_->onWrite = std::move(hook); }
    // Everything the PC wrote, at any rate.
    const QByteArray& Written() const { return hooks_->written; }
    // Everything the PC read.
    const QByteArray& Received() const { return hooks_->received; }
    // Added to every reading of the clock from now on (e.g. the length of a
    // program run that virtual time does not see).
    void ShiftClock(std::function<double()> shift) { clock_.shift = std::move(shift); }
    // Runs `hook` once, at the first reading of the clock `at` seconds or more after wiring.
    void At(double at, std::function<void()> hook)
    {
        clock_.hookAt = start_ + at;
        clock_.hook = std::move(hook);
    }

    // Every frame the receiver understood, as upper-case hex without spaces.
    QStringList Frames() const;
    // The same, only those of one class and id.
    QStringList Frames(int msgClass, int msgId) const;
    // How many bytes the PC sent at each rate, in the order the rates were used.
    QList<QPair<qint32, qsizetype>> BytesByRate() const;
    // The rate the PC last set its port to, on whichever control.
    qint32 PcRate() const;

private:
    struct ShiftedClock final : Clock::Source {
        Clock::VirtualClock virtualClock;
        std::function<double()> shift;
        double hookAt = 0;
        std::function<void()> hook;
        double Now() override
        {
            const double now = virtualClock.Now() + (shift ? shift() : 0.0);
            if (hook && now >= hookAt)
                std::exchange(hook, {})();
            return now;
        }
        void Sleep(double seconds) override { virtualClock.Sleep(seconds); }
    };
    ShiftedClock clock_;
    Clock::ScopedClock use_{&clock_};
    TempPortsFolder folder_;
    std::shared_ptr<VarnexSim::LineHooks> hooks_ = std::make_shared<VarnexSim::LineHooks>();
    std::shared_ptr<VarnexSim::ReceiverModel> model_;
    std::shared_ptr<qint32> pcRate_ = std::make_shared<qint32>(0);
    double start_;
    QList<int> coms_;
};
