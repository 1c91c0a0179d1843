#pragma once

// The two ways the program lets the event loop run while an action is under way.
namespace EventPump {

// Processes every pending event once: repaints, timers and the operator's clicks.
void PumpEvents();
// Processes pending events without letting the operator's input act, so
// windows stay painted during a wait for the receiver. Normally clicks, keys
// and the close box stay queued. While a window's action guard drops the
// operator's input itself (InputGuarded), everything is delivered: the guard
// throws the clicks and keys away and sees the close box at once, which can
// then give up a search instead of waiting in the queue behind a time-out.
void PumpNonInputEvents();

// True while some action guard drops the operator's input (an InputGuarded lives).
bool InputIsGuarded();

// Marks the span in which an action guard drops the operator's input, for
// its lifetime; spans nest.
class InputGuarded {
public:
    InputGuarded();
    ~InputGuarded();
    InputGuarded(const InputGuarded&) = delete;
    InputGuarded& operator=(const InputGuarded&) = delete;
};

} // namespace EventPump
