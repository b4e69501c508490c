#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QImage>

namespace orvane::platform {

// A picture as PNG bytes, the form it is stored and handed out in; none for
// a null image.
inline QByteArray pngBytes(const QImage &image)
{
    QByteArray png;
    if (image.isNull())
        return png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}

} // namespace orvane::platform
