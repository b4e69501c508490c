#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QString>

#include <optional>

namespace orvane::adserver {

// One line per answered request on standard output: NCSA Common Log Format
// ("common") or one JSON object per line ("json"). The format is process-wide.
class AccessLog
{
public:
    enum class Format { Off, Common, Json };

    static std::optional<Format> parseFormat(const QString &name);
    static void setFormat(Format format);
    static Format format();

    // One answered request. An empty `method` stands for a request that could
    // not be read. `bytes` counts the body of the answer only.
    static void record(const QHostAddress &peer, const QByteArray &method, const QByteArray &target,
        const QByteArray &version, int status, qint64 bytes, qint64 microseconds);

    // Both forms of one line, for the tests of the format.
    static QByteArray commonLine(const QHostAddress &peer, const QByteArray &method, const QByteArray &target,
        const QByteArray &version, int status, qint64 bytes, qint64 secondsSinceEpoch);
    static QByteArray jsonLine(const QHostAddress &peer, const QByteArray &method, const QByteArray &target, int status,
        qint64 bytes, qint64 microseconds, qint64 millisecondsSinceEpoch);
};

// Counts an answer in the metrics and writes its access-log line: called once
// for every response a connection sends. `admin` marks the admin listener.
void accountAnswer(const QHostAddress &peer, const QByteArray &method, const QByteArray &target,
    const QByteArray &version, const QByteArray &response, qint64 microseconds, bool admin);

} // namespace orvane::adserver
