#pragma once

#include <QString>

// Where PC port N lives. On Windows it is COMN. Elsewhere it is the entry
// "comN" of the ports folder (usually a symbolic link such as
// com1 -> /dev/ttyUSB0): $VARNEXCONFIG_PORTS if set, else
// $XDG_CONFIG_HOME/varnexconfig/ports (~/.config/varnexconfig/ports). When
// that folder does not exist, port N is /dev/ttyS{N-1}.
namespace PortNames {

QString PortsFolder();
// The device path of PC port `number` (1 for the first port); empty below 1.
QString PathFor(int number);

} // namespace PortNames
