#include "ReportWriter.h"

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
        std::unique_ptr<ReportStore> store = ReportStore::open(m_url, &why);
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

void ReportWriter::submit(quint64 ticket, StoredReport report)
{
    {
        std::lock_guard lock(m_mutex);
        m_tickets.append(ticket);
        m_queue.append(std::move(report));
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
    for (;;) {
        QList<quint64> tickets;
        QList<StoredReport> reports;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping || !m_queue.isEmpty(); });
            if (m_queue.isEmpty())
                break; // stopping, nothing left
            tickets.swap(m_tickets);
            reports.swap(m_queue);
        }
        QString error;
        const bool ok = store->store(reports, &error);
        {
            std::lock_guard lock(m_mutex);
            ++m_commits;
        }
        // Queued to the owner's thread: this object lives there.
        Q_EMIT committed(tickets, ok, error);
    }
    store.reset();
}

} // namespace orvane::adserver
