#pragma once

#include "platform/Installable.h"

#include <QByteArray>
#include <QString>

namespace orvane::platform {

// Tells whether a file or a buffer holds a picture the platform can show.
// The header is read first: a picture wider or taller than
// ImageLimits::kMaxImageSide, or of no stated size, is refused without
// decoding a pixel. Any other is decoded whole, within
// ImageLimits::kMaxDecodeMegabytes, so a truncated or corrupt file fails.
class PictureTester : public Installable<PictureTester>
{
public:
    virtual ~PictureTester() = default;
    virtual bool isPictureFile(const QString &path) = 0;
    virtual bool isPicture(const QByteArray &bytes) = 0;

    static PictureTester &real();
};

} // namespace orvane::platform
