#include "harness/PtySim.h"

#include <QDir>

namespace {
VarnexSim::PtyReceiverSim::Options At(const QString& folder, int com, VarnexSim::ModelOptions model, const QString& stableName)
{
    if (model.flashPath.isEmpty()) // the flash image inside the ports folder unless named
        model.flashPath = QDir(folder).filePath(QStringLiteral("sim-flash-com%1.json").arg(com));
    return {folder, com, model, stableName.isEmpty() ? QString() : QDir(folder).filePath(stableName)};
}
} // namespace

PtySim::PtySim(int com, const VarnexSim::ModelOptions& options, const QString& stableName)
    : PtyReceiverSim(At(folder_.Path(), com, options, stableName))
{
    started_ = folder_.IsValid() && Start(error_);
}

void PtySim::SetRunning(const VarnexSim::ReceiverConfig& config)
{
    WithModel([&](VarnexSim::ReceiverModel& m) { m.SetRunning(config); });
}

VarnexSim::ReceiverConfig PtySim::Running()
{
    return WithModel([](VarnexSim::ReceiverModel& m) { return m.Running(); });
}
