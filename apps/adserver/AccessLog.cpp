#include "AccessLog.h"

#include "Metrics.h"
#include "ServerLog.h"

#include <QDateTime>

#include <atomic>
#include <ctime>

namespace orvane::adserver {

namespace {
std::atomic<AccessLog::Format> g_format {AccessLog::Format::Common};

// Printable ASCII stays; quotes, backslashes and anything else become \xHH, so
// that no request can forge a line or reach a terminal's control sequences.
QByteArray escaped(const QByteArray &text)
{
    QByteArray out;
    out.reserve(text.size());
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u > 0x7e || c == '"' || c == '\\') {
            static const char hex[] = "0123456789abcdef";
            out += "\\x";
            out += hex[u >> 4];
            out += hex[u & 0xf];
        } else {
            out += c;
        }
    }
    return out;
}

QByteArray peerText(const QHostAddress &peer)
{
    return peer.isNull() ? QByteArray("-") : peer.toString().toLatin1();
}
} // namespace

std::optional<AccessLog::Format> AccessLog::parseFormat(const QString &name)
{
    if (name == QLatin1String("off"))
        return Format::Off;
    if (name == QLatin1String("common"))
        return Format::Common;
    if (name == QLatin1String("json"))
        return Format::Json;
    return std::nullopt;
}

void AccessLog::setFormat(Format format)
{
    g_format.store(format, std::memory_order_relaxed);
}

AccessLog::Format AccessLog::format()
{
    return g_format.load(std::memory_order_relaxed);
}

QByteArray AccessLog::commonLine(const QHostAddress &peer, const QByteArray &method, const QByteArray &target,
    const QByteArray &version, int status, qint64 bytes, qint64 secondsSinceEpoch)
{
    // host ident authuser [date] "request line" status bytes
    const std::time_t seconds = std::time_t(secondsSinceEpoch);
    std::tm utc {};
    gmtime_r(&seconds, &utc);
    char date[40];
    std::strftime(date, sizeof date, "[%d/%b/%Y:%H:%M:%S +0000]", &utc);
    QByteArray line = peerText(peer);
    line += " - - ";
    line += date;
    line += method.isEmpty() ? QByteArray(" \"-\" ") : " \"" + escaped(method + ' ' + target + ' ' + version) + "\" ";
    line += QByteArray::number(status);
    line += ' ';
    line += bytes > 0 ? QByteArray::number(bytes) : QByteArray("-");
    return line;
}

QByteArray AccessLog::jsonLine(const QHostAddress &peer, const QByteArray &method, const QByteArray &target, int status,
    qint64 bytes, qint64 microseconds, qint64 millisecondsSinceEpoch)
{
    // Escaped text is plain printable ASCII; \x sequences become \u00 ones in JSON.
    auto text = [](const QByteArray &raw) { return escaped(raw).replace("\\x", "\\u00"); };
    QByteArray line = "{\"time\":\""
        + QDateTime::fromMSecsSinceEpoch(millisecondsSinceEpoch, Qt::UTC).toString(Qt::ISODateWithMs).toLatin1()
        + "\",\"peer\":\"" + peerText(peer) + "\",\"method\":\"" + text(method) + "\",\"target\":\"" + text(target)
        + "\",\"status\":" + QByteArray::number(status) + ",\"bytes\":" + QByteArray::number(bytes)
        + ",\"duration_ms\":" + QByteArray::number(double(microseconds) / 1000.0, 'f', 3) + '}';
    return line;
}

void AccessLog::record(const QHostAddress &peer, const QByteArray &method, const QByteArray &target,
    const QByteArray &version, int status, qint64 bytes, qint64 microseconds)
{
    switch (format()) {
    case Format::Off: return;
    case Format::Common:
        ServerLog::writeLine(
            commonLine(peer, method, target, version, status, bytes, QDateTime::currentSecsSinceEpoch()));
        return;
    case Format::Json:
        ServerLog::writeLine(
            jsonLine(peer, method, target, status, bytes, microseconds, QDateTime::currentMSecsSinceEpoch()));
        return;
    }
}

void accountAnswer(const QHostAddress &peer, const QByteArray &method, const QByteArray &target,
    const QByteArray &version, const QByteArray &response, qint64 microseconds, bool admin)
{
    // "HTTP/1.1 200 OK\r\n...\r\n\r\nbody"
    constexpr qsizetype kStatusAt = 9;
    const int status = response.mid(kStatusAt, 3).toInt();
    const qsizetype headEnd = response.indexOf("\r\n\r\n");
    const qint64 bytes = headEnd < 0 ? 0 : response.size() - headEnd - 4;
    const Metrics::Endpoint endpoint = admin ? Metrics::Endpoint::Admin : Metrics::endpointOf(target);
    Metrics &metrics = Metrics::instance();
    metrics.countRequest(endpoint, status);
    if (endpoint == Metrics::Endpoint::Images && status == 200)
        metrics.imageBytesServed.fetch_add(bytes, std::memory_order_relaxed);
    AccessLog::record(peer, method, target, version, status, bytes, microseconds);
}

} // namespace orvane::adserver
