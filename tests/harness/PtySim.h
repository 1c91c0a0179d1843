#pragma once

#include "harness/PtyPair.h"
#include "sim/PtyReceiverSim.h"

#include <QByteArray>
#include <QString>

#include <memory>

// A simulated receiver on a real pseudo-terminal for the length of a test:
// a temporary ports folder named in VARNEXCONFIG_PORTS, the receiver mapped
// there as comN and served from its own thread. Everything (thread, pty,
// link, folder, environment) is undone on destruction.
class PtySim {
public:
    explicit PtySim(int com = 1, const VarnexSim::ModelOptions& options = {});
    ~PtySim();
    PtySim(const PtySim&) = delete;
    PtySim& operator=(const PtySim&) = delete;

    bool IsValid() const { return started_; }
    QString Error() const { return error_; }
    QString PortsFolder() const { return folder_.Path(); }
    // Absolute path of comN, the name to give QSerialPort.
    QString DevicePath() const { return sim_->DevicePath(); }
    // The flash image file, inside the ports folder unless the options named one.
    QString FlashPath() const { return sim_->FlashPath(); }

    VarnexSim::PtyReceiverSim& Sim() { return *sim_; }
    std::vector<VarnexSim::TranscriptEntry> Transcript() const { return sim_->Transcript(); }
    QStringList FramesFromPc() const { return sim_->FramesFromPc(); }
    VarnexSim::Faults Faults() const { return sim_->GetFaults(); }
    void SetFaults(const VarnexSim::Faults& faults) { sim_->SetFaults(faults); }
    // Replaces the running configuration (e.g. to start without NMEA output).
    void SetRunning(const VarnexSim::ReceiverConfig& config);
    VarnexSim::ReceiverConfig Running();
    void Unplug() { sim_->Unplug(); }
    void Replug() { sim_->Replug(); }
    // Stops the receiver early (the destructor does it otherwise).
    void Stop() { sim_->Stop(); }

private:
    TempPortsFolder folder_;
    std::unique_ptr<VarnexSim::PtyReceiverSim> sim_;
    bool started_ = false;
    QString error_;
};
