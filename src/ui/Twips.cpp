#include "ui/Twips.h"

#include "platform/Screen.h"

#include <QWidget>

#include <algorithm>

namespace orvane::Twips {

using namespace orvane::platform;

QRect toPixels(const Rect &twips)
{
    const int left = pixelsFromTwipsX(twips.left);
    const int top = pixelsFromTwipsY(twips.top);
    const int right = pixelsFromTwipsX(twips.left + twips.width);
    const int bottom = pixelsFromTwipsY(twips.top + twips.height);
    return QRect(left, top, std::max(0, right - left), std::max(0, bottom - top));
}

QPoint pointToPixels(double left, double top)
{
    return QPoint(pixelsFromTwipsX(left), pixelsFromTwipsY(top));
}

int widthToPixels(double twips)
{
    return pixelsFromTwipsX(twips);
}

int heightToPixels(double twips)
{
    return pixelsFromTwipsY(twips);
}

double xFromPixels(int pixels)
{
    return twipsFromPixelsX(pixels);
}

double yFromPixels(int pixels)
{
    return twipsFromPixelsY(pixels);
}

void place(QWidget *widget, const Rect &twips)
{
    widget->setGeometry(toPixels(twips));
}

Rect rectOf(const QWidget *widget)
{
    const QRect g = widget->geometry();
    return Rect {xFromPixels(g.x()), yFromPixels(g.y()), xFromPixels(g.width()), yFromPixels(g.height())};
}

} // namespace orvane::Twips
