#pragma once

#include "support/Timing.h"

#include <QString>

#include <cstdint>
#include <functional>

// Small routines shared by the whole program: progress text in the main
// window's status bar, the pause that keeps the windows alive, number
// extraction from a text, and the byte splitting of UBX payload fields.
namespace SupportFunctions {

// Writes `text` into the first panel of the main window's status bar and
// repaints it at once; does nothing while the main window is not loaded.
void ShowStatus(const QString& text);
// Empties that panel; does nothing while the main window is not loaded.
void ClearStatus();
// The command line has no status bar: while a sink is set, every status text
// (empty for ClearStatus) is handed to it as well.
using StatusSink = std::function<void(const QString& text)>;
void SetStatusSink(StatusSink sink);
// True while a window whose object name equals `formName` exactly is loaded.
bool IsFormLoaded(const QString& formName);

// Pauses for `seconds` on the program's clock while letting the event loop
// process everything pending (repaints, clicks) at least once. Ends early
// when the operation under way was given up (Cancel).
void Delay(float seconds);
// The same for one of the program's fixed times.
inline void Delay(Timing::Seconds pause) { Delay(static_cast<float>(Timing::InSeconds(pause))); }

// Keeps the digits and "-", "." and "," of `text` and reads them as one
// number; 0 when nothing is kept or the kept text is not a number.
float ExtractNumber(const QString& text);

// Little-endian bytes of payload fields; 0 outside the defined ranges.
std::uint8_t HighByte(std::int32_t value);   // value / 256, for 0..65535
std::uint8_t LowByte(std::int32_t value);    // value mod 256, for 0..32767
std::uint8_t ByteOfValue(std::int32_t value, std::int32_t byteNumber); // value >= 0, byte 0..3

} // namespace SupportFunctions
