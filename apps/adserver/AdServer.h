#pragma once

#include "Campaign.h"
#include "ReportWriter.h"
#include "RequestReader.h"

#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTimer>

class QTcpSocket;

namespace orvane::adserver {

// The reference ad server: usage reports in, the campaign's ads and images out,
// on one event loop. Reports are acknowledged only once their transaction has
// committed.
class AdServer : public QObject
{
    Q_OBJECT

public:
    static constexpr int kMaxConnections = 256;
    static constexpr int kIdleTimeoutMs = 10'000;
    static constexpr int kMaxOffers = 255;

    AdServer(Campaign campaign, ReportWriter *writer, QString publicUrl, QObject *parent = nullptr);

    bool listen(const QHostAddress &address, quint16 port, QString *error);
    QHostAddress address() const { return m_server.serverAddress(); }
    quint16 port() const { return m_server.serverPort(); }
    // Stops accepting and closes every connection.
    void close();

    // The content update of the ads on offer now (at most 255, within 32,767 bytes).
    QByteArray contentUpdate() const;

private:
    struct Connection
    {
        RequestReader reader;
        QTimer *idle = nullptr;
        int pendingAcks = 0;
    };

    void accept();
    void onReadyRead(QTcpSocket *socket);
    void handle(QTcpSocket *socket, const Request &request);
    void handleUsage(QTcpSocket *socket, const Request &request);
    void onCommitted(const QList<quint64> &tickets, bool ok, const QString &error);
    void answer(QTcpSocket *socket, const QByteArray &status, const QByteArray &contentType = QByteArray(),
        const QByteArray &body = QByteArray(), bool close = false);
    QString baseUrl() const;

    Campaign m_campaign;
    ReportWriter *m_writer;
    QString m_publicUrl;
    QTcpServer m_server;
    QHash<QTcpSocket *, Connection> m_connections;
    QHash<quint64, QPointer<QTcpSocket>> m_waiting;
    quint64 m_nextTicket = 1;
};

} // namespace orvane::adserver
