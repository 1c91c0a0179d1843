#include "app/MainActions.h"

#include "link/CommsFrm.h"
#include "link/SelectedPort.h"
#include "nmea_setup/ShowNmeaSetup.h"
#include "profiles/SetupOutputs.h"
#include "receiver_config/VarnexCommsRoutines.h"
#include "support/MessageBox.h"
#include "support/SupportFunctions.h"

#include <array>
#include <cmath>

namespace MainActions {
namespace {

// Button index to device: 0 Sculla, 1 Pemmet, 2 Molvane, 3 Garnock, 4 Trissel.
constexpr std::array<void (*)(), 5> kDeviceSetups = {
    SetupOutputs::SetupSculla, SetupOutputs::SetupPemmet, SetupOutputs::SetupMolvane,
    SetupOutputs::SetupGarnock, SetupOutputs::SetupTrissel};

// The receiver port that carries each device's NMEA output.
constexpr std::array<std::int32_t, 5> kNmeaReceiverPorts = {1, 1, 2, 1, 2};

bool ValidIndex(int index) { return index >= 0 && index < 5; }

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
    if (ValidIndex(index))
        kDeviceSetups[index]();
    // Whatever the outcome, the port is free again after a configuration run.
    ClosePortIfOpen();
}

void SetNmeaOutput(const QString& portEntry, int index, const std::function<bool()>& closeRequested)
{
    TakePort(portEntry);
    // A failed search leaves the port open at its last rate: it is closed here,
    // so that the next action opens it afresh.
    if (!VarnexCommsRoutines::FindBaudAndOpenPort() || !ValidIndex(index) || closeRequested()) {
        ClosePortIfOpen();
        return;
    }
    // The NMEA setup window takes over the open port and replaces this window.
    SetupOutputs::ShowNmeaSetup(kNmeaReceiverPorts[index]);
}

void Reflash(const QString& portEntry, int /*index*/)
{
    TakePort(portEntry);
    if (VarnexCommsRoutines::ReflashGps(SelectedPort))
        MessageBox::Show(QStringLiteral("The configuration will have been reset, please set it up for the device"));
}

} // namespace MainActions
