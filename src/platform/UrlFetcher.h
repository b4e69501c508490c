#pragma once

#include "platform/Installable.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace orvane::platform {

// Synchronous fetches of http, https and ftp addresses into byte buffers. The
// body is returned whatever the status (an error page is a body too); only a
// failed transfer, a refused scheme or an exceeded limit gives nothing.
class UrlFetcher : public Installable<UrlFetcher>
{
public:
    struct Limits
    {
        qint64 maxBytes = 1 << 20;
        int timeoutMs = 15'000;
        int connectTimeoutMs = 5'000;
        // For OpenURLs: all fetches together end by then (0: no bound).
        int totalTimeoutMs = 0;
    };

    struct Result
    {
        QByteArray body;
        QString error; // empty on success
        bool ok() const { return error.isEmpty(); }
    };

    virtual ~UrlFetcher() = default;
    virtual Result OpenURL(const QString &url, const Limits &limits) = 0;
    // Several addresses at once, at most `concurrency` in flight; results in
    // the order of the addresses. Connections to one server are reused.
    virtual QList<Result> OpenURLs(const QStringList &urls, const Limits &limits, int concurrency);

    static UrlFetcher &real();
};

} // namespace orvane::platform
