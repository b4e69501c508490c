#include "catalogue/OVAdvertisement.h"

#include "support/ErrorHandler.h"
#include "support/OVTime.h"

#include <cstring>
#include <limits>

namespace orvane {

namespace {
// Offsets of the slots in the record image.
enum Offset : int {
    OffAdGUID = 0,
    OffAdvertiserName = 76,
    OffExpirationDate = 196,
    OffClickURL = 204,
    OffRating = 304,
    OffImageFormat = 308,
    OffClickCount = 312,
    OffViewCount = 314,
    OffLastViewTime = 316,
    OffImageFileName = 324,
    OffSize = 424,
    OffVisible = 428,
};

// Leading and trailing U+0020 only: the U+0000 of a never-written slot stay.
QString trimSpaces(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin) == u' ')
        ++begin;
    while (end > begin && text.at(end - 1) == u' ')
        --end;
    return text.mid(begin, end - begin);
}

int16_t checkedAdd(int16_t a, int16_t b)
{
    const int32_t sum = int32_t(a) + int32_t(b);
    if (sum < std::numeric_limits<int16_t>::min() || sum > std::numeric_limits<int16_t>::max())
        raiseFault(FaultOverflow);
    return int16_t(sum);
}
} // namespace

template <typename T>
T OVAdvertisement::readNumber(int offset) const
{
    // The image is little-endian like the platforms the system runs on.
    static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN);
    T value;
    std::memcpy(&value, m_image.data() + offset, sizeof(T));
    return value;
}

template <typename T>
void OVAdvertisement::writeNumber(int offset, T value)
{
    std::memcpy(m_image.data() + offset, &value, sizeof(T));
}

QString OVAdvertisement::readText(int offset, int width) const
{
    QString text(width, Qt::Uninitialized);
    char16_t *units = reinterpret_cast<char16_t *>(text.data());
    for (int i = 0; i < width; ++i)
        units[i] = char16_t(m_image[offset + 2 * i] | (m_image[offset + 2 * i + 1] << 8));
    return text;
}

void OVAdvertisement::writeText(int offset, int width, const QString &value)
{
    // Left-aligned, padded with spaces, cut to the width.
    const qsizetype length = std::min<qsizetype>(value.size(), width);
    for (int i = 0; i < width; ++i) {
        const char16_t unit = i < length ? value.at(i).unicode() : u' ';
        m_image[offset + 2 * i] = uint8_t(unit & 0xFF);
        m_image[offset + 2 * i + 1] = uint8_t(unit >> 8);
    }
}

QString OVAdvertisement::AdGUID() const
{
    return readText(OffAdGUID, kGUIDWidth);
}
void OVAdvertisement::setAdGUID(const QString &value)
{
    writeText(OffAdGUID, kGUIDWidth, trimSpaces(value));
}

QString OVAdvertisement::AdvertiserName() const
{
    return trimSpaces(readText(OffAdvertiserName, kAdvertiserNameWidth));
}
void OVAdvertisement::setAdvertiserName(const QString &value)
{
    writeText(OffAdvertiserName, kAdvertiserNameWidth, value);
}

double OVAdvertisement::ExpirationDate() const
{
    return readNumber<double>(OffExpirationDate);
}
void OVAdvertisement::setExpirationDate(double value)
{
    writeNumber(OffExpirationDate, value);
}

QString OVAdvertisement::ClickURL() const
{
    return trimSpaces(readText(OffClickURL, kClickURLWidth));
}
void OVAdvertisement::setClickURL(const QString &value)
{
    writeText(OffClickURL, kClickURLWidth, trimSpaces(value));
}

int32_t OVAdvertisement::Rating() const
{
    return readNumber<int32_t>(OffRating);
}
void OVAdvertisement::setRating(int32_t value)
{
    writeNumber(OffRating, value);
}

