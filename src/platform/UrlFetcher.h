#pragma once

#include "platform/Installable.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>

namespace orvane::platform {

// Fetches of http, https and ftp addresses into byte buffers, run by the
// calling thread's event loop: nothing waits for the network. The body is
// returned whatever the status (an error page is a body too); only a failed
// transfer, a refused scheme or an exceeded limit gives nothing.
class UrlFetcher : public Installable<UrlFetcher>
{
public:
    struct Limits
    {
        qint64 maxBytes = 1 << 20;
        int timeoutMs = 15'000;
        int connectTimeoutMs = 5'000;
        // Every fetch of a batch ends by then, counted from the batch's start;
        // later fetches are not made at all (0: no bound).
        int totalTimeoutMs = 0;
        // Connections open at once; connections to one server are reused.
        int concurrency = 4;
    };

    struct Result
    {
        QByteArray body;
        QString error; // empty on success
        bool limited = false; // refused for a limit: too large, too slow, out of time
        bool ok() const { return error.isEmpty(); }
    };

    // Receives each result, from the event loop and never from inside
    // fetch(). It may destroy the batch.
    using Handler = std::function<void(int id, const Result &result)>;

    // A set of fetches sharing connections and one time budget. Destroying it
    // cancels what still runs; no handler call follows.
    class Batch
    {
    public:
        virtual ~Batch() = default;
        // Starts fetching at once; the result comes to the handler under id.
        virtual void fetch(int id, const QString &url) = 0;
    };

    virtual ~UrlFetcher() = default;
    virtual std::unique_ptr<Batch> startBatch(const Limits &limits, Handler handler) = 0;

    static UrlFetcher &real();
};

} // namespace orvane::platform
