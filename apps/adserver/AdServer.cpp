#include "AdServer.h"

#include "BaseUrl.h"
#include "ClientConnection.h"
#include "Metrics.h"
#include "ReportDecoder.h"

#include "exchange/OVContentUpdate.h"
#include "support/OleDate.h"

#include <QDateTime>
#include <QTcpSocket>

#include <cerrno>
#include <cstring>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace orvane::adserver {

AdServer::AdServer(
    CampaignHolder *campaigns, ReportWriter *writer, ConnectionLimits *limits, ServerOptions options, QObject *parent)
    : QObject(parent)
    , m_campaigns(campaigns)
    , m_campaign(campaigns->current())
    , m_campaignGeneration(campaigns->generation())
    , m_writer(writer)
    , m_limits(limits)
    , m_options(std::move(options))
{
    // The limits count connections, not the kernel's queue of unaccepted ones.
    m_server.setMaxPendingConnections(1024);
    connect(&m_server, &QTcpServer::newConnection, this, &AdServer::accept);
    m_sweep.setInterval(100);
    connect(&m_sweep, &QTimer::timeout, this, [this] {
        const QSet<ClientConnection *> connections = m_connections;
        for (ClientConnection *c : connections)
            c->checkDeadline();
    });
    connect(m_writer, &ReportWriter::committed, this, &AdServer::onCommitted);
}

bool AdServer::listen(const QHostAddress &address, quint16 port, QString *error)
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
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    const int one = 1;
    const int zero = 0;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEPORT, &one, sizeof one);
    if (v6) // "::" takes IPv4 clients too
        ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &zero, sizeof zero);
    if (::bind(fd, reinterpret_cast<sockaddr *>(&storage), length) != 0 || ::listen(fd, SOMAXCONN) != 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        ::close(fd);
        return false;
    }
    if (!m_server.setSocketDescriptor(fd)) {
        *error = m_server.errorString();
        ::close(fd);
        return false;
    }
    m_sweep.start();
    return true;
}

void AdServer::shutdown()
{
    m_shuttingDown = true;
    m_server.close();
    const QSet<ClientConnection *> connections = m_connections;
    for (ClientConnection *c : connections)
        c->finish();
    emitDrainedOnce();
}

void AdServer::emitDrainedOnce()
{
    if (m_shuttingDown && m_connections.isEmpty() && !m_drained) {
        m_drained = true;
        Q_EMIT drained();
    }
}

QByteArray AdServer::contentUpdate(const QString &baseUrl) const
{
    OVContentUpdate update;
    update.setBaseURL(baseUrl);
    const double now = OleDate::fromDateTime(QDateTime::currentDateTime());
    for (const CampaignAd &ad : m_campaign->ads()) {
        if (update.AdOfferings().Count() >= kMaxOffers)
            break;
        if (ad.expirationDate < now || update.AdOfferings().Contains(ad.adGuid))
            continue;
        update.AddAnOffering(ad.adGuid, ad.advertiserGuid, ad.clickUrl, ad.expirationDate, ad.imageFormat,
            ad.imageFileName, ad.rating, ad.size);
    }
    // The writer leaves out whole offers that would not fit its buffer; the
    // response must also stay within a 16-bit length.
    QByteArray bytes = update.GetStateIntoByteArray();
    while (bytes.size() > RequestReader::kMaxBodyBytes && update.AdOfferings().Count() > 0) {
        update.AdOfferings().Remove(update.AdOfferings().Count());
        bytes = update.GetStateIntoByteArray();
    }
    return bytes;
}

void AdServer::refreshCampaign()
{
    const quint64 generation = m_campaigns->generation();
    if (generation == m_campaignGeneration)
        return;
    m_campaign = m_campaigns->current();
    m_campaignGeneration = generation;
    m_imageResponses.clear();
}

