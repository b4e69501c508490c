#pragma once

#include <QString>

#include <atomic>
#include <cstdint>
#include <mutex>

namespace orvane::adserver {

// What the report writer's database last did, for the health check: the writer
// marks the start and end of every commit and of its pings while idle.
class WriterHealth
{
public:
    // Longer than this on one commit or ping and the writer counts as behind.
    static constexpr std::int64_t kBusyBoundMs = 5000;
    // How often an idle writer asks the database whether it still answers.
    static constexpr int kPingIntervalMs = 2000;

    static WriterHealth &instance();

    void begin();
    void end(bool ok, const QString &error = QString());

    // Empty when the database answers and the writer keeps up; otherwise why not.
    QString problem() const;

private:
    WriterHealth() = default;
    static std::int64_t nowMs();

    std::atomic<std::int64_t> m_busySinceMs {0}; // 0: idle
    std::atomic<std::int64_t> m_lastOkMs {0};
    std::atomic<std::int64_t> m_lastFailureMs {0};
    mutable std::mutex m_mutex;
    QString m_lastError;
};

} // namespace orvane::adserver
