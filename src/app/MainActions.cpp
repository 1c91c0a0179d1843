#include "app/MainActions.h"

#include "link/SelectedPort.h"
#include "support/SupportFunctions.h"

#include <cmath>

namespace MainActions {

void TakePort(const QString& portEntry)
{
    SelectedPort = static_cast<std::int32_t>(std::floor(SupportFunctions::ExtractNumber(portEntry)));
}

void SetAllOutputs(const QString& portEntry, int /*index*/) { TakePort(portEntry); }

void SetNmeaOutput(const QString& portEntry, int /*index*/) { TakePort(portEntry); }

void Reflash(const QString& portEntry, int /*index*/) { TakePort(portEntry); }

} // namespace MainActions
