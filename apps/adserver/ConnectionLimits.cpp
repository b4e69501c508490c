#include "ConnectionLimits.h"

namespace orvane::adserver {

ConnectionLimits::ConnectionLimits(int total, int perPeer)
    : m_totalCap(total)
    , m_perPeerCap(perPeer)
{
}

QHostAddress ConnectionLimits::key(const QHostAddress &peer)
{
    bool mapped = false;
    const quint32 v4 = peer.toIPv4Address(&mapped);
    return mapped ? QHostAddress(v4) : peer;
}

bool ConnectionLimits::admit(const QHostAddress &peer)
{
    std::lock_guard lock(m_mutex);
    if (m_total >= m_totalCap)
        return false;
    int &count = m_perPeer[peer];
    if (count >= m_perPeerCap)
        return false;
    ++count;
    ++m_total;
    return true;
}

void ConnectionLimits::release(const QHostAddress &peer)
{
    std::lock_guard lock(m_mutex);
    const auto it = m_perPeer.find(peer);
    if (it == m_perPeer.end())
        return;
    --m_total;
    if (--it.value() <= 0)
        m_perPeer.erase(it);
}

} // namespace orvane::adserver
