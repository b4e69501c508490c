#pragma once

#include "AdServer.h"

#include <QObject>
#include <QThread>

#include <memory>
#include <vector>

namespace orvane::adserver {

// Several event loops, each an AdServer on a thread of its own accepting from
// the process's one listening socket, so that the server uses every core; they
// share the campaign, the connection limits and the one report writer.
class ServerPool : public QObject
{
    Q_OBJECT

public:
    ServerPool(CampaignHolder *campaigns, ReportWriter *writer, ConnectionLimits *limits, ServerOptions options,
        QObject *parent = nullptr);
    ~ServerPool() override;

    // Starts `loops` event loops on the address; false with a reason when one cannot listen.
    bool start(int loops, const QHostAddress &address, quint16 port, QString *error);
    QHostAddress address() const { return m_address; }
    quint16 port() const { return m_port; }

    // Shuts every loop down; `drained` follows once all have drained.
    void shutdown();
    // Ends the loops' threads.
    void stop();

Q_SIGNALS:
    void drained();

private:
    CampaignHolder *m_campaigns;
    ReportWriter *m_writer;
    ConnectionLimits *m_limits;
    const ServerOptions m_options;
    std::vector<std::unique_ptr<QThread>> m_threads;
    std::vector<AdServer *> m_servers;
    QHostAddress m_address;
    quint16 m_port = 0;
    int m_draining = 0;
};

} // namespace orvane::adserver