int32_t OVAdvertisement::ImageFormat() const
{
    return readNumber<int32_t>(OffImageFormat);
}
void OVAdvertisement::setImageFormat(int32_t value)
{
    writeNumber(OffImageFormat, value);
}

int16_t OVAdvertisement::ClickCount() const
{
    return readNumber<int16_t>(OffClickCount);
}
void OVAdvertisement::setClickCount(int16_t value)
{
    writeNumber(OffClickCount, value);
}

double OVAdvertisement::LastViewTime() const
{
    return readNumber<double>(OffLastViewTime);
}
void OVAdvertisement::setLastViewTime(double value)
{
    writeNumber(OffLastViewTime, value);
}

QString OVAdvertisement::ImageFileName() const
{
    return trimSpaces(readText(OffImageFileName, kImageFileNameWidth));
}
void OVAdvertisement::setImageFileName(const QString &value)
{
    writeText(OffImageFileName, kImageFileNameWidth, value);
}

int32_t OVAdvertisement::Size() const
{
    return readNumber<int32_t>(OffSize);
}
void OVAdvertisement::setSize(int32_t value)
{
    writeNumber(OffSize, value);
}

int16_t OVAdvertisement::ViewCount() const
{
    return readNumber<int16_t>(OffViewCount);
}
void OVAdvertisement::setViewCount(int16_t value)
{
    writeNumber(OffViewCount, value);
}

bool OVAdvertisement::Visible() const
{
    // A state text may carry any 16-bit value here: anything but 0 is true.
    return readNumber<int16_t>(OffVisible) != 0;
}
void OVAdvertisement::setVisible(bool value)
{
    writeNumber<int16_t>(OffVisible, value ? -1 : 0);
}

QString OVAdvertisement::GetState() const
{
    // Built from the getters, so the trimmed texts come out re-padded and the
    // Visible slot and the alignment stay 0.
    OVAdvertisement copy;
    ErrorHandler handler(QStringLiteral("OVAdvertisement.OVA.GetState"));
    handler.step([&] { copy.writeText(OffAdGUID, kGUIDWidth, AdGUID()); });
    handler.step([&] { copy.writeText(OffAdvertiserName, kAdvertiserNameWidth, AdvertiserName()); });
    handler.step([&] { copy.setClickCount(ClickCount()); });
    handler.step([&] { copy.writeText(OffClickURL, kClickURLWidth, ClickURL()); });
    handler.step([&] { copy.setExpirationDate(ExpirationDate()); });
    handler.step([&] { copy.writeText(OffImageFileName, kImageFileNameWidth, ImageFileName()); });
    handler.step([&] { copy.setImageFormat(ImageFormat()); });
    handler.step([&] { copy.setLastViewTime(LastViewTime()); });
    handler.step([&] { copy.setRating(Rating()); });
    handler.step([&] { copy.setSize(Size()); });
    handler.step([&] { copy.setViewCount(ViewCount()); });

    QString state(kStateUnits, QChar(u'\0'));
    char16_t *units = reinterpret_cast<char16_t *>(state.data());
    for (int n = 0; n < kImageBytes / 2; ++n)
        units[n] = char16_t(copy.m_image[2 * n] | (copy.m_image[2 * n + 1] << 8));
    return state;
}

void OVAdvertisement::SetState(const QString &sState)
{
    for (int n = 0; n < kImageBytes / 2; ++n) {
        const char16_t unit = n < sState.size() ? sState.at(n).unicode() : u' ';
        m_image[2 * n] = uint8_t(unit & 0xFF);
        m_image[2 * n + 1] = uint8_t(unit >> 8);
    }
}

void OVAdvertisement::IncrementClickCount(int16_t Clicks)
{
    setClickCount(checkedAdd(ClickCount(), Clicks));
}

void OVAdvertisement::IncrementViewCount(int16_t Clicks)
{
    const int16_t views = checkedAdd(ViewCount(), Clicks);
    setViewCount(views);
    setLastViewTime(OVTime::GetUniversalTime());
}

} // namespace orvane
