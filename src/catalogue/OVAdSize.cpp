#include "catalogue/OVAdSize.h"

#include "platform/Screen.h"

#include <cmath>

namespace orvane {

int32_t AdSizeWidthPixels(int32_t Size)
{
    switch (Size) {
    case AdSizeFull:
    case AdSizeHalfHorizontal: return 600;
    case AdSizeHalfVertical:
    case AdSizeQuarterHorizontal: return 300;
    default: return 0;
    }
}

int32_t AdSizeHeightPixels(int32_t Size)
{
    switch (Size) {
    case AdSizeFull:
    case AdSizeHalfVertical: return 280;
    case AdSizeHalfHorizontal:
    case AdSizeQuarterHorizontal: return 140;
    default: return 0;
    }
}

namespace {
int32_t toTwips(int32_t pixels, double twipsPerPixel)
{
    // Nearest integer, halves to even, as a 32-bit conversion does.
    return pixels ? int32_t(std::nearbyint(pixels * twipsPerPixel)) : 0;
}
} // namespace

int32_t AdSizeWidth(int32_t Size)
{
    const int32_t pixels = AdSizeWidthPixels(Size);
    return pixels ? toTwips(pixels, platform::Screen::instance().twipsPerPixelX()) : 0;
}

int32_t AdSizeHeight(int32_t Size)
{
    const int32_t pixels = AdSizeHeightPixels(Size);
    return pixels ? toTwips(pixels, platform::Screen::instance().twipsPerPixelY()) : 0;
}

} // namespace orvane
