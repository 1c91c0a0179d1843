#include "support/EventPump.h"

#include <QCoreApplication>

namespace EventPump {
namespace {

int g_guarded = 0;

} // namespace

void PumpEvents()
{
    if (QCoreApplication::instance())
        QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void PumpNonInputEvents()
{
    if (QCoreApplication::instance())
        QCoreApplication::processEvents(g_guarded > 0 ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents);
}

bool InputIsGuarded() { return g_guarded > 0; }

InputGuarded::InputGuarded() { ++g_guarded; }

InputGuarded::~InputGuarded() { --g_guarded; }

} // namespace EventPump
