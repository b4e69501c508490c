#include "RequestReader.h"

namespace orvane::adserver {

namespace {

bool isTokenChar(char c)
{
    const auto u = static_cast<unsigned char>(c);
    if (u <= 0x20 || u >= 0x7F)
        return false;
    switch (c) {
    case '(':
    case ')':
    case '<':
    case '>':
    case '@':
    case ',':
    case ';':
    case ':':
    case '\\':
    case '"':
    case '/':
    case '[':
    case ']':
    case '?':
    case '=':
    case '{':
    case '}': return false;
    default: return true;
    }
}

bool isValueChar(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return u == '\t' || (u >= 0x20 && u != 0x7F);
}

bool isTargetChar(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return u > 0x20 && u < 0x7F;
}

// A decimal number without sign or leading zeros, at most `limit`; -1 otherwise.
qint64 parseLength(const QByteArray &text, qint64 limit)
{
    if (text.isEmpty() || text.size() > 10 || (text.size() > 1 && text.front() == '0'))
        return -1;
    qint64 value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return -1;
        value = value * 10 + (c - '0');
    }
    return value <= limit ? value : -1;
}

QByteArray trimmedValue(QByteArray value)
{
    qsizetype begin = 0;
    qsizetype end = value.size();
    while (begin < end && (value[begin] == ' ' || value[begin] == '\t'))
        ++begin;
    while (end > begin && (value[end - 1] == ' ' || value[end - 1] == '\t'))
        --end;
    return value.mid(begin, end - begin);
}

} // namespace

QByteArray Request::header(const QByteArray &name) const
{
    for (const auto &h : headers) {
        if (h.first.compare(name, Qt::CaseInsensitive) == 0)
            return h.second;
    }
    return {};
}

RequestReader::Status RequestReader::feed(const QByteArray &bytes)
{
    if (m_bad)
        return Status::Bad;
    m_buffer.append(bytes);
    return poll();
}

RequestReader::Status RequestReader::poll()
{
    if (m_bad)
        return Status::Bad;
    if (m_headLength == 0) {
        const Status head = readHead();
        if (head != Status::Complete)
            return head;
    }
    return readBody();
}

Request RequestReader::take()
{
    Request done = std::move(m_request);
    m_buffer.remove(0, m_headLength + m_bodyLength);
    m_request = Request();
    m_headLength = 0;
    m_bodyLength = -1;
    m_usageFraming = false;
    return done;
}

RequestReader::Status RequestReader::fail(const char *why)
{
    m_bad = true;
    m_error = why;
    return Status::Bad;
}

RequestReader::Status RequestReader::readHead()
{
    const qsizetype end = m_buffer.indexOf("\r\n\r\n");
    if (end < 0) {
        if (m_buffer.size() >= kMaxHeaderBytes)
            return fail("header too large");
        return Status::NeedMore;
    }
    if (end + 4 > kMaxHeaderBytes)
        return fail("header too large");

    const QByteArray head = m_buffer.left(end);
    // Every line ends with CR LF: a lone CR or LF anywhere is refused.
    QList<QByteArray> lines;
    qsizetype start = 0;
    while (start <= head.size()) {
        qsizetype crlf = head.indexOf("\r\n", start);
        if (crlf < 0)
            crlf = head.size();
        const QByteArray line = head.mid(start, crlf - start);
        if (line.contains('\r') || line.contains('\n'))
            return fail("bare CR or LF");
        lines.append(line);
        start = crlf + 2;
    }
    if (lines.size() > kMaxHeaderLines + 1)
        return fail("too many header lines");

    Request request;
    const QList<QByteArray> parts = lines.front().split(' ');
    if (parts.size() != 3)
        return fail("malformed request line");
    request.method = parts[0];
    request.target = parts[1];
    request.version = parts[2];
    if (request.method != "GET" && request.method != "POST")
        return fail("unsupported method");
    if (request.target.isEmpty() || request.target.front() != '/' || request.target.size() > 2048)
        return fail("malformed target");
    for (char c : request.target) {
        if (!isTargetChar(c))
            return fail("malformed target");
    }
    if (request.version == "HTTP/1.1")
        request.keepAlive = true;
    else if (request.version == "HTTP/1.0")
        request.keepAlive = false;
    else
        return fail("unsupported protocol version");

    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray &line = lines[i];
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            return fail("malformed header line");
        const QByteArray name = line.left(colon);
        for (char c : name) {
            if (!isTokenChar(c))
                return fail("malformed header name");
        }
        const QByteArray value = line.mid(colon + 1);
        for (char c : value) {
            if (!isValueChar(c))
                return fail("malformed header value");
        }
        request.headers.append({name, trimmedValue(value)});
    }

    bool sawLength = false;
    for (const auto &h : std::as_const(request.headers)) {
        if (h.first.compare("Content-Length", Qt::CaseInsensitive) == 0) {
            if (sawLength)
                return fail("repeated Content-Length");
            sawLength = true;
            request.contentLength = parseLength(h.second, kMaxBodyBytes);
            if (request.contentLength < 0)
                return fail("bad Content-Length");
        } else if (h.first.compare("Transfer-Encoding", Qt::CaseInsensitive) == 0) {
            return fail("transfer codings are not accepted");
        } else if (h.first.compare("Connection", Qt::CaseInsensitive) == 0) {
            const QByteArray v = h.second.toLower();
            if (v.contains("close"))
                request.keepAlive = false;
            else if (v.contains("keep-alive"))
                request.keepAlive = true;
        }
    }

    if (request.method == "GET") {
        if (request.contentLength > 0)
            return fail("GET with a body");
        m_bodyLength = 0;
    } else if (request.contentLength < 0) {
        return fail("POST without Content-Length");
    } else if (request.target == "/Orvane/Usage") {
        m_usageFraming = true;
    } else {
        m_bodyLength = request.contentLength;
    }

    m_request = std::move(request);
    m_headLength = end + 4;
    return Status::Complete;
}

RequestReader::Status RequestReader::readBody()
{
    const qsizetype available = m_buffer.size() - m_headLength;
    if (m_usageFraming && m_bodyLength < 0) {
        if (available < 3)
            return Status::NeedMore;
        const auto *b = reinterpret_cast<const unsigned char *>(m_buffer.constData() + m_headLength);
        if (b[0] != kUsageReportTag)
            return fail("not a usage report");
        if (b[2] >= 255)
            return fail("bad usage report length");
        const qint64 length = qint64(b[1]) * 255 + b[2];
        if (length < m_request.contentLength || length > m_request.contentLength + 2)
            return fail("usage report length does not match Content-Length");
        if (length < kMinUsageReportLength || length + 1 > kMaxBodyBytes)
            return fail("usage report length out of range");
        m_bodyLength = length + 1;
    }
    if (available < m_bodyLength)
        return Status::NeedMore;
    m_request.body = m_buffer.mid(m_headLength, m_bodyLength);
    return Status::Complete;
}

} // namespace orvane::adserver
