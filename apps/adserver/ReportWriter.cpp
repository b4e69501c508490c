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
        m_store = ReportStore::open(m_url, &why, m_options);
        const bool ok = m_store != nullptr;
        opened.set_value(ok ? QString() : why);
        if (ok)
            run();
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
        m_submitted.append(Clock::now());
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

qint64 ReportWriter::reconnectCount() const
{
    std::lock_guard lock(m_mutex);
    return m_reconnects;
}

void ReportWriter::run()
{
    const auto bound = std::chrono::milliseconds(m_options.commitTimeoutMs);
    RawRetention retention(m_options.retainRawDays);
    WriterHealth &health = WriterHealth::instance();
    Metrics &metrics = Metrics::instance();
    health.end(true);
    for (;;) {
        QList<quint64> tickets;
        QList<StoredReport> reports;
        QList<Clock::time_point> submitted;
        {
            std::unique_lock lock(m_mutex);
            const auto ready = [this] { return m_stopping || !m_queue.isEmpty() || !m_campaignAds.isEmpty(); };
            const auto ping = RawRetention::Clock::now() + std::chrono::milliseconds(WriterHealth::kPingIntervalMs);
            // While the database is lost, old rows wait for it to come back.
            const auto wake = m_store ? std::min(ping, retention.due()) : ping;
            const bool woken = m_wake.wait_until(lock, wake, ready);
            if (!woken) {
                lock.unlock();
                if (m_store && RawRetention::Clock::now() >= retention.due()) {
                    retention.prune(*m_store); // idle: old raw rows go meanwhile
                    continue;
                }
                // Idle: whether the database still answers, for the health check.
                QString why;
                health.begin();
                // A store lost meanwhile is opened again before the next group, not here.
                const bool answers = m_store && m_store->ping(&why);
                health.end(answers, why);
                if (!answers)
                    metrics.databaseErrors.fetch_add(1, std::memory_order_relaxed);
                continue;
            }
            if (m_stopping && m_queue.isEmpty() && m_campaignAds.isEmpty())
                break; // stopping, nothing left
            tickets.swap(m_tickets);
            reports.swap(m_queue);
            submitted.swap(m_submitted);
            m_knownCampaignAds.insert(m_campaignAds);
            m_unrecordedCampaignAds.insert(m_campaignAds);
            m_campaignAds.clear();
        }
        if (m_store)
            retention.prune(*m_store); // one bounded batch between group commits
        recordCampaignAdsNow();
        if (reports.isEmpty())
            continue;
        metrics.writerQueueDepth.fetch_sub(reports.size(), std::memory_order_relaxed);
        health.begin();
        QElapsedTimer took;
        took.start();
        // Reports that already waited out their bound behind a stuck commit are
        // answered at once rather than waiting for another.
        CommitOutcome outcome;
        const Clock::time_point now = Clock::now();
        QList<quint64> fresh;
        QList<StoredReport> freshReports;
        Clock::time_point due = now + bound; // the bound of the group's oldest fresh report
        for (qsizetype i = 0; i < tickets.size(); ++i) {
            if (now - submitted[i] >= bound) {
                outcome.unavailable.append(tickets[i]);
            } else {
                fresh.append(tickets[i]);
                freshReports.append(std::move(reports[i]));
                due = std::min(due, submitted[i] + bound);
            }
        }
        if (!outcome.unavailable.isEmpty())
            outcome.error = QStringLiteral("%1: the last commit took longer than the bound").arg(m_url.display());
        if (!fresh.isEmpty()) {
            CommitOutcome group = commitGroup(fresh, freshReports, due);
            outcome.stored = std::move(group.stored);
            outcome.refused = std::move(group.refused);
            outcome.unavailable += group.unavailable;
            if (!group.error.isEmpty())
                outcome.error = group.error;
        }
        const bool groupStored = outcome.refused.isEmpty() && outcome.unavailable.isEmpty();
        health.end(groupStored || !outcome.stored.isEmpty(), outcome.error);
        if (!groupStored)
            metrics.databaseErrors.fetch_add(1, std::memory_order_relaxed);
        metrics.observeCommit(
            took.nsecsElapsed() / 1000, outcome.stored.size(), outcome.refused.size() + outcome.unavailable.size());
        {
            std::lock_guard lock(m_mutex);
            ++m_commits;
        }
        Q_EMIT committed(outcome);
    }
    m_store.reset();
}

