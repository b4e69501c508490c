#pragma once

#include <QHash>
#include <QHostAddress>

#include <mutex>

namespace orvane::adserver {

// How many connections the server holds, in all and per peer address, shared
// by every event loop of the process. The per-peer cap lies below the total so
// that one address holding many slow connections leaves room for everyone else.
class ConnectionLimits
{
public:
    ConnectionLimits(int total, int perPeer);

    // Counts a new connection from `peer`; false (and nothing counted) when a cap is reached.
    bool admit(const QHostAddress &peer);
    void release(const QHostAddress &peer);

    // The address connections are counted under: IPv4 for an IPv4-mapped IPv6 peer.
    static QHostAddress key(const QHostAddress &peer);

private:
    const int m_totalCap;
    const int m_perPeerCap;
    std::mutex m_mutex;
    int m_total = 0;
    QHash<QHostAddress, int> m_perPeer;
};

} // namespace orvane::adserver
