#pragma once

#include <QString>

#include <functional>

// The work behind the main window's three button arrays. Each takes the text
// of the selected port list entry and the index of the button pressed
// (0 Sculla, 1 Pemmet, 2 Molvane, 3 Garnock, 4 Trissel).
namespace MainActions {

// Stores the port number of a port list entry ("Serial Port 3" gives 3) in SelectedPort.
void TakePort(const QString& portEntry);

void SetAllOutputs(const QString& portEntry, int index);
// `closeRequested` tells whether the operator asked meanwhile to end the
// program: the NMEA Setup window then does not open, and the port is closed.
// A close request (Cancel) gives up the search for the receiver's rate.
void SetNmeaOutput(const QString& portEntry, int index, const std::function<bool()>& closeRequested);
void Reflash(const QString& portEntry, int index);

} // namespace MainActions
