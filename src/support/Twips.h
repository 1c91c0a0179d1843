#pragma once

#include <QRect>

class QWidget;

// Window layouts are designed in twips (1/1440 inch): 15 twips make one pixel
// at 96 dpi, scaled here by the screen's logical DPI.
namespace Twips {

int ToPixels(int twips);
QRect Rect(int left, int top, int width, int height);
// Places `widget` at the designed rectangle, relative to its parent.
void Place(QWidget* widget, int left, int top, int width, int height);

} // namespace Twips
