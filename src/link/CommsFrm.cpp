#include "link/CommsFrm.h"

#include "support/Forms.h"

#include <QApplication>

namespace {
const QString kName = QStringLiteral("CommsFrm");

bool HasWidgets() { return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr; }

SerialControl& WindowlessControl()
{
    static SerialControl control;
    return control;
}
} // namespace

CommsFrm::CommsFrm() { setObjectName(kName); }

CommsFrm* CommsFrm::Load()
{
    if (auto* existing = qobject_cast<CommsFrm*>(Forms::Find(kName)))
        return existing;
    return new CommsFrm;
}

bool CommsFrm::IsLoaded() { return !HasWidgets() || Forms::Find(kName) != nullptr; }

SerialControl& CommsFrm::SerialPort()
{
    if (!HasWidgets())
        return WindowlessControl();
    return Load()->serialPort_;
}

void CommsFrm::Unload()
{
    if (!HasWidgets()) {
        WindowlessControl().SetPortOpen(false);
        return;
    }
    if (auto* holder = qobject_cast<CommsFrm*>(Forms::Find(kName))) {
        holder->serialPort_.SetPortOpen(false);
        Forms::Unload(holder);
    }
}