void AdServer::accept()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        const QHostAddress peer = ConnectionLimits::key(socket->peerAddress());
        if (m_shuttingDown || !m_limits->admit(peer)) {
            Metrics::instance().refusedConnections.fetch_add(1, std::memory_order_relaxed);
            socket->abort();
            socket->deleteLater();
            continue;
        }
        auto *c = new ClientConnection(socket, m_options.idleTimeoutMs, m_options.requestTimeoutMs, this);
        m_connections.insert(c);
        Metrics::instance().openConnections.fetch_add(1, std::memory_order_relaxed);
        connect(c, &ClientConnection::requestReady, this, &AdServer::handle);
        connect(c, &ClientConnection::closed, this, &AdServer::onClosed);
        c->start();
    }
}

void AdServer::onClosed(ClientConnection *connection)
{
    if (m_connections.remove(connection)) {
        m_limits->release(connection->peer());
        Metrics::instance().openConnections.fetch_sub(1, std::memory_order_relaxed);
    }
    emitDrainedOnce();
}

void AdServer::handle(ClientConnection *c, const Request &request)
{
    refreshCampaign();
    if (request.method == "POST" && request.target == "/Orvane/Usage") {
        handleUsage(c, request);
    } else if (request.method == "GET" && request.target == "/Orvane/Ads") {
        QString baseUrl = m_options.publicUrl;
        if (baseUrl.isEmpty() && !BaseUrl::isWildcard(address()))
            baseUrl = BaseUrl::forAddress(address(), port());
        if (baseUrl.isEmpty()) {
            const std::optional<QString> fromHost = BaseUrl::forHostLine(request.header("Host"), port());
            if (!fromHost) {
                c->answer("400 Bad Request", "text/plain", "A Host line naming this server is needed\n", true);
                return;
            }
            baseUrl = *fromHost;
        }
        c->answer("200 OK", "application/x-orvane", contentUpdate(baseUrl));
    } else if (request.method == "GET" && request.target.startsWith("/images/")) {
        const QString name = QString::fromUtf8(QByteArray::fromPercentEncoding(request.target.mid(8)));
        const CampaignImage *image = m_campaign->image(name);
        if (image && c->keepsAlive()) {
            QByteArray &response = m_imageResponses[name];
            if (response.isEmpty())
                response = "HTTP/1.1 200 OK\r\nContent-Type: " + image->contentType
                    + "\r\nContent-Length: " + QByteArray::number(image->bytes.size()) + "\r\n\r\n" + image->bytes;
            c->send(response, false);
        } else if (image)
            c->answer("200 OK", image->contentType, image->bytes);
        else
            c->answer("404 Not Found", "text/plain", "Not found\n");
    } else {
        c->answer("404 Not Found", "text/plain", "Not found\n");
    }
}

void AdServer::handleUsage(ClientConnection *c, const Request &request)
{
    QString why;
    std::optional<StoredReport> report = ReportDecoder::decode(request.body, &why);
    if (!report) {
        c->answer("400 Bad Request", "text/plain", why.toUtf8() + '\n', true);
        return;
    }
    report->received = QDateTime::currentDateTimeUtc();
    report->peer = c->peer().toString();
    m_waiting.insert(m_writer->submit(std::move(*report)), c);
}

void AdServer::onCommitted(const QList<quint64> &stored, const QList<quint64> &failed, const QString &error)
{
    if (m_waiting.isEmpty())
        return;
    for (quint64 ticket : stored) {
        const auto it = m_waiting.find(ticket);
        if (it == m_waiting.end())
            continue; // another loop's report
        if (ClientConnection *c = it.value())
            c->answer("200 OK");
        m_waiting.erase(it);
    }
    for (quint64 ticket : failed) {
        const auto it = m_waiting.find(ticket);
        if (it == m_waiting.end())
            continue;
        qWarning("orvane-adserver: a report was not stored: %s", qPrintable(error));
        if (ClientConnection *c = it.value())
            c->answer("500 Internal Server Error", QByteArray(), QByteArray(), true);
        m_waiting.erase(it);
    }
}

} // namespace orvane::adserver
