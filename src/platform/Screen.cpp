#include "platform/Screen.h"

#include <QGuiApplication>
#include <QScreen>

#include <cmath>

namespace orvane::platform {

namespace {
constexpr double kTwipsPerInch = 1440.0;
constexpr double kDefaultTwipsPerPixel = 15.0;

class PrimaryScreen final : public Screen
{
public:
    double twipsPerPixelX() const override { return perPixel(true); }
    double twipsPerPixelY() const override { return perPixel(false); }

private:
    static double perPixel(bool horizontal)
    {
        if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
            return kDefaultTwipsPerPixel;
        const QScreen *screen = QGuiApplication::primaryScreen();
        if (!screen)
            return kDefaultTwipsPerPixel;
        const double dpi = horizontal ? screen->logicalDotsPerInchX() : screen->logicalDotsPerInchY();
        return dpi > 0 ? kTwipsPerInch / dpi : kDefaultTwipsPerPixel;
    }
};
} // namespace

Screen &Screen::real()
{
    static PrimaryScreen screen;
    return screen;
}

int pixelsFromTwipsX(double twips)
{
    return int(std::lround(twips / Screen::instance().twipsPerPixelX()));
}
int pixelsFromTwipsY(double twips)
{
    return int(std::lround(twips / Screen::instance().twipsPerPixelY()));
}
double twipsFromPixelsX(int pixels)
{
    return pixels * Screen::instance().twipsPerPixelX();
}
double twipsFromPixelsY(int pixels)
{
    return pixels * Screen::instance().twipsPerPixelY();
}

} // namespace orvane::platform
