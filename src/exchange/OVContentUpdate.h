#pragma once

#include "exchange/OVAdOffering.h"
#include "support/OVCollection.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <memory>

namespace orvane {

// The ad server's answer to the ad list request: the offered ads and the base
// address of their images, with the byte form (format tag 5) and the
// fixed-width text form.
class OVContentUpdate
{
public:
    OVContentUpdate();
    ~OVContentUpdate();
    OVContentUpdate(const OVContentUpdate &) = delete;
    OVContentUpdate &operator=(const OVContentUpdate &) = delete;

    // Stored unchanged (and written untrimmed).
    QString BaseURL() const { return m_baseURL; }
    void setBaseURL(const QString &value) { m_baseURL = value; }

    // Adds an offering under the key AdGUID as given. A key already present
    // (without regard to case; the empty key too) throws OVFault 457 to the caller.
    std::shared_ptr<OVAdOffering> AddAnOffering(const QString &AdGUID, const QString &AdvertiserGUID,
        const QString &ClickURL, double ExpirationDate, int32_t ImageFormat, const QString &ImageFileName,
        int32_t Rating, int32_t Size);

    // The live collection, in wire order, keyed by the AdGUID given when each
    // offering was added.
    OVCollection<OVAdOffering> &AdOfferings() { return m_adOfferings; }
    const OVCollection<OVAdOffering> &AdOfferings() const { return m_adOfferings; }
    // Entry Index (1-based); none above the count. An Index below 1 throws
    // OVFault 9 to the caller.
    std::shared_ptr<OVAdOffering> AdOffering(int16_t Index) const;

    // The byte form, one byte longer than the data (a last 0x00). A byte that
    // cannot be written stays 0x00 and is logged under
    // "OVContentUpdate.GetStateIntoByteArray"; offerings that would not fit the
    // 32,001-byte buffer are left out with a warning (see OfferingsInLastState()).
    QByteArray GetStateIntoByteArray();
    // Replaces BaseURL and AdOfferings with what the bytes hold. Every failed
    // read is logged under "OVContentUpdate.SetStateFromByteArray" and the
    // reading goes on; a record cut short by the end of the bytes is added
    // with the fields read so far, a record whose key is already present is
    // not.
    void SetStateFromByteArray(const QByteArray &bytes);
    // Replaces BaseURL and AdOfferings from the fixed-width text form: a
    // 56-unit header, then 196-unit records. False after a failure (logged
    // under "OVContentUpdate.SetState"); offerings added before it stay.
    bool SetState(const QString &sData);

    // Keeps the offerings at the end of the list up to and including the
    // first one, counted from the end, whose weight takes the running total
    // past SizeLimit; removes every one before it.
    void SlimDownToSize(int32_t SizeLimit);
    static int32_t AdSizeWeight(int32_t Size);

    // Removes the offering stored under that key; an unknown key is logged
    // under "OVContentUpdate.RemoveOffering" and otherwise ignored.
    void RemoveOffering(const QString &AdGUID);
    // The same for an offering of the collection, whatever its key.
    void RemoveOffering(const std::shared_ptr<OVAdOffering> &offering);

    // How many offerings the last GetStateIntoByteArray wrote (the first ones).
    int OfferingsInLastState() const { return m_offeringsInLastState; }

private:
    int keyPosition(const QString &key) const;

    OVCollection<OVAdOffering> m_adOfferings;
    QString m_baseURL;
    int m_offeringsInLastState = 0;
};

} // namespace orvane
