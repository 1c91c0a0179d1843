#include "app/MainActions.h"

#include "link/CommsFrm.h"
#include "link/SelectedPort.h"
#include "nmea_setup/ShowNmeaSetup.h"
#include "profiles/SetupOutputs.h"
#include "receiver_config/VarnexCommsRoutines.h"
#include "support/Cancel.h"
#include "support/MessageBox.h"
#include "support/SupportFunctions.h"

#include <cmath>

namespace MainActions {
namespace {

// The device of button `index`, or nullptr for an index no button has.
const SetupOutputs::Profile* DeviceAt(int index)
{
    const auto profiles = SetupOutputs::Profiles();
    if (index < 0 || static_cast<std::size_t>(index) >= profiles.size())
        return nullptr;
    return &profiles[static_cast<std::size_t>(index)];
}

void ClosePortIfOpen()
{
    SerialControl& port = CommsFrm::SerialPort();
    if (port.PortOpen())
        port.SetPortOpen(false);
}

} // namespace

void TakePort(const QString& portEntry)
{
    SelectedPort = static_cast<std::int32_t>(std::floor(SupportFunctions::ExtractNumber(portEntry)));
}

void SetAllOutputs(const QString& portEntry, int index)
{
    TakePort(portEntry);
    if (const SetupOutputs::Profile* device = DeviceAt(index))
        SetupOutputs::RunProfile(*device, CommsFrm::SerialPort(), SelectedPort);
    // Whatever the outcome, the port is free again after a configuration run.
    ClosePortIfOpen();
}

void SetNmeaOutput(const QString& portEntry, int index, const std::function<bool()>& closeRequested)
{
    TakePort(portEntry);
    bool found = false;
    {
        // With no receiver answering the search takes minutes: the operator's
        // close gives it up at its next wait.
        const Cancel::Scope search;
        found = VarnexCommsRoutines::FindBaudAndOpenPort();
    }
    // The NMEA setup window takes over the open port and replaces this window,
    // unless the operator asked meanwhile to end the program. A failed search
    // leaves the port open at its last rate: it is closed here, so that the
    // next action opens it afresh.
    const SetupOutputs::Profile* device = DeviceAt(index);
    if (!found || !device || closeRequested() || !NmeaSetup::ShowNmeaSetup(device->nmeaPort, closeRequested))
        ClosePortIfOpen();
}

void Reflash(const QString& portEntry, int /*index*/)
{
    TakePort(portEntry);
    if (VarnexCommsRoutines::ReflashGps(SelectedPort))
        MessageBox::Show(QStringLiteral("The configuration will have been reset, please set it up for the device"));
}

} // namespace MainActions
