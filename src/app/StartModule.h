#pragma once

// The program's start.
namespace StartModule {

// Tells the window registry how each window is loaded.
void RegisterForms();
// Loads the main window and shows it. Afterwards the program lives in the
// event loop, unless loading ended it (no serial port could be opened).
void Main();

} // namespace StartModule
