#include "ConnectionLimits.h"

#include "ClientConnection.h"
#include "Metrics.h"

#include <QMetaObject>

#include <algorithm>

namespace orvane::adserver {

namespace {
constexpr int kIpv4PeerPrefixBits = 24;
constexpr int kIpv6PeerPrefixBytes = 8; // a /64
} // namespace

ConnectionLimits::ConnectionLimits(int total, int perPeer)
    : m_totalCap(total)
    , m_perPeerCap(perPeer)
    , m_reportCap(std::max(1, total * 3 / 4))
{
}

QHostAddress ConnectionLimits::address(const QHostAddress &peer)
{
    bool mapped = false;
    const quint32 v4 = peer.toIPv4Address(&mapped);
    return mapped ? QHostAddress(v4) : peer;
}

QHostAddress ConnectionLimits::group(const QHostAddress &peer)
{
    const QHostAddress plain = address(peer);
    if (plain.protocol() == QAbstractSocket::IPv4Protocol)
        return QHostAddress(plain.toIPv4Address() & ~((1u << (32 - kIpv4PeerPrefixBits)) - 1));
    Q_IPV6ADDR bytes = plain.toIPv6Address();
    std::fill(std::begin(bytes.c) + kIpv6PeerPrefixBytes, std::end(bytes.c), quint8(0));
    return QHostAddress(bytes);
}

std::shared_ptr<ConnectionSlot> ConnectionLimits::admit(const QHostAddress &peer)
{
    auto slot = std::make_shared<ConnectionSlot>();
    slot->group = group(peer);
    std::lock_guard lock(m_mutex);
    const QList<std::shared_ptr<ConnectionSlot>> mine = m_perPeer.value(slot->group);
    if (mine.size() >= m_perPeerCap && !shedOldest(mine)) {
        ++m_refused;
        return nullptr;
    }
    if (m_total >= m_totalCap) {
        QList<std::shared_ptr<ConnectionSlot>> all;
        all.reserve(m_total);
        for (const auto &peerSlots : std::as_const(m_perPeer))
            all += peerSlots;
        if (!shedOldest(all)) {
            ++m_refused;
            return nullptr;
        }
    }
    m_perPeer[slot->group].append(slot);
    ++m_total;
    return slot;
}

bool ConnectionLimits::shedOldest(const QList<std::shared_ptr<ConnectionSlot>> among)
{
    // Claimed by swapping its start for kShed, so that a connection whose request
    // completes meanwhile is never shed with a request in hand (see ClientConnection).
    for (;;) {
        std::shared_ptr<ConnectionSlot> oldest;
        qint64 oldestSince = 0;
        for (const auto &s : among) {
            const qint64 since = s->since.load();
            if (since >= 0 && (!oldest || since < oldestSince)) {
                oldest = s;
                oldestSince = since;
            }
        }
        if (!oldest)
            return false;
        if (!oldest->since.compare_exchange_strong(oldestSince, ConnectionSlot::kShed))
            continue; // it moved on meanwhile: look again
        forget(oldest);
        ++m_shed;
        // Shed to make room: a refusal all the same, to whoever watches the metrics.
        Metrics::instance().refusedConnections.fetch_add(1, std::memory_order_relaxed);
        if (ClientConnection *c = oldest->connection)
            QMetaObject::invokeMethod(c, &ClientConnection::shed, Qt::QueuedConnection);
        return true;
    }
}

void ConnectionLimits::attach(const std::shared_ptr<ConnectionSlot> &slot, ClientConnection *connection)
{
    std::lock_guard lock(m_mutex);
    slot->connection = connection;
    if (slot->since.load() == ConnectionSlot::kShed) // shed before it was attached
        QMetaObject::invokeMethod(connection, &ClientConnection::shed, Qt::QueuedConnection);
}

void ConnectionLimits::release(const std::shared_ptr<ConnectionSlot> &slot)
{
    std::lock_guard lock(m_mutex);
    slot->connection = nullptr;
    forget(slot);
}

void ConnectionLimits::forget(const std::shared_ptr<ConnectionSlot> &slot)
{
    if (!slot->counted)
        return;
    slot->counted = false;
    --m_total;
    const auto it = m_perPeer.find(slot->group);
    if (it == m_perPeer.end())
        return;
    it->removeOne(slot);
    if (it->isEmpty())
        m_perPeer.erase(it);
}

bool ConnectionLimits::admitReport()
{
    std::lock_guard lock(m_mutex);
    if (m_reports >= m_reportCap)
        return false;
    ++m_reports;
    return true;
}

void ConnectionLimits::reportDone()
{
    std::lock_guard lock(m_mutex);
    --m_reports;
}

qint64 ConnectionLimits::shedCount() const
{
    std::lock_guard lock(m_mutex);
    return m_shed;
}

qint64 ConnectionLimits::refusedCount() const
{
    std::lock_guard lock(m_mutex);
    return m_refused;
}

} // namespace orvane::adserver
