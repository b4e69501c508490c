#pragma once

#include <QByteArray>

#include <array>
#include <atomic>
#include <cstdint>

namespace orvane::adserver {

// The process's counters and gauges, shared by every event loop and the report
// writer: plain relaxed atomics, so that counting costs no lock. `render` writes
// them in the Prometheus text exposition format (version 0.0.4).
class Metrics
{
public:
    enum class Endpoint { Usage, Ads, Images, Admin, Other, Count };
    // The statuses the server answers with; anything else is counted under "other".
    static constexpr std::array<int, 9> kStatuses = {200, 400, 401, 404, 405, 413, 500, 503, 0};
    // Upper bounds of the commit latency buckets, in seconds.
    static constexpr std::array<double, 14> kCommitBuckets
        = {0.0005, 0.001, 0.0025, 0.005, 0.01, 0.025, 0.05, 0.1, 0.25, 0.5, 1, 2.5, 5, 10};

    static Metrics &instance();

    static Endpoint endpointOf(const QByteArray &target);
    void countRequest(Endpoint endpoint, int status);
    void observeCommit(std::int64_t microseconds, std::int64_t stored, std::int64_t failed);

    std::atomic<std::int64_t> reportsCommitted {0};
    std::atomic<std::int64_t> reportsFailed {0};
    std::atomic<std::int64_t> writerQueueDepth {0};
    std::atomic<std::int64_t> openConnections {0};
    std::atomic<std::int64_t> refusedConnections {0};
    std::atomic<std::int64_t> imageBytesServed {0};
    std::atomic<std::int64_t> databaseErrors {0};
    std::atomic<std::int64_t> databaseReconnects {0};
    std::atomic<std::int64_t> logLinesDropped {0};
    std::atomic<std::int64_t> campaignAds {0};
    std::atomic<std::int64_t> campaignReloads {0};
    std::atomic<std::int64_t> campaignReloadFailures {0};

    QByteArray render() const;

private:
    Metrics() = default;

    static constexpr std::size_t kEndpoints = std::size_t(Endpoint::Count);
    std::array<std::array<std::atomic<std::int64_t>, kStatuses.size()>, kEndpoints> m_requests {};
    // Per bucket, not cumulative: the rendering sums them up.
    std::array<std::atomic<std::int64_t>, kCommitBuckets.size() + 1> m_commitBuckets {};
    std::atomic<std::int64_t> m_commitMicroseconds {0};
};

} // namespace orvane::adserver
