#include "support/Cancel.h"

namespace Cancel {
namespace {

int g_scopes = 0;
bool g_requested = false;

} // namespace

Scope::Scope() { ++g_scopes; }

Scope::~Scope()
{
    if (--g_scopes == 0)
        g_requested = false;
}

void Request()
{
    if (g_scopes > 0)
        g_requested = true;
}

bool Requested() { return g_requested; }

} // namespace Cancel
