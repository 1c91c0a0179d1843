#include "harness/VirtualReceiver.h"

#include "link/CommsFrm.h"
#include "link/PortNames.h"
#include "link/SelectedPort.h"

VirtualReceiver::VirtualReceiver(const VarnexSim::ModelOptions& options, int com)
    : model_(std::make_shared<VarnexSim::ReceiverModel>(options, clock_.Now())), start_(clock_.Now()), coms_{com}
{
    SerialControl::SetDeviceFactory(Devices());
    SelectedPort = com;
    CommsFrm::SerialPort().SetCommPort(com);
}

VirtualReceiver::~VirtualReceiver()
{
    CommsFrm::SerialPort().SetPortOpen(false);
    SerialControl::SetDeviceFactory({});
}

SerialDeviceFactory VirtualReceiver::Devices() const
{
    QStringList paths;
    for (int com : coms_)
        paths << PortNames::PathFor(com);
    return VarnexSim::MakeVirtualDeviceFactory(model_, paths, hooks_);
}

void VirtualReceiver::AlsoOn(int com)
{
    coms_ << com;
    SerialControl::SetDeviceFactory(Devices());
}

void VirtualReceiver::Quiet()
{
    VarnexSim::ReceiverConfig config = model_->Running();
    config.msgRates.clear();
    model_->SetRunning(config);
}

QStringList VirtualReceiver::Frames() const { return Frames(-1, -1); }

QStringList VirtualReceiver::Frames(int msgClass, int msgId) const
{
    QStringList frames;
    for (const auto& e : model_->GetTranscript().Entries()) {
        if (e.IsFrameFromPc() && (msgClass < 0 || (e.cls == msgClass && e.id == msgId)))
            frames << QString::fromLatin1(e.bytes.toHex().toUpper());
    }
    return frames;
}

QList<QPair<qint32, qsizetype>> VirtualReceiver::BytesByRate() const
{
    QList<QPair<qint32, qsizetype>> runs;
    for (const auto& e : model_->GetTranscript().Entries()) {
        if (e.dir != VarnexSim::TranscriptEntry::Direction::FromPc)
            continue;
        if (runs.isEmpty() || runs.last().first != e.pcBaud)
            runs.append({e.pcBaud, 0});
        runs.last().second += e.bytes.size();
    }
    return runs;
}

qint32 VirtualReceiver::PcRate() const { return SerialControl::ParseSettings(CommsFrm::SerialPort().Settings()); }
