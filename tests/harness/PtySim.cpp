#include "PtySim.h"

namespace {
constexpr char kPortsVariable[] = "VARNEXCONFIG_PORTS";
}

PtySim::PtySim(int com, const VarnexSim::ModelOptions& options)
    : previousEnv_(qgetenv(kPortsVariable)),
      hadEnv_(qEnvironmentVariableIsSet(kPortsVariable))
{
    VarnexSim::PtyReceiverSim::Options o;
    o.portsDir = dir_.path();
    o.com = com;
    o.model = options;
    if (o.model.flashPath.isEmpty())
        o.model.flashPath = dir_.filePath(QStringLiteral("sim-flash-com%1.json").arg(com));
    sim_ = std::make_unique<VarnexSim::PtyReceiverSim>(o);
    if (!dir_.isValid()) {
        error_ = QStringLiteral("cannot create a temporary ports folder");
        return;
    }
    started_ = sim_->Start(error_);
    qputenv(kPortsVariable, dir_.path().toLocal8Bit());
}

PtySim::~PtySim()
{
    sim_->Stop();
    if (hadEnv_)
        qputenv(kPortsVariable, previousEnv_);
    else
        qunsetenv(kPortsVariable);
}

void PtySim::SetRunning(const VarnexSim::ReceiverConfig& config)
{
    sim_->WithModel([&](VarnexSim::ReceiverModel& m) { m.SetRunning(config); });
}

VarnexSim::ReceiverConfig PtySim::Running()
{
    return sim_->WithModel([](VarnexSim::ReceiverModel& m) { return m.Running(); });
}
