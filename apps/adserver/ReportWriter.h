#pragma once

#include "DatabaseUrl.h"
#include "ReportStore.h"

#include <QList>
#include <QObject>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace orvane::adserver {

// What became of the reports of one group commit, by ticket.
struct CommitOutcome
{
    QList<quint64> stored; // committed
    QList<quint64> refused; // the database refused them
    QList<quint64> unavailable; // not stored: the database was busy past the bound, or gone
    QString error; // the database's last complaint
};

// Commits reports in groups on a thread of its own, so that the event loop keeps
// reading while a commit waits for the disk: whatever arrives during one commit
// goes into the next. The database connection lives on that thread only.
//
// A report is answered within the commit bound: when the database is locked,
// stuck or gone longer than that, its reports come back unavailable, never
// acknowledged. A lost connection (a restarted PostgreSQL, a deleted SQLite
// file) is opened again, with a growing pause between attempts.
class ReportWriter : public QObject
{
    Q_OBJECT

public:
    static constexpr int kFirstRetryMs = 50;
    static constexpr int kLongestRetryMs = 5000;

    explicit ReportWriter(DatabaseUrl url, QObject *parent = nullptr);
    ~ReportWriter() override;

    // Before start: how the store is opened, and opened again after a loss.
    void setStoreOptions(const StoreOptions &options) { m_options = options; }
    // Opens the database on the writer thread; false with a reason when it cannot.
    bool start(QString *error);
    // Records, before the next group commit, which advertiser each ad belongs to.
    void recordCampaignAds(const QHash<QString, QString> &advertiserOfAd);
    // Queues a report and returns its ticket, which `committed` names once the
    // report's transaction is durable (or has failed).
    quint64 submit(StoredReport report);
    // Commits what is queued, closes the database and ends the thread.
    void stop();

    qint64 commitCount() const;
    qint64 reconnectCount() const;

Q_SIGNALS:
    // Queued to every receiver's thread: the tickets of one group commit.
    void committed(const CommitOutcome &outcome);

private:
    using Clock = std::chrono::steady_clock;

    void run();
    CommitOutcome commitGroup(const QList<quint64> &tickets, const QList<StoredReport> &reports, Clock::time_point due);
    // Opens the store again, pausing between attempts, until it opens or `due` passes.
    bool reopen(Clock::time_point due, QString *error);
    // Records the advertisers not yet in the current store; kept for later when it is busy or lost.
    void recordCampaignAdsNow();

    const DatabaseUrl m_url;
    StoreOptions m_options;
    std::unique_ptr<ReportStore> m_store; // writer thread only; null while the database is lost
    Clock::time_point m_nextAttempt; // writer thread only
    int m_retryMs = kFirstRetryMs; // writer thread only
    QHash<QString, QString> m_knownCampaignAds; // writer thread only: recorded again into a reopened store
    QHash<QString, QString> m_unrecordedCampaignAds; // writer thread only
    std::thread m_thread;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    QList<quint64> m_tickets;
    QList<StoredReport> m_queue;
    QList<Clock::time_point> m_submitted;
    QHash<QString, QString> m_campaignAds; // not yet recorded
    quint64 m_nextTicket = 1;
    bool m_stopping = false;
    qint64 m_commits = 0;
    qint64 m_reconnects = 0;
};

} // namespace orvane::adserver
