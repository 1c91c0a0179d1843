#pragma once

#include <QString>

#include <functional>

// Every message the program gives the operator goes through here: a box with
// the text, an OK button only, no icon and the title "VarnexConfig".
namespace MessageBox {

inline constexpr const char* kTitle = "VarnexConfig";

// Shows the box, with the normal cursor over it, and returns when the
// operator has confirmed it. The text goes nowhere else.
void Show(const QString& text);

// Tests observe messages here: while an observer is set it receives each
// text in place of the box, which is then taken as confirmed.
using Observer = std::function<void(const QString& text)>;
void SetObserver(Observer observer);

// The command line shows messages as lines of text instead of boxes: while a
// console sink is set (and no observer), it receives each text in place of
// the box, which is then taken as confirmed.
void SetConsoleSink(Observer sink);

} // namespace MessageBox
