#include "ReportWriter.h"

#include "Metrics.h"
#include "RawRetention.h"
#include "WriterHealth.h"

#include <QElapsedTimer>

#include <algorithm>
#include <chrono>
#include <future>

namespace orvane::adserver {

ReportWriter::ReportWriter(DatabaseUrl url, QObject *parent)
    : QObject(parent)
    , m_url(std::move(url))
{
}

ReportWriter::~ReportWriter()
{
    stop();
}

bool ReportWriter::start(QString *error)
{
    std::promise<QString> opened;
    std::future<QString> result = opened.get_future();
    m_thread = std::thread([this, &opened] {
        QString why;
        std::unique_ptr<ReportStore> store = ReportStore::open(m_url, &why, m_options);
        const bool ok = store != nullptr;
        opened.set_value(ok ? QString() : why);
        if (ok)
            run(std::move(store));
    });
    const QString why = result.get();
    if (why.isEmpty())
        return true;
    m_thread.join();
    *error = why;
    return false;
}

quint64 ReportWriter::submit(StoredReport report)
{
    quint64 ticket = 0;
    {
        std::lock_guard lock(m_mutex);
        ticket = m_nextTicket++;
        m_tickets.append(ticket);
        m_queue.append(std::move(report));
    }
    Metrics::instance().writerQueueDepth.fetch_add(1, std::memory_order_relaxed);
    m_wake.notify_one();
    return ticket;
}

void ReportWriter::recordCampaignAds(const QHash<QString, QString> &advertiserOfAd)
{
    {
        std::lock_guard lock(m_mutex);
        m_campaignAds.insert(advertiserOfAd);
    }
    m_wake.notify_one();
}

void ReportWriter::stop()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_one();
    if (m_thread.joinable())
        m_thread.join();
}

qint64 ReportWriter::commitCount() const
{
    std::lock_guard lock(m_mutex);
    return m_commits;
}

void ReportWriter::run(std::unique_ptr<ReportStore> store)
{
    RawRetention retention(m_options.retainRawDays);
    WriterHealth &health = WriterHealth::instance();
    Metrics &metrics = Metrics::instance();
    health.end(true);
    for (;;) {
        QList<quint64> tickets;
        QList<StoredReport> reports;
        QHash<QString, QString> campaignAds;
        {
            std::unique_lock lock(m_mutex);
            const auto ready = [this] { return m_stopping || !m_queue.isEmpty() || !m_campaignAds.isEmpty(); };
            const auto ping = RawRetention::Clock::now() + std::chrono::milliseconds(WriterHealth::kPingIntervalMs);
            const bool woken = m_wake.wait_until(lock, std::min(ping, retention.due()), ready);
            if (!woken) {
                lock.unlock();
                if (RawRetention::Clock::now() >= retention.due()) {
                    retention.prune(*store); // idle: old raw rows go meanwhile
                    continue;
                }
                // Idle: whether the database still answers, for the health check.
                QString why;
                health.begin();
                const bool answers = store->ping(&why);
                health.end(answers, why);
                if (!answers)
                    metrics.databaseErrors.fetch_add(1, std::memory_order_relaxed);
                continue;
            }
            if (m_stopping && m_queue.isEmpty() && m_campaignAds.isEmpty())
                break; // stopping, nothing left
            tickets.swap(m_tickets);
            reports.swap(m_queue);
            campaignAds.swap(m_campaignAds);
        }
        QString error;
        retention.prune(*store); // one bounded batch between group commits
        if (!campaignAds.isEmpty() && !store->recordCampaignAds(campaignAds, &error))
            qWarning("orvane-adserver: the campaign's advertisers were not recorded: %s", qPrintable(error));
        error.clear();
        if (reports.isEmpty())
            continue;
        metrics.writerQueueDepth.fetch_sub(reports.size(), std::memory_order_relaxed);
        health.begin();
        QElapsedTimer took;
        took.start();
        QList<quint64> stored;
        QList<quint64> failed;
        const bool groupStored = store->store(reports, &error);
        if (groupStored) {
            stored = std::move(tickets);
        } else {
            // One report the database refuses must not fail the others: again, one savepoint each.
            qWarning("orvane-adserver: group commit failed, storing one by one: %s", qPrintable(error));
            const QList<bool> each = store->storeEach(reports, &error);
            for (qsizetype i = 0; i < tickets.size(); ++i)
                (each[i] ? stored : failed).append(tickets[i]);
        }
        health.end(groupStored || !stored.isEmpty(), error);
        if (!groupStored)
            metrics.databaseErrors.fetch_add(1, std::memory_order_relaxed);
        metrics.observeCommit(took.nsecsElapsed() / 1000, stored.size(), failed.size());
        {
            std::lock_guard lock(m_mutex);
            ++m_commits;
        }
        Q_EMIT committed(stored, failed, error);
    }
    store.reset();
}

} // namespace orvane::adserver
