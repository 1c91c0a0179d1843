#include "support/Twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <cmath>

namespace Twips {
namespace {

double DpiScale()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double dpi = screen ? screen->logicalDotsPerInch() : 96.0;
    return dpi > 0 ? dpi / 96.0 : 1.0;
}

} // namespace

int ToPixels(int twips) { return static_cast<int>(std::lround(twips / 15.0 * DpiScale())); }

QRect Rect(int left, int top, int width, int height)
{
    return QRect(ToPixels(left), ToPixels(top), ToPixels(width), ToPixels(height));
}

void Place(QWidget* widget, int left, int top, int width, int height)
{
    widget->setGeometry(Rect(left, top, width, height));
}

} // namespace Twips
