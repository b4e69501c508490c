#pragma once

#include "DatabaseUrl.h"
#include "ReportStore.h"

#include <QList>
#include <QObject>

#include <condition_variable>
#include <mutex>
#include <thread>

namespace orvane::adserver {

// Commits reports in groups on a thread of its own, so that the event loop keeps
// reading while a commit waits for the disk: whatever arrives during one commit
// goes into the next. The database connection lives on that thread only.
class ReportWriter : public QObject
{
    Q_OBJECT

public:
    explicit ReportWriter(DatabaseUrl url, QObject *parent = nullptr);
    ~ReportWriter() override;

    // Before start: how the store is opened.
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

Q_SIGNALS:
    // Queued to every receiver's thread: the tickets of one group commit, those
    // stored and those that failed (with the database's last complaint).
    void committed(const QList<quint64> &stored, const QList<quint64> &failed, const QString &error);

private:
    void run(std::unique_ptr<ReportStore> store);

    DatabaseUrl m_url;
    StoreOptions m_options;
    std::thread m_thread;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    QList<quint64> m_tickets;
    QList<StoredReport> m_queue;
    QHash<QString, QString> m_campaignAds; // not yet recorded
    quint64 m_nextTicket = 1;
    bool m_stopping = false;
    qint64 m_commits = 0;
};

} // namespace orvane::adserver
