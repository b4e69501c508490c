#include "AdServer.h"

#include "BaseUrl.h"
#include "ClientConnection.h"
#include "ReportDecoder.h"

#include "exchange/OVContentUpdate.h"
#include "support/OleDate.h"

#include <QDateTime>
#include <QTcpSocket>

namespace orvane::adserver {

AdServer::AdServer(
    const Campaign *campaign, ReportWriter *writer, ConnectionLimits *limits, ServerOptions options, QObject *parent)
    : QObject(parent)
    , m_campaign(campaign)
    , m_writer(writer)
    , m_limits(limits)
    , m_options(std::move(options))
{
    // The limits count connections, not the kernel's queue of unaccepted ones.
    m_server.setMaxPendingConnections(1024);
    connect(&m_server, &QTcpServer::newConnection, this, &AdServer::accept);
    connect(m_writer, &ReportWriter::committed, this, &AdServer::onCommitted);
}

bool AdServer::listen(const QHostAddress &address, quint16 port, QString *error)
{
    if (!m_server.listen(address, port)) {
        *error = m_server.errorString();
        return false;
    }
    return true;
}

void AdServer::shutdown()
{
    m_shuttingDown = true;
    m_server.close();
    const QSet<ClientConnection *> connections = m_connections;
    for (ClientConnection *c : connections)
        c->finish();
    if (m_connections.isEmpty())
        Q_EMIT drained();
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

void AdServer::accept()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        const QHostAddress peer = ConnectionLimits::key(socket->peerAddress());
        if (m_shuttingDown || !m_limits->admit(peer)) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        auto *c = new ClientConnection(socket, m_options.idleTimeoutMs, m_options.requestTimeoutMs, this);
        m_connections.insert(c);
        connect(c, &ClientConnection::requestReady, this, &AdServer::handle);
        connect(c, &ClientConnection::closed, this, &AdServer::onClosed);
        c->start();
    }
}

void AdServer::onClosed(ClientConnection *connection)
{
    if (m_connections.remove(connection))
        m_limits->release(connection->peer());
    if (m_shuttingDown && m_connections.isEmpty())
        Q_EMIT drained();
}

void AdServer::handle(ClientConnection *c, const Request &request)
{
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
        if (const CampaignImage *image = m_campaign->image(name))
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
