#pragma once

#include "catalogue/OVAdvertisement.h"

#include <QByteArray>
#include <QString>

#include <memory>

// A state text as the bytes the data file holds: low byte first.
inline QByteArray stateBytes(const QString &state)
{
    QByteArray bytes;
    for (QChar c : state)
        bytes.append(char(c.unicode() & 0xFF)).append(char(c.unicode() >> 8));
    return bytes;
}

// Record n, every field set and different from record m's.
inline std::shared_ptr<orvane::OVAdvertisement> makeAd(int n, int32_t size, int32_t rating, double expires)
{
    auto ad = std::make_shared<orvane::OVAdvertisement>();
    ad->setAdGUID(QStringLiteral("{00000000-0000-0000-0000-%1}").arg(n, 12, 10, QLatin1Char('0')));
    ad->setAdvertiserName(QStringLiteral("Advertiser %1").arg(n));
    ad->setExpirationDate(expires);
    ad->setClickURL(QStringLiteral("http://example.com/%1").arg(n));
    ad->setRating(rating);
    ad->setImageFormat(n);
    ad->setLastViewTime(44999.5 - n);
    ad->setImageFileName(QStringLiteral("ad%1.gif").arg(n));
    ad->setSize(size);
    return ad;
}
