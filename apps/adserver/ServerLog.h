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
    // Makes the lines' writes non-blocking, so that a reader of standard output
    // that stalls (or never reads) costs lines, counted in the metrics, and
    // never stalls an event loop. Called once before the loops start.
    static void detachFromSlowReaders();

    // Writes `line` and a newline; a line longer than a pipe's atomic write is cut.
    // A line the reader has no room for is dropped.
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
