#pragma once

#include <QHostAddress>
#include <QString>

namespace orvane::adserver {

// The one listening socket of a server process. The process's event loops each
// accept from a duplicate of it, so no other process can bind the same address
// and port while it serves: a second server fails at start instead of taking
// half of the connections into another database.
class ListeningSocket
{
public:
    ListeningSocket() = default;
    ~ListeningSocket();
    ListeningSocket(const ListeningSocket &) = delete;
    ListeningSocket &operator=(const ListeningSocket &) = delete;

    // Binds and listens; false with a reason (naming a port already served) when it cannot.
    bool open(const QHostAddress &address, quint16 port, QString *error);
    // A new descriptor of the same socket for one event loop, or -1 with a reason.
    int duplicate(QString *error) const;

private:
    int m_fd = -1;
};

} // namespace orvane::adserver
