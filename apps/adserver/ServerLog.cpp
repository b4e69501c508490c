#include "ServerLog.h"

#include "Metrics.h"

#include <cerrno>
#include <climits>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orvane::adserver {

namespace {
int g_output = STDOUT_FILENO;
bool g_socket = false; // the journal's stream: send() takes a non-blocking flag per call
} // namespace

void ServerLog::detachFromSlowReaders()
{
    struct stat info
    {
    };
    if (::fstat(STDOUT_FILENO, &info) != 0)
        return;
    if (S_ISSOCK(info.st_mode)) {
        g_socket = true;
    } else if (S_ISFIFO(info.st_mode) || S_ISCHR(info.st_mode)) {
        // A file description of our own: O_NONBLOCK on it leaves the one the
        // parent (a shell, a terminal) shares alone.
        const int fd = ::open("/proc/self/fd/1", O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0)
            g_output = fd;
    }
}

void ServerLog::writeLine(QByteArray line)
{
    // Up to PIPE_BUF bytes reach a pipe in one piece, or (when full) not at all.
    if (line.size() >= PIPE_BUF)
        line.truncate(PIPE_BUF - 4), line += "...";
    line += '\n';
    const char *data = line.constData();
    qsizetype left = line.size();
    while (left > 0) {
        const ssize_t n = g_socket ? ::send(g_output, data, size_t(left), MSG_DONTWAIT | MSG_NOSIGNAL)
                                   : ::write(g_output, data, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            // A full pipe or a closed one: the server goes on serving.
            Metrics::instance().logLinesDropped.fetch_add(1, std::memory_order_relaxed);
            return;
        }
        data += n;
        left -= n;
    }
}

namespace {
// Text from files and peers: no control character reaches the journal or a terminal.
QByteArray printable(const QString &text)
{
    QByteArray bytes = text.toUtf8();
    for (char &c : bytes) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = '?';
    }
    return bytes;
}
} // namespace

void ServerLog::event(const QString &text)
{
    writeLine("orvane-adserver: " + printable(text));
}

void ServerLog::warning(const QString &text)
{
    writeLine("orvane-adserver: warning: " + printable(text));
}

void ServerLog::databaseReconnected(const QString &detail)
{
    Metrics::instance().databaseReconnects.fetch_add(1, std::memory_order_relaxed);
    event(QStringLiteral("database reconnected: ") + detail);
}

void ServerLog::databaseError(const QString &detail)
{
    Metrics::instance().databaseErrors.fetch_add(1, std::memory_order_relaxed);
    warning(QStringLiteral("database error: ") + detail);
}

} // namespace orvane::adserver
