#pragma once

#include <chrono>

namespace orvane::adserver {

class ReportStore;

// Deletes raw report rows past their keeping time, on the writer thread, in
// small batches between group commits: a batch holds the database's write
// lock for a moment, never long enough to keep reports waiting.
class RawRetention
{
public:
    using Clock = std::chrono::steady_clock;

    static constexpr int kBatch = 1000;
    static constexpr std::chrono::seconds kIdleInterval {60};

    // Keeps rows for `days` days; 0 keeps them all.
    explicit RawRetention(int days);

    // When the writer should wake to prune even without reports.
    Clock::time_point due() const { return m_due; }
    // Deletes one batch when one is due. Once a batch comes back short, nothing
    // is due until the interval has passed.
    void prune(ReportStore &store);

private:
    int m_days;
    Clock::time_point m_due;
};

} // namespace orvane::adserver
