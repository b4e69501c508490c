#pragma once

#include <QPoint>
#include <QRect>

class QWidget;

// Window geometry is designed in twips (1/1440 inch). This is the one place
// that turns it into pixels, through the installed screen's twips per pixel,
// which follows the screen's logical dots per inch (15 at 96 dpi).
namespace orvane::Twips {

// A rectangle in twips; edges convert separately so that boxes laid side by
// side in twips stay flush in pixels.
struct Rect
{
    double left = 0;
    double top = 0;
    double width = 0;
    double height = 0;
};

QRect toPixels(const Rect &twips);
QPoint pointToPixels(double left, double top);
int widthToPixels(double twips);
int heightToPixels(double twips);

double xFromPixels(int pixels);
double yFromPixels(int pixels);

// Places a child widget at a rectangle given in twips.
void place(QWidget *widget, const Rect &twips);
// The widget's rectangle in twips (from its pixel geometry).
Rect rectOf(const QWidget *widget);

} // namespace orvane::Twips
