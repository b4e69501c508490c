#pragma once

#include "CampaignHolder.h"
#include "ConnectionLimits.h"
#include "ReportWriter.h"
#include "RequestReader.h"
#include "ServerOptions.h"

#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QTcpServer>
#include <QTimer>

namespace orvane::adserver {

class ClientConnection;

// One event loop of the reference ad server: usage reports in, the campaign's
// ads and images out. Reports are acknowledged only once their transaction has
// committed, and every report that commits is acknowledged to a client still
// connected. The campaign, the writer and the limits may be shared by several
// servers on several threads.
class AdServer : public QObject
{
    Q_OBJECT

public:
    static constexpr int kMaxOffers = 255;
    static constexpr int kAcceptRetryMs = 100;
    static constexpr const char *kUnavailable = "503 Service Unavailable";

    AdServer(CampaignHolder *campaigns, ReportWriter *writer, ConnectionLimits *limits, ServerOptions options,
        QObject *parent = nullptr);

    // Accepts from a listening socket's descriptor (one of the process's
    // duplicates), which it takes over; false with a reason when it cannot.
    bool listen(int fd, QString *error);
    QHostAddress address() const { return m_server.serverAddress(); }
    quint16 port() const { return m_server.serverPort(); }

    // Stops accepting, closes idle connections and ends the others once their
    // request is answered (reports waiting for their commit included); `drained`
    // follows when no connection is left.
    void shutdown();
    int connectionCount() const { return int(m_connections.size()); }

    // The content update of the ads on offer now (at most 255, within 32,767 bytes).
    QByteArray contentUpdate(const QString &baseUrl) const;

Q_SIGNALS:
    void drained();

private:
    void accept();
    void handle(ClientConnection *connection, const Request &request);
    void handleUsage(ClientConnection *connection, const Request &request);
    void onCommitted(const CommitOutcome &outcome);
    void onClosed(ClientConnection *connection);
    void emitDrainedOnce();
    // Takes a campaign loaded since the last request (and drops the answers made from the old one).
    void refreshCampaign();

    CampaignHolder *m_campaigns;
    std::shared_ptr<const Campaign> m_campaign; // the one requests are answered from
    quint64 m_campaignGeneration = 0;
    ReportWriter *m_writer;
    ConnectionLimits *m_limits;
    const ServerOptions m_options;
    // Children, so that they move to the server's thread with it.
    QTcpServer m_server {this};
    QTimer m_sweep {this}; // checks the connections' deadlines
    QHash<QString, QByteArray> m_imageResponses; // complete keep-alive answers, made at the first request
    QSet<ClientConnection *> m_connections;
    QHash<quint64, QPointer<ClientConnection>> m_waiting;
    bool m_shuttingDown = false;
    bool m_drained = false;
};

} // namespace orvane::adserver
