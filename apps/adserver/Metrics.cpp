#include "Metrics.h"

namespace orvane::adserver {

namespace {
constexpr const char *kPrefix = "orvane_adserver_";
constexpr std::array<const char *, 5> kEndpointNames = {"usage", "ads", "images", "admin", "other"};

void header(QByteArray &out, const char *name, const char *type, const char *help)
{
    out += "# HELP ";
    out += kPrefix;
    out += name;
    out += ' ';
    out += help;
    out += "\n# TYPE ";
    out += kPrefix;
    out += name;
    out += ' ';
    out += type;
    out += '\n';
}

void single(QByteArray &out, const char *name, const char *type, const char *help, std::int64_t value)
{
    header(out, name, type, help);
    out += kPrefix;
    out += name;
    out += ' ';
    out += QByteArray::number(qint64(value));
    out += '\n';
}

// "0.0005", "10", "1.5e-05": forms a scraper's float parser reads.
QByteArray decimal(double value)
{
    return QByteArray::number(value, 'g', 12);
}
} // namespace

Metrics &Metrics::instance()
{
    static Metrics metrics;
    return metrics;
}

Metrics::Endpoint Metrics::endpointOf(const QByteArray &target)
{
    if (target == "/Orvane/Usage")
        return Endpoint::Usage;
    if (target == "/Orvane/Ads")
        return Endpoint::Ads;
    if (target.startsWith("/images/"))
        return Endpoint::Images;
    return Endpoint::Other;
}

void Metrics::countRequest(Endpoint endpoint, int status)
{
    std::size_t column = kStatuses.size() - 1;
    for (std::size_t i = 0; i + 1 < kStatuses.size(); ++i) {
        if (kStatuses[i] == status) {
            column = i;
            break;
        }
    }
    m_requests[std::size_t(endpoint)][column].fetch_add(1, std::memory_order_relaxed);
}

void Metrics::observeCommit(std::int64_t microseconds, std::int64_t stored, std::int64_t failed)
{
    std::size_t bucket = 0;
    while (bucket < kCommitBuckets.size() && double(microseconds) > kCommitBuckets[bucket] * 1e6)
        ++bucket;
    m_commitBuckets[bucket].fetch_add(1, std::memory_order_relaxed);
    m_commitMicroseconds.fetch_add(microseconds, std::memory_order_relaxed);
    reportsCommitted.fetch_add(stored, std::memory_order_relaxed);
    reportsFailed.fetch_add(failed, std::memory_order_relaxed);
}

QByteArray Metrics::render() const
{
    auto load = [](const std::atomic<std::int64_t> &a) { return a.load(std::memory_order_relaxed); };
    QByteArray out;
    out.reserve(4096);

    header(out, "requests_total", "counter", "Requests answered, by endpoint and status (0: any other status).");
    for (std::size_t e = 0; e < kEndpoints; ++e) {
        for (std::size_t s = 0; s < kStatuses.size(); ++s) {
            const std::int64_t n = load(m_requests[e][s]);
            // Series that never moved are left out; a scraper reads a missing one as 0.
            if (n == 0 && !(e == 0 && s == 0))
                continue;
            out += kPrefix;
            out += "requests_total{endpoint=\"";
            out += kEndpointNames[e];
            out += "\",status=\"";
            out += QByteArray::number(kStatuses[s]);
            out += "\"} ";
            out += QByteArray::number(qint64(n));
            out += '\n';
        }
    }
    single(out, "reports_committed_total", "counter", "Usage reports stored by a committed transaction.",
        load(reportsCommitted));
    single(out, "reports_failed_total", "counter", "Usage reports the database refused.", load(reportsFailed));

    header(out, "report_commit_seconds", "histogram", "Time of one group commit of usage reports.");
    std::int64_t cumulative = 0;
    for (std::size_t b = 0; b <= kCommitBuckets.size(); ++b) {
        cumulative += load(m_commitBuckets[b]);
        out += kPrefix;
        out += "report_commit_seconds_bucket{le=\"";
        out += b < kCommitBuckets.size() ? decimal(kCommitBuckets[b]) : QByteArray("+Inf");
        out += "\"} ";
        out += QByteArray::number(qint64(cumulative));
        out += '\n';
    }
    out += kPrefix;
    out += "report_commit_seconds_sum ";
    out += decimal(double(load(m_commitMicroseconds)) / 1e6);
    out += '\n';
    out += kPrefix;
    out += "report_commit_seconds_count ";
    out += QByteArray::number(qint64(cumulative));
    out += '\n';

    single(out, "writer_queue_depth", "gauge", "Usage reports waiting for the report writer.", load(writerQueueDepth));
    single(out, "open_connections", "gauge", "Client connections open now.", load(openConnections));
    single(out, "refused_connections_total", "counter", "Client connections closed at once, over a connection limit.",
        load(refusedConnections));
    single(
        out, "image_bytes_served_total", "counter", "Bytes of ad images sent (bodies only).", load(imageBytesServed));
    single(out, "database_errors_total", "counter", "Failed database operations.", load(databaseErrors));
    single(out, "database_reconnects_total", "counter", "Connections to the database opened again after a loss.",
        load(databaseReconnects));
    single(
        out, "log_lines_dropped_total", "counter", "Log lines standard output had no room for.", load(logLinesDropped));
    single(out, "campaign_ads", "gauge", "Ads in the campaign being served.", load(campaignAds));
    single(out, "campaign_reloads_total", "counter", "Campaigns loaded again on SIGHUP.", load(campaignReloads));
    single(out, "campaign_reload_failures_total", "counter", "Campaign reloads refused; the earlier one stayed.",
        load(campaignReloadFailures));
    return out;
}

} // namespace orvane::adserver
