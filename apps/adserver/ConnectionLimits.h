#pragma once

#include "ConnectionSlot.h"

#include <QHash>
#include <QHostAddress>
#include <QList>

#include <memory>
#include <mutex>

namespace orvane::adserver {

// How many connections the server holds, in all and per peer, shared by every
// event loop of the process. A peer is a network, not an address: an IPv4 /24 or
// an IPv6 /64 (what one customer usually has). When a cap is reached, the newcomer
// takes the place of the connection that has made the least progress (the oldest
// unfinished request) in the peer or in all, so slow connections from any number
// of addresses cannot keep a client that sends its request at once from being
// served. Only when every connection is busy serving a request is it refused.
class ConnectionLimits
{
public:
    ConnectionLimits(int total, int perPeer);

    // Counts a new connection from `peer`, shedding another one when a cap is
    // reached; null (and nothing counted) when no connection can make room.
    std::shared_ptr<ConnectionSlot> admit(const QHostAddress &peer);
    // Gives the slot the connection to close when it is shed.
    void attach(const std::shared_ptr<ConnectionSlot> &slot, ClientConnection *connection);
    void release(const std::shared_ptr<ConnectionSlot> &slot);

    // Reports waiting for their commit: at most three quarters of the total, so
    // that a stuck database leaves room for the ad lists and images.
    bool admitReport();
    void reportDone();

    // Connections closed to make room, and newcomers refused for want of any.
    qint64 shedCount() const;
    qint64 refusedCount() const;

    // The address as reports record it: IPv4 for an IPv4-mapped IPv6 peer.
    static QHostAddress address(const QHostAddress &peer);
    // The network connections are counted under.
    static QHostAddress group(const QHostAddress &peer);

private:
    bool shedOldest(const QList<std::shared_ptr<ConnectionSlot>> among); // a copy: shedding changes the lists
    void forget(const std::shared_ptr<ConnectionSlot> &slot);

    const int m_totalCap;
    const int m_perPeerCap;
    const int m_reportCap;
    mutable std::mutex m_mutex;
    int m_total = 0;
    int m_reports = 0;
    qint64 m_shed = 0;
    qint64 m_refused = 0;
    QHash<QHostAddress, QList<std::shared_ptr<ConnectionSlot>>> m_perPeer;
};

} // namespace orvane::adserver
