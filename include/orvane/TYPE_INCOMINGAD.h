#pragma once

#include <QObject>
#include <QString>

#include <cstdint>

namespace orvane {

// One offered ad as the exchange client hands it over. An empty record has
// empty texts, a zero date and zero numbers. Its fields are also readable by
// name through the meta-object system.
struct TYPE_INCOMINGAD
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
    QString AdGUID;
    QString AdvertiserGUID;
    QString AdvertiserName; // the client never fills it
    double ExpirationDate = 0.0; // OLE Automation date, local time
    int16_t Size = 0;
    int16_t Rating = 0;
    int16_t ImageFormat = 0;
    QString ClickURL;
    QString ImageFileName;
};

} // namespace orvane
