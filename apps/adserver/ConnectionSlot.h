#pragma once

#include <QHostAddress>

#include <atomic>
#include <chrono>

namespace orvane::adserver {

class ClientConnection;

// A connection's place in the server's limits, seen by every event loop: how
// long its unfinished request has been under way, so that a full server can
// close the connection that has made the least progress.
struct ConnectionSlot
{
    // `since` while a complete request is being served, and once the slot is shed.
    static constexpr qint64 kBusy = -1;
    static constexpr qint64 kShed = -2;

    static qint64 nowMs()
    {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }

    QHostAddress group;
    // When the unfinished request began (steady milliseconds, counted from the
    // end of the last answer or the connect), or kBusy, or kShed.
    std::atomic<qint64> since {nowMs()};
    // Guarded by the limits' mutex: the connection to close when shed, null once released.
    ClientConnection *connection = nullptr;
    bool counted = true; // guarded by the limits' mutex
};

} // namespace orvane::adserver
