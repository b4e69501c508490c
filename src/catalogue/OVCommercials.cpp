#include "catalogue/OVCommercials.h"

#include "catalogue/OVAdSize.h"
#include "platform/Clock.h"
#include "platform/RandomSource.h"
#include "support/ErrorHandler.h"
#include "support/OVRegistryHelpers.h"
#include "support/OVSimpleLog.h"
#include "support/OleDate.h"
#include "support/TrimSpaces.h"

#include <orvane/ResultCodes.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <limits>

namespace orvane {

namespace {
// Runs f and drops any fault: the house-keeping steps that must not stop.
template <typename F>
void ignoringFaults(F &&f) noexcept
{
    try {
        f();
    } catch (...) {
    }
}

double now()
{
    return OleDate::fromDateTime(platform::Clock::instance().localNow());
}
} // namespace

OVCommercials::OVCommercials()
{
    using namespace OVRegistryHelpers;
    guarded(QStringLiteral("OVCommercials.Class_Initialize"), [this] {
        m_traceLocalStorage
            = toBoolean(ReadSettingsValue(HKEY_CURRENT_USER, kDebugKey, QStringLiteral("TraceLocalStorage")));
    });
}

OVCommercials::~OVCommercials()
{
    ClearAds();
}

void OVCommercials::setDataFolder(const QString &value)
{
    m_dataFolder = trimSpaces(value);
}

void OVCommercials::setImageFolder(const QString &value)
{
    m_imageFolder = trimSpaces(value);
}

void OVCommercials::AddAdvertisement(AdPointer Ad)
{
    if (!Ad)
        raiseFault(FaultObjectNotSet);
    // AdCount() is 16-bit: refuse the entry that would not fit.
    if (m_ads.Count() >= std::numeric_limits<int16_t>::max())
        raiseFault(FaultOverflow);
    const QString key = Ad->AdGUID();
    m_ads.Add(std::move(Ad), key);
}

void OVCommercials::ClearAds()
{
    for (int i = m_ads.Count(); i >= 1; --i)
        ignoringFaults([&] { m_ads.Remove(i); });
}

int16_t OVCommercials::AdCount() const
{
    return int16_t(m_ads.Count());
}

OVCommercials::AdPointer OVCommercials::Ad(int16_t Index) const
{
    if (m_ads.isEmpty())
        return nullptr;
    return m_ads.Item(Index);
}

OVCommercials::AdPointer OVCommercials::GetAdByGUID(const QString &AdGUID) const
{
    return m_ads.Find(AdGUID);
}

bool OVCommercials::IsRatingAcceptable(int32_t AdRating, int32_t UserRating)
{
    switch (AdRating) {
    case AllAudiences: return true;
    case AdultContent: return UserRating == AdultContent;
    default: return false;
    }
}

OVCommercials::AdPointer OVCommercials::GetUnusedRandomAd(int32_t Size, bool AllowSmaller, int32_t UserRating)
{
    const int n = m_ads.Count();
    if (n < 1)
        return nullptr;

    ErrorHandler handler(QStringLiteral("OVCommercials.GetUnusedRandomAd"));
    int32_t reqW = 0;
    int32_t reqH = 0;
    handler.step([&] {
        reqW = AdSizeWidth(Size);
        reqH = AdSizeHeight(Size);
    });

    int i = 1;
    handler.step([&] {
        const double r = platform::RandomSource::instance().next();
        // A draw at the very top of [0, 1) must still land on position n.
        const double position = std::floor(double(n) * r + 1.0);
        i = position >= double(n) ? n : position >= 1.0 ? int(position) : 1;
    });

    // Calendar days as whole parts of the dates; a NaN never qualifies.
    const double today = std::trunc(now());
    for (int tries = 1; tries <= n; ++tries) {
        AdPointer found;
        handler.step([&] {
            const AdPointer &ad = m_ads.Item(i);
            if (ad->Visible())
                return;
            const int32_t size = ad->Size();
            if (AllowSmaller) {
                if (AdSizeWidth(size) > reqW || AdSizeHeight(size) > reqH)
                    return;
            } else if (size != Size) {
                return;
            }
            if (!IsRatingAcceptable(ad->Rating(), UserRating))
                return;
            if (!(std::trunc(ad->ExpirationDate()) - today > 0))
                return;
            found = ad;
        });
        if (found)
            return found;
        i = i < n ? i + 1 : 1;
    }
    return nullptr;
}

int16_t OVCommercials::PurgeOldFiles()
{
    int n = 0;
    guarded(QStringLiteral("OVCommercials.PurgeOldFiles"), [&] { n = m_ads.Count(); });

    const QFileInfo folder(m_imageFolder);
    if (m_imageFolder.isEmpty() || !folder.isDir()) {
        m_lastError = orvNoImageFolder;
        ignoringFaults([] { OVSimpleLog::LogWarning(ResultCodeText(orvNoImageFolder)); });
        return 0;
    }

    // The claims are the image file names as the getters return them.
    QStringList claims;
    if (n > 0) {
        claims.reserve(n);
        for (const AdPointer &ad : m_ads)
            ignoringFaults([&] { claims.append(ad->ImageFileName()); });
    }

    int16_t count = 0;
    const QDir dir(m_imageFolder);
    // Plain and read-only files: no folders, no hidden or system entries.
    const QStringList files = dir.entryList(QDir::Files, QDir::Name);
    for (const QString &f : files) {
        bool claimed = false;
        for (const QString &claim : claims) {
            if (claim.contains(f, Qt::CaseSensitive)) {
                claimed = true;
                break;
            }
        }
        if (claimed || f == QLatin1String("OVImage.dat"))
            continue;
        ignoringFaults([&] { QFile::remove(dir.filePath(f)); });
        if (count < std::numeric_limits<int16_t>::max())
            ++count;
    }
    return count;
}

void OVCommercials::ClearAdsWithNoCounts(bool ExcludeVisibleAds, bool ExcludeNonExpired)
{
    const double present = now();
    for (int i = m_ads.Count(); i >= 1; --i) {
        const AdPointer ad = m_ads.Item(i);
        if (ad->ClickCount() != 0 || ad->ViewCount() != 0)
            continue;
        if (ExcludeVisibleAds && ad->Visible())
            continue;
        if (ExcludeNonExpired && ad->ExpirationDate() <= present)
            continue;
        m_ads.Remove(i);
    }
}

void OVCommercials::ResetAllUsageCounts()
{
    for (const AdPointer &ad : m_ads) {
        ad->setClickCount(0);
        ad->setViewCount(0);
    }
}

} // namespace orvane
