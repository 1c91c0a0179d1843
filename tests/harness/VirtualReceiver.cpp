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

namespace {

// The model's device, noting the rate the PC last set on the line, whichever
// serial control set it (the command line's own port is gone after its run).
class RateNoted final : public SerialDevice {
public:
    RateNoted(std::unique_ptr<SerialDevice> device, std::shared_ptr<qint32> rate) : device_(std::move(device)), rate_(std::move(rate)) {}
    bool Open(const QString& path, qint32 baud, QString& error) override
    {
        const bool opened = device_->Open(path, baud, error);
        if (opened)
            *rate_ = baud;
        return opened;
    }
    void Close() override { device_->Close(); }
    bool IsOpen() const override { return device_->IsOpen(); }
    bool SetBaudRate(qint32 baud) override
    {
        const bool set = device_->SetBaudRate(baud);
        if (set)
            *rate_ = baud;
        return set;
    }
    void Write(const QByteArray& bytes) override { device_->Write(bytes); }
    QByteArray ReadAll() override { return device_->ReadAll(); }
    void WaitForInput(double seconds) override { device_->WaitForInput(seconds); }
    bool IsGone() const override { return device_->IsGone(); }

private:
    std::unique_ptr<SerialDevice> device_;
    std::shared_ptr<qint32> rate_;
};

} // namespace

SerialDeviceFactory VirtualReceiver::Devices() const
{
    QStringList paths;
    for (int com : coms_)
        paths << PortNames::PathFor(com);
    return [devices = VarnexSim::MakeVirtualDeviceFactory(model_, paths, hooks_), rate = pcRate_] {
        return std::unique_ptr<SerialDevice>(std::make_unique<RateNoted>(devices(), rate));
    };
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

qint32 VirtualReceiver::PcRate() const { return *pcRate_; }
