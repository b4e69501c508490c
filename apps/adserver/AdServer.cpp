#include "AdServer.h"

#include "exchange/OVAdStat.h"
#include "exchange/OVContentUpdate.h"
#include "exchange/OVUsageReport.h"
#include "personalization/OVUser.h"
#include "support/OleDate.h"

#include <QDateTime>
#include <QTcpSocket>
#include <QTimer>

namespace orvane::adserver {

AdServer::AdServer(Campaign campaign, ReportWriter *writer, QString publicUrl, QObject *parent)
    : QObject(parent)
    , m_campaign(std::move(campaign))
    , m_writer(writer)
    , m_publicUrl(std::move(publicUrl))
{
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

void AdServer::close()
{
    m_server.close();
    const auto sockets = m_connections.keys();
    for (QTcpSocket *socket : sockets)
        socket->abort();
}

QString AdServer::baseUrl() const
{
    if (!m_publicUrl.isEmpty())
        return m_publicUrl;
    return QStringLiteral("http://%1:%2/images").arg(address().toString()).arg(port());
}

QByteArray AdServer::contentUpdate() const
{
    OVContentUpdate update;
    update.setBaseURL(baseUrl());
    const double now = OleDate::fromDateTime(QDateTime::currentDateTime());
    for (const CampaignAd &ad : m_campaign.ads()) {
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
        if (m_connections.size() >= kMaxConnections) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        Connection &c = m_connections[socket];
        c.idle = new QTimer(socket);
        c.idle->setSingleShot(true);
        c.idle->setInterval(kIdleTimeoutMs);
        connect(c.idle, &QTimer::timeout, socket, [socket] { socket->abort(); });
        c.idle->start();
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            m_connections.remove(socket);
            socket->deleteLater();
        });
    }
}

void AdServer::onReadyRead(QTcpSocket *socket)
{
    auto it = m_connections.find(socket);
    if (it == m_connections.end())
        return;
    it->idle->start();
    RequestReader::Status status = it->reader.feed(socket->readAll());
    while (status == RequestReader::Status::Complete) {
        handle(socket, it->reader.take());
        it = m_connections.find(socket);
        if (it == m_connections.end())
            return;
        status = it->reader.poll();
    }
    if (status == RequestReader::Status::Bad)
        answer(socket, "400 Bad Request", QByteArray(), QByteArray(), true);
}

void AdServer::handle(QTcpSocket *socket, const Request &request)
{
    if (request.method == "POST" && request.target == "/Orvane/Usage") {
        handleUsage(socket, request);
    } else if (request.method == "GET" && request.target == "/Orvane/Ads") {
        answer(socket, "200 OK", "application/x-orvane", contentUpdate());
    } else if (request.method == "GET" && request.target.startsWith("/images/")) {
        const QString name = QString::fromUtf8(QByteArray::fromPercentEncoding(request.target.mid(8)));
        if (const CampaignImage *image = m_campaign.image(name))
            answer(socket, "200 OK", image->contentType, image->bytes);
        else
            answer(socket, "404 Not Found", "text/plain", "Not found\n");
    } else {
        answer(socket, "404 Not Found", "text/plain", "Not found\n");
    }
}

void AdServer::handleUsage(QTcpSocket *socket, const Request &request)
{
    OVUsageReport report;
    report.SetStateFromByteArray(request.body);
    // A well-formed report writes back to exactly the bytes it came in.
    if (report.GetStateIntoByteArray() != request.body) {
        answer(socket, "400 Bad Request", QByteArray(), QByteArray(), true);
        return;
    }
    StoredReport stored;
    stored.received = QDateTime::currentDateTimeUtc();
    stored.peer = socket->peerAddress().toString();
    stored.productGuid = report.ProductGUID();
    stored.rating = report.User()->Rating();
    stored.ageRange = report.User()->AgeRange();
    stored.gender = report.User()->Gender();
    stored.postalCode = report.User()->PostalCode();
    stored.countryCode = report.User()->CountryCode();
    for (const auto &stat : report.AdStats())
        stored.ads.append({stat->AdIdGUIDString(), stat->ViewCount(), stat->ClickCount(), stat->LastViewTime()});
    const quint64 ticket = m_nextTicket++;
    m_waiting.insert(ticket, socket);
    ++m_connections[socket].pendingAcks;
    m_writer->submit(ticket, std::move(stored));
}

void AdServer::onCommitted(const QList<quint64> &tickets, bool ok, const QString &error)
{
    if (!ok)
        qWarning("orvane-adserver: commit failed: %s", qPrintable(error));
    for (quint64 ticket : tickets) {
        QPointer<QTcpSocket> socket = m_waiting.take(ticket);
        if (!socket || !m_connections.contains(socket))
            continue;
        --m_connections[socket].pendingAcks;
        if (ok)
            answer(socket, "200 OK");
        else
            answer(socket, "500 Internal Server Error", QByteArray(), QByteArray(), true);
    }
}

void AdServer::answer(
    QTcpSocket *socket, const QByteArray &status, const QByteArray &contentType, const QByteArray &body, bool close)
{
    QByteArray response = "HTTP/1.1 " + status + "\r\n";
    if (!contentType.isEmpty())
        response += "Content-Type: " + contentType + "\r\n";
    response += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    if (close)
        response += "Connection: close\r\n";
    response += "\r\n" + body;
    // One write, so the status line arrives in the first block.
    socket->write(response);
    if (close)
        socket->disconnectFromHost();
}

} // namespace orvane::adserver
