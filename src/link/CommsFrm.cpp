#include "link/CommsFrm.h"

#include "support/Forms.h"

namespace {
const QString kName = QStringLiteral("CommsFrm");
}

CommsFrm::CommsFrm() { setObjectName(kName); }

CommsFrm* CommsFrm::Load()
{
    if (auto* existing = qobject_cast<CommsFrm*>(Forms::Find(kName)))
        return existing;
    return new CommsFrm;
}

SerialControl& CommsFrm::SerialPort() { return Load()->serialPort_; }

void CommsFrm::Unload()
{
    if (auto* holder = qobject_cast<CommsFrm*>(Forms::Find(kName))) {
        holder->serialPort_.SetPortOpen(false);
        Forms::Unload(holder);
    }
}
