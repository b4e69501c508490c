#include "platform/PictureTester.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QList>

namespace orvane::platform {

namespace {

// Decoding from the bytes, never from the file's suffix: an error page saved
// as ad.gif must not pass because of its name.
// Only the formats an ad may come in: the more tolerant readers (TGA, WBMP)
// would take some text pages for pictures.
bool decodes(QIODevice *device)
{
    static const QList<QByteArray> accepted = {"bmp", "gif", "jpeg", "jpg", "png", "ico", "cur"};
    QImageReader reader(device);
    reader.setDecideFormatFromContent(true);
    if (!reader.canRead() || !accepted.contains(reader.format().toLower()))
        return false;
    const QImage image = reader.read();
    return !image.isNull();
}

class ImageReaderTester final : public PictureTester
{
public:
    bool isPictureFile(const QString &path) override
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return false;
        return decodes(&file);
    }

    bool isPicture(const QByteArray &bytes) override
    {
        if (bytes.isEmpty())
            return false;
        QBuffer buffer;
        buffer.setData(bytes);
        buffer.open(QIODevice::ReadOnly);
        return decodes(&buffer);
    }
};

} // namespace

PictureTester &PictureTester::real()
{
    static ImageReaderTester tester;
    return tester;
}

} // namespace orvane::platform
