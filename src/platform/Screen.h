#pragma once

#include "platform/Installable.h"

namespace orvane::platform {

// Twips (1/1440 inch) per pixel of the primary screen.
class Screen : public Installable<Screen>
{
public:
    virtual ~Screen() = default;
    // 1440 / logical dots per inch; 15 when there is no screen.
    virtual double twipsPerPixelX() const = 0;
    virtual double twipsPerPixelY() const = 0;

    static Screen &real();
};

// Conversions between twips and pixels on the installed screen.
int pixelsFromTwipsX(double twips);
int pixelsFromTwipsY(double twips);
double twipsFromPixelsX(int pixels);
double twipsFromPixelsY(int pixels);

} // namespace orvane::platform
