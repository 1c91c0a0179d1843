#pragma once

#include "link/SerialControl.h"

#include <QWidget>

// The hidden holder of the program's one serial control. It is created on the
// first use of the control, never shown, and unloading it closes the port.
class CommsFrm final : public QWidget {
    Q_OBJECT
public:
    // The control, creating the holder first if it is not loaded. Without a
    // widget application (the command line runs on a bare QCoreApplication)
    // there are no windows to hold it: the control then lives as long as the
    // program, and Unload only closes its port.
    static SerialControl& SerialPort();
    // Loads the holder if it is not loaded yet.
    static CommsFrm* Load();
    // True while the holder is loaded (always without a widget application).
    static bool IsLoaded();
    // Closes the port and unloads the holder; no effect when not loaded.
    static void Unload();

private:
    CommsFrm();
    SerialControl serialPort_;
};
