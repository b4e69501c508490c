#include "AdServer.h"

#include "BaseUrl.h"
#include "ClientConnection.h"
#include "Metrics.h"
#include "ReportDecoder.h"

#include "exchange/OVContentUpdate.h"
#include "support/OleDate.h"

#include <QDateTime>
#include <QTcpSocket>

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
    // Qt stops accepting at the first error other than "try again" (a client that
    // reset before its accept, no descriptors left): a short pause, then on.
    connect(&m_server, &QTcpServer::acceptError, this, [this] {
        QTimer::singleShot(kAcceptRetryMs, this, [this] {
            if (!m_shuttingDown)
                m_server.resumeAccepting();
        });
    });
    m_sweep.setInterval(100);
    connect(&m_sweep, &QTimer::timeout, this, [this] {
        const QSet<ClientConnection *> connections = m_connections;
        for (ClientConnection *c : connections)
            c->checkDeadline();
    });
    connect(m_writer, &ReportWriter::committed, this, &AdServer::onCommitted);
}

bool AdServer::listen(int fd, QString *error)
{
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
        std::shared_ptr<ConnectionSlot> slot = m_shuttingDown ? nullptr : m_limits->admit(socket->peerAddress());
        if (!slot) {
            Metrics::instance().refusedConnections.fetch_add(1, std::memory_order_relaxed);
            socket->abort();
            socket->deleteLater();
            continue;
        }
        auto *c = new ClientConnection(socket, slot, m_options.idleTimeoutMs, m_options.requestTimeoutMs, this);
        m_limits->attach(slot, c);
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
        m_limits->release(connection->slot());
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
    std::optional<StoredReport> report = ReportDecoder::decode(request.body, *m_campaign, &why);
    if (!report) {
        c->answer("400 Bad Request", "text/plain", why.toUtf8() + '\n', true);
        return;
    }
    // Reports waiting for a stuck commit must leave room for the ad lists and images.
    if (!m_limits->admitReport()) {
        c->answer(kUnavailable, "text/plain", "Too many reports are waiting for the database\n", true);
        return;
    }
    report->received = QDateTime::currentDateTimeUtc();
    report->peer = c->peer().toString();
    m_waiting.insert(m_writer->submit(std::move(*report)), c);
}

void AdServer::onCommitted(const CommitOutcome &outcome)
{
    if (m_waiting.isEmpty())
        return;
    const auto answer = [this](const QList<quint64> &tickets, const QByteArray &status, bool close) {
        for (quint64 ticket : tickets) {
            const auto it = m_waiting.find(ticket);
            if (it == m_waiting.end())
                continue; // another loop's report
            m_limits->reportDone();
            if (ClientConnection *c = it.value())
                c->answer(status, QByteArray(), QByteArray(), close);
            m_waiting.erase(it);
        }
    };
    answer(outcome.stored, "200 OK", false);
    const qsizetype before = m_waiting.size();
    answer(outcome.refused, "500 Internal Server Error", true);
    answer(outcome.unavailable, kUnavailable, true);
    if (m_waiting.size() < before)
        qWarning("orvane-adserver: %lld reports were not stored: %s", qlonglong(before - m_waiting.size()),
            qPrintable(outcome.error));
}

} // namespace orvane::adserver
