#include "platform/UrlFetcher.h"

#include <QElapsedTimer>

#include <curl/curl.h>

#include <memory>

namespace orvane::platform {

QList<UrlFetcher::Result> UrlFetcher::OpenURLs(const QStringList &urls, const Limits &limits, int)
{
    QList<Result> results;
    for (const QString &url : urls)
        results.append(OpenURL(url, limits));
    return results;
}

namespace {

struct Transfer
{
    QByteArray body;
    qint64 maxBytes = 0;
    bool tooLarge = false;
    char errorBuffer[CURL_ERROR_SIZE] = {};
};

size_t collect(char *data, size_t size, size_t count, void *user)
{
    auto *transfer = static_cast<Transfer *>(user);
    const size_t bytes = size * count;
    if (transfer->body.size() + qint64(bytes) > transfer->maxBytes) {
        transfer->tooLarge = true;
        return 0; // aborts the transfer
    }
    transfer->body.append(data, qsizetype(bytes));
    return bytes;
}

class CurlFetcher final : public UrlFetcher
{
public:
    CurlFetcher()
    {
        curl_global_init(CURL_GLOBAL_DEFAULT);
        m_share = curl_share_init();
        curl_share_setopt(m_share, CURLSHOPT_SHARE, CURL_LOCK_DATA_CONNECT);
        curl_share_setopt(m_share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
    }

    Result OpenURL(const QString &url, const Limits &limits) override { return OpenURLs({url}, limits, 1).value(0); }

    QList<Result> OpenURLs(const QStringList &urls, const Limits &limits, int concurrency) override
    {
        QList<Result> results(urls.size());
        std::vector<std::unique_ptr<Transfer>> transfers(urls.size());
        std::vector<CURL *> handles(urls.size(), nullptr);
        CURLM *multi = curl_multi_init();
        curl_multi_setopt(multi, CURLMOPT_MAX_TOTAL_CONNECTIONS, long(std::max(1, concurrency)));

        qsizetype next = 0;
        int running = 0;
        QElapsedTimer clock;
        clock.start();
        const auto remainingMs = [&]() -> long {
            return limits.totalTimeoutMs > 0 ? std::max<long>(1, long(limits.totalTimeoutMs - clock.elapsed()))
                                             : long(limits.timeoutMs);
        };
        auto start = [&](qsizetype i) {
            transfers[i] = std::make_unique<Transfer>();
            transfers[i]->maxBytes = limits.maxBytes;
            CURL *easy = curl_easy_init();
            handles[i] = easy;
            const QByteArray address = urls[i].toUtf8();
            curl_easy_setopt(easy, CURLOPT_URL, address.constData());
            curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https,ftp");
            curl_easy_setopt(easy, CURLOPT_SHARE, m_share);
            curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
            curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, std::min(long(limits.timeoutMs), remainingMs()));
            curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, long(limits.connectTimeoutMs));
            curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(limits.maxBytes));
            curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &collect);
            curl_easy_setopt(easy, CURLOPT_WRITEDATA, transfers[i].get());
            curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, transfers[i]->errorBuffer);
            curl_easy_setopt(easy, CURLOPT_PRIVATE, reinterpret_cast<void *>(i));
            curl_multi_add_handle(multi, easy);
            ++running;
        };
        while (next < urls.size() && running < std::max(1, concurrency))
            start(next++);

        while (running > 0) {
            int stillRunning = 0;
            curl_multi_perform(multi, &stillRunning);
            int queued = 0;
            while (CURLMsg *msg = curl_multi_info_read(multi, &queued)) {
                if (msg->msg != CURLMSG_DONE)
                    continue;
                void *priv = nullptr;
                curl_easy_getinfo(msg->easy_handle, CURLINFO_PRIVATE, &priv);
                const qsizetype i = reinterpret_cast<qsizetype>(priv);
                Transfer &t = *transfers[i];
                if (msg->data.result == CURLE_OK) {
                    results[i].body = std::move(t.body);
                } else {
                    results[i].error = t.tooLarge
                        ? QStringLiteral("larger than %1 bytes").arg(limits.maxBytes)
                        : QString::fromUtf8(t.errorBuffer[0] ? t.errorBuffer : curl_easy_strerror(msg->data.result));
                }
                curl_multi_remove_handle(multi, msg->easy_handle);
                curl_easy_cleanup(msg->easy_handle);
                handles[i] = nullptr;
                --running;
                if (next < urls.size()) {
                    if (limits.totalTimeoutMs > 0 && clock.elapsed() >= limits.totalTimeoutMs) {
                        // Out of time: the rest are not fetched at all.
                        for (; next < urls.size(); ++next)
                            results[next].error = QStringLiteral("not fetched: retrieval time used up");
                    } else {
                        start(next++);
                    }
                }
            }
            if (running > 0)
                curl_multi_poll(multi, nullptr, 0, 100, nullptr);
        }
        curl_multi_cleanup(multi);
        return results;
    }

private:
    CURLSH *m_share = nullptr;
};

} // namespace

UrlFetcher &UrlFetcher::real()
{
    static CurlFetcher fetcher;
    return fetcher;
}

} // namespace orvane::platform
