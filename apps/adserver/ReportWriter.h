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

    // Opens the database on the writer thread; false with a reason when it cannot.
    bool start(QString *error);
    // Queues a report; `committed` names its ticket once its transaction is durable.
    void submit(quint64 ticket, StoredReport report);
    // Commits what is queued, closes the database and ends the thread.
    void stop();

    qint64 commitCount() const;

Q_SIGNALS:
    // Delivered on the thread that owns the writer. `ok` false: the transaction failed.
    void committed(const QList<quint64> &tickets, bool ok, const QString &error);

private:
    void run(std::unique_ptr<ReportStore> store);

    DatabaseUrl m_url;
    std::thread m_thread;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    QList<quint64> m_tickets;
    QList<StoredReport> m_queue;
    bool m_stopping = false;
    qint64 m_commits = 0;
};

} // namespace orvane::adserver
