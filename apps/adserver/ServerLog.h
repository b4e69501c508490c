#pragma once

#include <QByteArray>
#include <QString>

namespace orvane::adserver {

// The server's own lines on standard output, where the systemd journal takes
// them: lifecycle events beside the access log. Each line goes out in one
// write(2), so that lines of several threads never interleave.
class ServerLog
{
public:
    // Writes `line` and a newline; a line longer than a pipe's atomic write is cut.
    static void writeLine(QByteArray line);
    // "orvane-adserver: TEXT".
    static void event(const QString &text);
    // "orvane-adserver: warning: TEXT".
    static void warning(const QString &text);

    // For the report store: a lost database connection was opened again.
    static void databaseReconnected(const QString &detail);
    // For the report store: a database operation failed.
    static void databaseError(const QString &detail);
};

} // namespace orvane::adserver
