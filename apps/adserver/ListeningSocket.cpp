#include "ListeningSocket.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace orvane::adserver {

namespace {
QString lastError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}
} // namespace

ListeningSocket::~ListeningSocket()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool ListeningSocket::open(const QHostAddress &address, quint16 port, QString *error)
{
    const bool v6 = address.protocol() == QAbstractSocket::IPv6Protocol || address == QHostAddress(QHostAddress::Any);
    sockaddr_storage storage {};
    socklen_t length = 0;
    if (v6) {
        auto *in6 = reinterpret_cast<sockaddr_in6 *>(&storage);
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(port);
        const Q_IPV6ADDR bytes = address == QHostAddress(QHostAddress::Any) ? Q_IPV6ADDR {} : address.toIPv6Address();
        std::memcpy(&in6->sin6_addr, &bytes, sizeof bytes);
        length = sizeof(sockaddr_in6);
    } else {
        auto *in4 = reinterpret_cast<sockaddr_in *>(&storage);
        in4->sin_family = AF_INET;
        in4->sin_port = htons(port);
        in4->sin_addr.s_addr = htonl(address.toIPv4Address());
        length = sizeof(sockaddr_in);
    }
    const int fd = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        *error = lastError();
        return false;
    }
    // SO_REUSEADDR lets a restarted server bind while the old connections linger
    // in TIME_WAIT; on Linux it never lets two sockets listen on one port.
    const int one = 1;
    const int zero = 0;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (v6) // "::" takes IPv4 clients too
        ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &zero, sizeof zero);
    if (::bind(fd, reinterpret_cast<sockaddr *>(&storage), length) != 0 || ::listen(fd, SOMAXCONN) != 0) {
        *error = errno == EADDRINUSE
            ? QStringLiteral("the port is already served by another program (%1)").arg(lastError())
            : lastError();
        ::close(fd);
        return false;
    }
    m_fd = fd;
    return true;
}

int ListeningSocket::duplicate(QString *error) const
{
    const int fd = ::fcntl(m_fd, F_DUPFD_CLOEXEC, 0);
    if (fd < 0)
        *error = lastError();
    return fd;
}

} // namespace orvane::adserver
