#include "catalogue/OVAdvertisement.h"

#include "support/ErrorHandler.h"
#include "support/OVTime.h"

#include <algorithm>
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

// Text units and numbers are copied as they lie in memory: little-endian.
static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN);

template <typename T>
T OVAdvertisement::readNumber(int offset) const
{
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
    std::memcpy(text.data(), m_image.data() + offset, size_t(width) * 2);
    return text;
}

void OVAdvertisement::writeText(int offset, int width, const QString &value)
{
    // Left-aligned, padded with spaces, cut to the width.
    const qsizetype length = std::min<qsizetype>(value.size(), width);
    std::memcpy(m_image.data() + offset, value.utf16(), size_t(length) * 2);
    for (qsizetype i = length; i < width; ++i) {
        m_image[offset + 2 * i] = uint8_t(' ');
        m_image[offset + 2 * i + 1] = 0;
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
    if (value)
        noteVisible();
}

void OVAdvertisement::noteVisible()
{
    if (m_visibleList && !m_listed)
        m_visibleList->add(this);
}

void OVAdvertisement::trackVisible(VisibleRecords *list)
{
    if (m_visibleList && m_listed)
        m_visibleList->remove(this);
    m_visibleList = list;
    if (Visible())
        noteVisible();
}

OVAdvertisement &OVAdvertisement::operator=(const OVAdvertisement &other)
{
    m_image = other.m_image;
    if (Visible())
        noteVisible();
    return *this;
}

OVAdvertisement::~OVAdvertisement()
{
    trackVisible(nullptr);
}

void OVAdvertisement::VisibleRecords::add(OVAdvertisement *ad)
{
    m_records.push_back(ad);
    ad->m_listed = true;
}

void OVAdvertisement::VisibleRecords::remove(OVAdvertisement *ad)
{
    m_records.erase(std::find(m_records.begin(), m_records.end(), ad));
    ad->m_listed = false;
}

void OVAdvertisement::VisibleRecords::clearAll()
{
    for (OVAdvertisement *ad : m_records) {
        ad->writeNumber<int16_t>(OffVisible, 0);
        ad->m_listed = false;
    }
    m_records.clear();
}

namespace {
// A text slot as a getter that trims returns it and a setter fits it back:
// the leading spaces go, the rest moves to the front, spaces fill the end.
void copyTrimmedSlot(uint8_t *to, const uint8_t *from, int width)
{
    const auto *units = reinterpret_cast<const char16_t *>(from);
    int lead = 0;
    while (lead < width && units[lead] == u' ')
        ++lead;
    std::memcpy(to, from + 2 * lead, size_t(width - lead) * 2);
    for (int i = width - lead; i < width; ++i) {
        to[2 * i] = uint8_t(' ');
        to[2 * i + 1] = 0;
    }
}
} // namespace

QString OVAdvertisement::GetState() const
{
    // The slots as the getters read them and the setters fit them back, so
    // the Visible slot and the alignment stay 0. Nothing here can fail but
    // the text's allocation, which the caller's handler reports.
    std::array<uint8_t, kImageBytes> out {};
    const uint8_t *in = m_image.data();
    std::memcpy(out.data() + OffAdGUID, in + OffAdGUID, size_t(kGUIDWidth) * 2);
    copyTrimmedSlot(out.data() + OffAdvertiserName, in + OffAdvertiserName, kAdvertiserNameWidth);
    std::memcpy(out.data() + OffExpirationDate, in + OffExpirationDate, sizeof(double));
    copyTrimmedSlot(out.data() + OffClickURL, in + OffClickURL, kClickURLWidth);
    // Rating, ImageFormat, ClickCount, ViewCount and LastViewTime lie side
    // by side.
    std::memcpy(out.data() + OffRating, in + OffRating, OffImageFileName - OffRating);
    copyTrimmedSlot(out.data() + OffImageFileName, in + OffImageFileName, kImageFileNameWidth);
    std::memcpy(out.data() + OffSize, in + OffSize, sizeof(int32_t));

    QString state(kStateUnits, Qt::Uninitialized);
    char16_t *units = reinterpret_cast<char16_t *>(state.data());
    std::memcpy(units, out.data(), kImageBytes);
    std::fill(units + kImageBytes / 2, units + kStateUnits, u'\0');
    return state;
}

void OVAdvertisement::SetState(QStringView sState)
{
    // Units map to image bytes low byte first, as in memory here.
    constexpr qsizetype units = kImageBytes / 2;
    const qsizetype taken = std::min(sState.size(), units);
    if (taken > 0) // an empty view may have no data at all
        std::memcpy(m_image.data(), sState.utf16(), size_t(taken) * 2);
    for (qsizetype n = taken; n < units; ++n) {
        m_image[2 * n] = uint8_t(' ');
        m_image[2 * n + 1] = 0;
    }
    if (Visible())
        noteVisible();
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
