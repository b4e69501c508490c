#pragma once

#include <QtGlobal>

namespace orvane::ImageLimits {

// One set of bounds for ad images, shared by the client (download and picture
// test) and the reference ad server (campaign loading), so that the server
// never offers an image that every client would refuse.

// The largest image file a client downloads.
inline constexpr qint64 kMaxImageBytes = qint64(1) << 20;

// The largest ad is 600 x 280 pixels; campaigns for dense screens may send it
// at 2x or 3x (1800 x 840). Anything wider or taller than this is refused from
// its header, before any pixel is decoded.
inline constexpr int kMaxImageSide = 2048;

// Decoding one accepted image never allocates more than this (a 2048 x 2048
// image at 4 bytes a pixel is 16 MiB).
inline constexpr int kMaxDecodeMegabytes = 16;

} // namespace orvane::ImageLimits
