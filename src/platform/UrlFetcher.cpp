#include "platform/UrlFetcher.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>

#include <curl/curl.h>

#include <map>

namespace orvane::platform {

namespace {

struct Transfer
{
    int id = 0;
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

// libcurl's multi interface driven by the Qt event loop: curl names the
// sockets it waits on and the time it next needs to run (the socket and
// timer callbacks), socket notifiers and a single-shot timer hand control
// back with curl_multi_socket_action. No thread, no blocking call: the
// thread's other events run between any two steps of any transfer.
class CurlBatch final : public QObject, public UrlFetcher::Batch
{
public:
    CurlBatch(const UrlFetcher::Limits &limits, UrlFetcher::Handler handler)
        : m_limits(limits)
        , m_handler(std::move(handler))
        , m_multi(curl_multi_init())
    {
        m_clock.start();
        curl_multi_setopt(m_multi, CURLMOPT_MAX_TOTAL_CONNECTIONS, long(std::max(1, limits.concurrency)));
        curl_multi_setopt(m_multi, CURLMOPT_SOCKETFUNCTION, &CurlBatch::onSocket);
        curl_multi_setopt(m_multi, CURLMOPT_SOCKETDATA, this);
        curl_multi_setopt(m_multi, CURLMOPT_TIMERFUNCTION, &CurlBatch::onTimer);
        curl_multi_setopt(m_multi, CURLMOPT_TIMERDATA, this);
        m_timer.setSingleShot(true);
        connect(&m_timer, &QTimer::timeout, this, [this] { act(CURL_SOCKET_TIMEOUT, 0); });
        m_delivery.setSingleShot(true);
        m_delivery.setInterval(0);
        connect(&m_delivery, &QTimer::timeout, this, &CurlBatch::deliver);
    }

    ~CurlBatch() override
    {
        m_timer.stop();
        for (auto &[easy, transfer] : m_transfers) {
            curl_multi_remove_handle(m_multi, easy);
            curl_easy_cleanup(easy);
        }
        m_transfers.clear();
        curl_multi_cleanup(m_multi);
    }

    void fetch(int id, const QString &url) override
    {
        long timeoutMs = m_limits.timeoutMs;
        if (m_limits.totalTimeoutMs > 0) {
            const qint64 left = m_limits.totalTimeoutMs - m_clock.elapsed();
            if (left <= 0) {
                fail(id, QStringLiteral("not fetched: retrieval time used up"), true);
                return;
            }
            timeoutMs = long(std::min<qint64>(timeoutMs, left));
        }
        auto transfer = std::make_unique<Transfer>();
        transfer->id = id;
        transfer->maxBytes = m_limits.maxBytes;
        CURL *easy = curl_easy_init();
        if (!easy) {
            fail(id, QStringLiteral("out of memory"));
            return;
        }
        const QByteArray address = url.toUtf8();
        curl_easy_setopt(easy, CURLOPT_URL, address.constData());
        curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https,ftp");
        curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, timeoutMs);
        curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, long(m_limits.connectTimeoutMs));
        curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(m_limits.maxBytes));
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &collect);
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, transfer.get());
        curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, transfer->errorBuffer);
        if (curl_multi_add_handle(m_multi, easy) != CURLM_OK) {
            curl_easy_cleanup(easy);
            fail(id, QStringLiteral("cannot start the transfer"));
            return;
        }
        m_transfers.emplace(easy, std::move(transfer));
    }

