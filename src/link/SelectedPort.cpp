#include "link/SelectedPort.h"

std::int32_t SelectedPort = 0;
