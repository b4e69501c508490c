#include "WriterHealth.h"

#include "Metrics.h"

#include <chrono>

namespace orvane::adserver {

WriterHealth &WriterHealth::instance()
{
    static WriterHealth health;
    return health;
}

std::int64_t WriterHealth::nowMs()
{
    // Never 0, which stands for "not yet".
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
               .count()
        + 1;
}

void WriterHealth::begin()
{
    m_busySinceMs.store(nowMs(), std::memory_order_relaxed);
}

void WriterHealth::end(bool ok, const QString &error)
{
    if (ok) {
        m_lastOkMs.store(nowMs(), std::memory_order_relaxed);
    } else {
        std::lock_guard lock(m_mutex);
        m_lastError = error;
        m_lastFailureMs.store(nowMs(), std::memory_order_relaxed);
    }
    m_busySinceMs.store(0, std::memory_order_relaxed);
}

QString WriterHealth::problem() const
{
    const std::int64_t busySince = m_busySinceMs.load(std::memory_order_relaxed);
    const std::int64_t queued = Metrics::instance().writerQueueDepth.load(std::memory_order_relaxed);
    if (busySince != 0 && nowMs() - busySince > kBusyBoundMs)
        return QStringLiteral("the report writer is behind: one database operation has taken %1 s, %2 reports wait")
            .arg((nowMs() - busySince) / 1000)
            .arg(queued);
    if (m_lastFailureMs.load(std::memory_order_relaxed) > m_lastOkMs.load(std::memory_order_relaxed)) {
        std::lock_guard lock(m_mutex);
        return QStringLiteral("the database does not answer: ") + m_lastError;
    }
    return QString();
}

} // namespace orvane::adserver
