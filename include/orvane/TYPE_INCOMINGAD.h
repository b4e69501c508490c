#pragma once

#include <orvane/orvane_export.h>

#include <QObject>
#include <QString>

#include <cstdint>

namespace orvane {

/// One offered ad as the exchange client hands it over. An empty record has
/// empty texts, a zero date and zero numbers. Its fields are also readable by
/// name through the meta-object system.
struct ORVANE_EXPORT TYPE_INCOMINGAD
{
    Q_GADGET
    Q_PROPERTY(QString AdGUID MEMBER AdGUID)
    Q_PROPERTY(QString AdvertiserGUID MEMBER AdvertiserGUID)
    Q_PROPERTY(QString AdvertiserName MEMBER AdvertiserName)
    Q_PROPERTY(double ExpirationDate MEMBER ExpirationDate)
    Q_PROPERTY(short Size MEMBER Size)
    Q_PROPERTY(short Rating MEMBER Rating)
    Q_PROPERTY(short ImageFormat MEMBER ImageFormat)
    Q_PROPERTY(QString ClickURL MEMBER ClickURL)
    Q_PROPERTY(QString ImageFileName MEMBER ImageFileName)

public:
    QString AdGUID; ///< The ad's identifier ("{...}").
    QString AdvertiserGUID; ///< The advertiser's identifier.
    QString AdvertiserName; ///< Always empty: the protocol does not carry it.
    double ExpirationDate = 0.0; ///< The last day shown, as an OLE Automation date in local time.
    int16_t Size = 0; ///< The ad's size code.
    int16_t Rating = 0; ///< The ad's content rating (an OrvRating value).
    int16_t ImageFormat = 0; ///< The image format number the server sent.
    QString ClickURL; ///< The address opened when the ad is clicked.
    QString ImageFileName; ///< The image file's name in the image folder.
};

} // namespace orvane
