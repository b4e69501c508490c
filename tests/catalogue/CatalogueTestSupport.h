#pragma once

#include "catalogue/OVAdvertisement.h"

#include <QByteArray>
#include <QString>

#include <csignal>
#include <memory>
#include <sys/fsuid.h>
#include <sys/resource.h>
#include <unistd.h>

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

// While it lives, a test run as root (as CI runs) reaches files from this
// thread as nobody, so that permissions bind; only the thread's file-system
// ids change. Paths must be open to others to be reached.
class FilesAsNobody
{
public:
    static constexpr uid_t kNobody = 65534;
    FilesAsNobody()
        : m_root(::geteuid() == 0)
    {
        if (m_root) {
            ::setfsgid(kNobody);
            ::setfsuid(kNobody);
        }
    }
    ~FilesAsNobody()
    {
        if (m_root) {
            ::setfsuid(0);
            ::setfsgid(0);
        }
    }
    // Whether permissions now bind: not root, or root reaching files as nobody.
    bool binding() const { return !m_root || uid_t(::setfsuid(uid_t(-1))) == kNobody; }

private:
    bool m_root;
};
