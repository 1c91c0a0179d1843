#include "nmea_setup/ShowNmeaSetup.h"

#include "link/CommsFrm.h"
#include "nmea_setup/SetupScreenfrm.h"
#include "support/Forms.h"

#include <QPointer>

namespace NmeaSetup {

bool ShowNmeaSetup(std::int32_t receiverPort, const std::function<bool()>& abandoned)
{
    // The port is set before loading: loading already polls the receiver on it.
    QPointer<SetupScreenfrm> window = SetupScreenfrm::Load(receiverPort);
    CommsFrm::Load();
    if (abandoned && abandoned()) {
        // Without a close event: the window's close handler would bring the
        // main window back, which is on its way out.
        Forms::Unload(window);
        return false;
    }
    if (window && !Forms::IsUnloaded(window))
        window->show();
    // Unloaded without a close event: the main window's close handler would
    // treat a close as the operator's and take the serial control with it.
    Forms::Unload(Forms::Find(QStringLiteral("CommSetup")));
    return true;
}

} // namespace NmeaSetup
