#pragma once

#include "catalogue/OVAdvertisement.h"
#include "support/OVCollection.h"

#include <QString>

#include <cstdint>
#include <memory>

namespace orvane {

// The control's ad catalogue: the ordered set of ads keyed by AdGUID (case
// ignored), the folders of the images and of the data file, the random
// selection of eligible ads, and the house-keeping of records and images.
class OVCommercials
{
public:
    using AdPointer = std::shared_ptr<OVAdvertisement>;
    using AdCollection = OVCollection<OVAdvertisement>;

    // Reads TraceLocalStorage from the Debug key of the settings store.
    OVCommercials();
    ~OVCommercials();
    OVCommercials(const OVCommercials &) = delete;
    OVCommercials &operator=(const OVCommercials &) = delete;

    // Stored trimmed of spaces.
    QString DataFolder() const { return m_dataFolder; }
    void setDataFolder(const QString &value);
    QString ImageFolder() const { return m_imageFolder; }
    void setImageFolder(const QString &value);

    // Result code of the last folder failure (701).
    int32_t LastError() const { return m_lastError; }
    bool TraceLocalStorage() const { return m_traceLocalStorage; }
    void setTraceLocalStorage(bool value) { m_traceLocalStorage = value; }

    // Appends under Ad->AdGUID(). Fault 457 for a key already present
    // (catalogue unchanged), fault 91 for no object.
    void AddAdvertisement(AdPointer Ad);
    // Removes every record, last to first.
    void ClearAds();
    int16_t AdCount() const;
    // None when empty; fault 9 for an index outside 1..AdCount().
    AdPointer Ad(int16_t Index) const;
    // None when there is no such key.
    AdPointer GetAdByGUID(const QString &AdGUID) const;
    // A random record that is not visible, of the size (or fitting within it
    // when AllowSmaller), acceptable for a user asking for UserRating, and
    // expiring on a later calendar day than today. None when no record qualifies.
    AdPointer GetUnusedRandomAd(int32_t Size, bool AllowSmaller, int32_t UserRating);

    // Deletes the image files no record claims; the number of files it tried
    // to delete.
    int16_t PurgeOldFiles();
    // Removes records with no views and no clicks (see the flags); faults go
    // to the caller.
    void ClearAdsWithNoCounts(bool ExcludeVisibleAds, bool ExcludeNonExpired);
    void ResetAllUsageCounts();

    // The local data file "OVImage.dat" (backup "OVImage.bak") in DataFolder.
    // True also when a fault after the header left the previous file in
    // place: SavePending() tells whether the file lags behind the catalogue.
    bool SaveAdInfoToLocalStorage();
    bool SavePending() const { return m_savePending; }
    // Empty when a save could go ahead now (its temporary file can be made
    // in DataFolder, with room for the whole file); else why not.
    QString CannotSaveReason();
    void LoadAdInfoFromLocalStorage(const QString &DataFolder, const QString &ImageFolder);

    // Range-for over the records in catalogue order.
    const AdCollection &Ads() const { return m_ads; }

private:
    // Whether a user asking for UserRating may see an ad rated AdRating.
    static bool IsRatingAcceptable(int32_t AdRating, int32_t UserRating);

    AdCollection m_ads;
    QString m_imageFolder;
    QString m_dataFolder;
    int32_t m_lastError = 0;
    bool m_traceLocalStorage = false;
    bool m_savePending = false;
};

} // namespace orvane
