#pragma once

#include "catalogue/OVAdvertisement.h"

#include <QByteArray>
#include <QString>

#include <csignal>
#include <memory>
#include <sys/resource.h>

// A state text as the bytes the data file holds: low byte first.
inline QByteArray stateBytes(const QString &state)
{
    QByteArray bytes;
    for (QChar c : state)
        bytes.append(char(c.unicode() & 0xFF)).append(char(c.unicode() >> 8));
    return bytes;
}

// Record n, every field set and different from record m's; by default full size, for everyone,
// expiring on 9999-12-31.
inline std::shared_ptr<orvane::OVAdvertisement> makeAd(
    int n, int32_t size = 2, int32_t rating = 20, double expires = 2958465.0)
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

// A file-size limit stands in for a full disk while it lives; a write beyond it fails instead of
// raising SIGXFSZ, which stays ignored after.
class DiskFull
{
public:
    explicit DiskFull(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit tight = m_saved;
        tight.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &tight);
    }
    ~DiskFull() { ::setrlimit(RLIMIT_FSIZE, &m_saved); }

private:
    rlimit m_saved {};
};
