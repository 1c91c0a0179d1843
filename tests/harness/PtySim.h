#pragma once

#include "harness/PtyPair.h"
#include "sim/PtyReceiverSim.h"

// A simulated receiver on a real pseudo-terminal for the length of a test:
// a temporary ports folder named in VARNEXCONFIG_PORTS, the receiver mapped
// there as comN and served from its own thread. Everything (thread, pty,
// link, folder, environment) is undone on destruction.
struct PtySimFolder {
    TempPortsFolder folder_;
};

class PtySim : private PtySimFolder, public VarnexSim::PtyReceiverSim {
public:
    // `stableName`: a link of the simulator's own between comN and the pty
    // (PtyReceiverSim::Options::stableName), made in the ports folder.
    explicit PtySim(int com = 1, const VarnexSim::ModelOptions& options = {}, const QString& stableName = {});

    bool IsValid() const { return started_; }
    QString Error() const { return error_; }
    QString PortsFolder() const { return folder_.Path(); }
    VarnexSim::PtyReceiverSim& Sim() { return *this; }
    // The running configuration (e.g. to start without NMEA output).
    void SetRunning(const VarnexSim::ReceiverConfig& config);
    VarnexSim::ReceiverConfig Running();

private:
    bool started_ = false;
    QString error_;
};
