#include "RawRetention.h"

#include "ReportStore.h"

namespace orvane::adserver {

RawRetention::RawRetention(int days)
    : m_days(days)
    , m_due(days > 0 ? Clock::now() : Clock::time_point::max())
{
}

void RawRetention::prune(ReportStore &store)
{
    if (Clock::now() < m_due)
        return;
    QString error;
    const QDateTime cutoff = QDateTime::currentDateTimeUtc().addDays(-m_days);
    const qsizetype deleted = store.pruneRaw(cutoff, kBatch, &error);
    if (deleted < 0)
        qWarning("orvane-adserver: old raw reports were not deleted: %s", qPrintable(error));
    // More may be left after a full batch: the next one goes after the next commit.
    m_due = deleted == kBatch ? Clock::now() : Clock::now() + kIdleInterval;
}

} // namespace orvane::adserver
