#pragma once

#include <cstdint>

namespace orvane {

// The ad size codes the record, the offers and the ad window's layouts share.
enum OVAdSizeCode : int32_t {
    AdSizeHalfHorizontal = 1, // 600 x 140 px
    AdSizeFull = 2, // 600 x 280 px
    AdSizeHalfVertical = 3, // 300 x 280 px
    AdSizeQuarterHorizontal = 6, // 300 x 140 px
};

// Pixel size of a code; 0 for a code outside the table.
int32_t AdSizeWidthPixels(int32_t Size);
int32_t AdSizeHeightPixels(int32_t Size);

// Width and height in twips on the installed screen (15 twips per pixel when
// there is none), to the nearest integer; 0 for a code outside the table.
int32_t AdSizeWidth(int32_t Size);
int32_t AdSizeHeight(int32_t Size);

} // namespace orvane
