#include "PtySim.h"

#include <QDir>

PtySim::PtySim(int com, const VarnexSim::ModelOptions& options)
{
    VarnexSim::PtyReceiverSim::Options o;
    o.portsDir = folder_.Path();
    o.com = com;
    o.model = options;
    if (o.model.flashPath.isEmpty())
        o.model.flashPath = QDir(folder_.Path()).filePath(QStringLiteral("sim-flash-com%1.json").arg(com));
    sim_ = std::make_unique<VarnexSim::PtyReceiverSim>(o);
    if (!folder_.IsValid()) {
        error_ = QStringLiteral("cannot create a temporary ports folder");
        return;
    }
    started_ = sim_->Start(error_);
}

PtySim::~PtySim() { sim_->Stop(); }

void PtySim::SetRunning(const VarnexSim::ReceiverConfig& config)
{
    sim_->WithModel([&](VarnexSim::ReceiverModel& m) { m.SetRunning(config); });
}

VarnexSim::ReceiverConfig PtySim::Running()
{
    return sim_->WithModel([](VarnexSim::ReceiverModel& m) { return m.Running(); });
}