private:
    struct Watch
    {
        QSocketNotifier *read = nullptr;
        QSocketNotifier *write = nullptr;
    };

    static int onSocket(CURL *, curl_socket_t socket, int what, void *self, void *)
    {
        static_cast<CurlBatch *>(self)->watch(socket, what);
        return 0;
    }

    static int onTimer(CURLM *, long timeoutMs, void *self)
    {
        // curl must not be called back from inside its own callback: a zero
        // time-out runs from the event loop like any other.
        QTimer &timer = static_cast<CurlBatch *>(self)->m_timer;
        if (timeoutMs < 0)
            timer.stop();
        else
            timer.start(int(std::min<long>(timeoutMs, 24L * 3600 * 1000)));
        return 0;
    }

    void watch(curl_socket_t socket, int what)
    {
        if (what == CURL_POLL_REMOVE) {
            const auto found = m_watches.find(socket);
            if (found == m_watches.end())
                return;
            // Possibly called from this very notifier's signal: let it go later.
            for (QSocketNotifier *notifier : {found->second.read, found->second.write}) {
                notifier->setEnabled(false);
                notifier->deleteLater();
            }
            m_watches.erase(found);
            return;
        }
        Watch &w = m_watches[socket];
        if (!w.read) {
            w.read = new QSocketNotifier(qintptr(socket), QSocketNotifier::Read, this);
            w.write = new QSocketNotifier(qintptr(socket), QSocketNotifier::Write, this);
            connect(w.read, &QSocketNotifier::activated, this, [this, socket] { act(socket, CURL_CSELECT_IN); });
            connect(w.write, &QSocketNotifier::activated, this, [this, socket] { act(socket, CURL_CSELECT_OUT); });
        }
        w.read->setEnabled(what == CURL_POLL_IN || what == CURL_POLL_INOUT);
        w.write->setEnabled(what == CURL_POLL_OUT || what == CURL_POLL_INOUT);
    }

    void act(curl_socket_t socket, int events)
    {
        int running = 0;
        curl_multi_socket_action(m_multi, socket, events, &running);
        int queued = 0;
        while (CURLMsg *msg = curl_multi_info_read(m_multi, &queued)) {
            if (msg->msg != CURLMSG_DONE)
                continue;
            CURL *easy = msg->easy_handle;
            const CURLcode code = msg->data.result;
            const auto found = m_transfers.find(easy);
            if (found == m_transfers.end())
                continue;
            Transfer &t = *found->second;
            UrlFetcher::Result result;
            if (code == CURLE_OK) {
                result.body = std::move(t.body);
            } else if (t.tooLarge || code == CURLE_FILESIZE_EXCEEDED) {
                result.error = QStringLiteral("larger than %1 bytes").arg(m_limits.maxBytes);
                result.limited = true;
            } else {
                result.limited = code == CURLE_OPERATION_TIMEDOUT;
                result.error = QString::fromUtf8(t.errorBuffer[0] ? t.errorBuffer : curl_easy_strerror(code));
            }
            m_done.append({t.id, std::move(result)});
            curl_multi_remove_handle(m_multi, easy);
            curl_easy_cleanup(easy);
            m_transfers.erase(found);
        }
        deliver();
    }

    void fail(int id, const QString &error, bool limited = false)
    {
        m_done.append({id, UrlFetcher::Result {QByteArray(), error, limited}});
        m_delivery.start();
    }

    void deliver()
    {
        const QPointer<CurlBatch> self(this);
        while (!m_done.isEmpty()) {
            const auto [id, result] = m_done.takeFirst();
            m_handler(id, result);
            if (!self)
                return;
        }
    }

    UrlFetcher::Limits m_limits;
    UrlFetcher::Handler m_handler;
    CURLM *m_multi;
    QElapsedTimer m_clock;
    QTimer m_timer;
    QTimer m_delivery;
    std::map<curl_socket_t, Watch> m_watches;
    std::map<CURL *, std::unique_ptr<Transfer>> m_transfers;
    QList<std::pair<int, UrlFetcher::Result>> m_done;
};

class CurlFetcher final : public UrlFetcher
{
public:
    CurlFetcher() { curl_global_init(CURL_GLOBAL_DEFAULT); }

    std::unique_ptr<Batch> startBatch(const Limits &limits, Handler handler) override
    {
        return std::make_unique<CurlBatch>(limits, std::move(handler));
    }
};

} // namespace

UrlFetcher &UrlFetcher::real()
{
    static CurlFetcher fetcher;
    return fetcher;
}

} // namespace orvane::platform
