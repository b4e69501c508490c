#include "ServerLog.h"

#include "Metrics.h"

#include <cerrno>
#include <climits>

#include <unistd.h>

namespace orvane::adserver {

void ServerLog::writeLine(QByteArray line)
{
    // Up to PIPE_BUF bytes reach a pipe (the journal's stream) in one piece.
    if (line.size() >= PIPE_BUF)
        line.truncate(PIPE_BUF - 4), line += "...";
    line += '\n';
    const char *data = line.constData();
    qsizetype left = line.size();
    while (left > 0) {
        const ssize_t n = ::write(STDOUT_FILENO, data, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return; // nowhere to log to: the server goes on serving
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
