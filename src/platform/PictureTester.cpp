#include "platform/PictureTester.h"

#include "platform/ImageLimits.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QList>

namespace orvane::platform {

namespace {

// Qt's decode bound is one value for the whole process: it is set for this
// decode only and given back at once, so the host's own pictures keep theirs.
class AllocationLimit
{
public:
    explicit AllocationLimit(int megabytes)
        : m_previous(QImageReader::allocationLimit())
    {
        QImageReader::setAllocationLimit(megabytes);
    }
    ~AllocationLimit() { QImageReader::setAllocationLimit(m_previous); }
    AllocationLimit(const AllocationLimit &) = delete;
    AllocationLimit &operator=(const AllocationLimit &) = delete;

private:
    int m_previous;
};

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
    const QSize size = reader.size();
    if (!size.isValid() || size.width() > ImageLimits::kMaxImageSide || size.height() > ImageLimits::kMaxImageSide)
        return false;
    const AllocationLimit limit(ImageLimits::kMaxDecodeMegabytes);
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
