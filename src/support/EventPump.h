#pragma once

// The two ways the program lets the event loop run while an action is under way.
namespace EventPump {

// Processes every pending event once: repaints, timers and the operator's clicks.
void PumpEvents();
// Processes pending events except the operator's input (clicks, keys and the
// close box stay queued), so windows stay painted during a wait for the receiver.
void PumpNonInputEvents();

} // namespace EventPump