CommitOutcome ReportWriter::commitGroup(
    const QList<quint64> &tickets, const QList<StoredReport> &reports, Clock::time_point due)
{
    CommitOutcome outcome;
    const auto unavailable = [&](const QString &why) {
        outcome.unavailable = tickets;
        outcome.error = why;
        return outcome;
    };
    // A store found gone is opened again once per group; a group never retries a commit twice.
    for (int attempt = 0;; ++attempt) {
        QString why;
        if (!m_store && !reopen(due, &why))
            return unavailable(why);
        if (m_store->store(reports, &why)) {
            outcome.stored = tickets;
            return outcome;
        }
        ReportStore::Failure failure = m_store->failure();
        if (failure == ReportStore::Failure::Refused && !m_store->isUsable(&why))
            failure = ReportStore::Failure::Lost;
        if (failure == ReportStore::Failure::Timeout)
            return unavailable(why);
        if (failure == ReportStore::Failure::Lost) {
            qWarning("orvane-adserver: %s; opening the database again", qPrintable(why));
            m_store.reset();
            if (attempt == 0 && Clock::now() < due)
                continue;
            return unavailable(why);
        }
        // One report the database refuses must not fail the others: again, one savepoint each.
        qWarning("orvane-adserver: group commit failed, storing one by one: %s", qPrintable(why));
        const QList<bool> each = m_store->storeEach(reports, &outcome.error);
        const bool busy
            = m_store->failure() != ReportStore::Failure::Refused && m_store->failure() != ReportStore::Failure::None;
        for (qsizetype i = 0; i < tickets.size(); ++i)
            (each[i] ? outcome.stored : busy ? outcome.unavailable : outcome.refused).append(tickets[i]);
        return outcome;
    }
}

void ReportWriter::recordCampaignAdsNow()
{
    if (!m_store || m_unrecordedCampaignAds.isEmpty())
        return;
    QString error;
    if (m_store->recordCampaignAds(m_unrecordedCampaignAds, &error)) {
        m_unrecordedCampaignAds.clear();
        return;
    }
    qWarning("orvane-adserver: the campaign's advertisers were not recorded: %s", qPrintable(error));
    if (m_store->failure() == ReportStore::Failure::Refused)
        m_unrecordedCampaignAds.clear(); // another try would be refused the same way
}

bool ReportWriter::reopen(Clock::time_point due, QString *error)
{
    for (;;) {
        if (Clock::now() < m_nextAttempt) {
            std::unique_lock lock(m_mutex);
            // The pause between attempts; a stop cuts it short.
            if (m_nextAttempt > due || m_wake.wait_until(lock, m_nextAttempt, [this] { return m_stopping; })) {
                if (error->isEmpty())
                    *error = QStringLiteral("%1: the database is unavailable").arg(m_url.display());
                return false;
            }
        }
        m_store = ReportStore::open(m_url, error, m_options);
        if (m_store) {
            m_retryMs = kFirstRetryMs;
            {
                std::lock_guard lock(m_mutex);
                ++m_reconnects;
            }
            qWarning("orvane-adserver: %s is open again", qPrintable(m_url.display()));
            // A database made anew (a deleted SQLite file) knows no advertisers yet.
            m_unrecordedCampaignAds = m_knownCampaignAds;
            recordCampaignAdsNow();
            return true;
        }
        qWarning("orvane-adserver: %s", qPrintable(*error));
        m_nextAttempt = Clock::now() + std::chrono::milliseconds(m_retryMs);
        m_retryMs = std::min(2 * m_retryMs, kLongestRetryMs);
    }
}

} // namespace orvane::adserver
