#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>

namespace orvane::adserver {

// One request as the reader took it off the wire.
struct Request
{
    QByteArray method;
    QByteArray target;
    QByteArray version;
    QList<QPair<QByteArray, QByteArray>> headers; // names as sent, values trimmed
    qint64 contentLength = -1; // -1: no Content-Length line
    bool keepAlive = true;
    QByteArray body;

    QByteArray header(const QByteArray &name) const; // case-insensitive, first match
};

// A small, strict, bounded reader of the HTTP-shaped requests the control sends.
// It accepts only what it understands: a request line with GET or POST, an
// origin-form target and HTTP/1.0 or 1.1, header lines ended by CR LF, and a body
// only where the route has one. Everything else is refused, never guessed at.
//
// The usage post is framed by the usage report's own length field L (bytes 1 and 2
// of the body, base 255): the body is the report's L + 1 bytes, and L must lie
// between the announced Content-Length and that number plus 2, because the control
// announces two bytes fewer than it sends.
class RequestReader
{
public:
    static constexpr qsizetype kMaxHeaderBytes = 8192;
    static constexpr int kMaxHeaderLines = 64;
    static constexpr qsizetype kMaxBodyBytes = 32767;
    // The shortest usage report: no statistics and one-space postal and country codes.
    static constexpr qsizetype kMinUsageReportLength = 50;
    static constexpr unsigned char kUsageReportTag = 3;

    enum class Status { NeedMore, Complete, Bad };

    // Adds bytes and reads as far as they go.
    Status feed(const QByteArray &bytes);
    // Reads again from what is buffered (after take()).
    Status poll();

    // The complete request; bytes after it stay buffered for the next one.
    Request take();

    // Why the last request was refused (for the server's log).
    const QByteArray &error() const { return m_error; }
    qsizetype buffered() const { return m_buffer.size(); }

private:
    Status fail(const char *why);
    Status readHead();
    Status readBody();

    QByteArray m_buffer;
    Request m_request;
    qsizetype m_headLength = 0; // bytes of the head, 0 while it is incomplete
    qsizetype m_bodyLength = -1; // -1 while unknown
    bool m_usageFraming = false;
    bool m_bad = false;
    QByteArray m_error;
};

} // namespace orvane::adserver
