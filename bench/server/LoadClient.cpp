#include "LoadClient.h"

#include <QElapsedTimer>

#include <cerrno>
#include <cstring>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace bench {

namespace {

struct Connection
{
    int fd = -1;
    qsizetype sent = 0;
    QByteArray received;
};

// Complete once the header and as many body bytes as Content-Length says have come.
bool complete(const QByteArray &r)
{
    const qsizetype end = r.indexOf("\r\n\r\n");
    if (end < 0)
        return false;
    qsizetype length = 0;
    const qsizetype at = r.indexOf("Content-Length: ");
    if (at >= 0 && at < end)
        length = r.mid(at + 16, r.indexOf("\r\n", at) - at - 16).toLongLong();
    return r.size() >= end + 4 + length;
}

} // namespace

LoadResult runLoad(uint16_t port, const QByteArray &request, int clients, int ms, const QByteArray &okPrefix)
{
    const int epoll = epoll_create1(EPOLL_CLOEXEC);
    std::vector<Connection> connections(clients);
    sockaddr_in to {};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int64_t ok = 0;
    LoadResult result;

    auto open = [&](int i) {
        Connection &c = connections[i];
        c = Connection();
        c.fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        const int one = 1;
        ::setsockopt(c.fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        // Four clients a source network (the server counts peers by /24), as from
        // many hosts, each within a server's per-peer cap.
        sockaddr_in from {};
        from.sin_family = AF_INET;
        from.sin_addr.s_addr = htonl(INADDR_LOOPBACK + 256 * (1 + uint32_t(i / 4)));
        ::bind(c.fd, reinterpret_cast<sockaddr *>(&from), sizeof from);
        ::connect(c.fd, reinterpret_cast<sockaddr *>(&to), sizeof to);
        epoll_event ev {};
        ev.events = EPOLLOUT | EPOLLIN;
        ev.data.u32 = uint32_t(i);
        epoll_ctl(epoll, EPOLL_CTL_ADD, c.fd, &ev);
    };
    auto close = [&](int i) {
        Connection &c = connections[i];
        const linger reset {1, 0};
        ::setsockopt(c.fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        ::close(c.fd);
        c.fd = -1;
    };

    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < clients; ++i)
        open(i);
    std::vector<epoll_event> events(clients);
    char buffer[65536];
    while (timer.elapsed() < ms) {
        const int n = epoll_wait(epoll, events.data(), clients, 10);
        for (int e = 0; e < n; ++e) {
            const int i = int(events[e].data.u32);
            Connection &c = connections[i];
            bool done = false;
            bool failed = (events[e].events & (EPOLLERR | EPOLLHUP)) && !(events[e].events & EPOLLIN);
            if (!failed && c.sent < request.size() && (events[e].events & EPOLLOUT)) {
                const ssize_t w = ::send(c.fd, request.constData() + c.sent, request.size() - c.sent, MSG_NOSIGNAL);
                if (w > 0)
                    c.sent += w;
                else if (w < 0 && errno != EAGAIN)
                    failed = true;
                if (c.sent == request.size()) {
                    epoll_event ev {};
                    ev.events = EPOLLIN;
                    ev.data.u32 = uint32_t(i);
                    epoll_ctl(epoll, EPOLL_CTL_MOD, c.fd, &ev);
                }
            }
            if (!failed && (events[e].events & EPOLLIN)) {
                for (;;) {
                    const ssize_t r = ::recv(c.fd, buffer, sizeof buffer, 0);
                    if (r > 0) {
                        c.received.append(buffer, r);
                        continue;
                    }
                    if (r == 0 || errno != EAGAIN)
                        failed = !complete(c.received);
                    break;
                }
                done = complete(c.received);
            }
            if (done) {
                if (c.received.startsWith(okPrefix))
                    ++ok;
                else
                    ++result.failed;
            } else if (failed) {
                ++result.failed;
            }
            if (done || failed) {
                close(i);
                open(i);
            }
        }
    }
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    for (int i = 0; i < clients; ++i)
        close(i);
    ::close(epoll);
    result.okPerSecond = double(ok) / seconds;
    return result;
}

} // namespace bench
