#include "ServerPool.h"

#include "ListeningSocket.h"

namespace orvane::adserver {

ServerPool::ServerPool(
    CampaignHolder *campaigns, ReportWriter *writer, ConnectionLimits *limits, ServerOptions options, QObject *parent)
    : QObject(parent)
    , m_campaigns(campaigns)
    , m_writer(writer)
    , m_limits(limits)
    , m_options(std::move(options))
{
}

ServerPool::~ServerPool()
{
    stop();
}

bool ServerPool::start(int loops, const QHostAddress &address, quint16 port, QString *error)
{
    ListeningSocket socket;
    if (!socket.open(address, port, error))
        return false;
    for (int i = 0; i < loops; ++i) {
        auto thread = std::make_unique<QThread>();
        thread->setObjectName(QStringLiteral("loop %1").arg(i + 1));
        auto *server = new AdServer(m_campaigns, m_writer, m_limits, m_options);
        server->moveToThread(thread.get());
        connect(thread.get(), &QThread::finished, server, &QObject::deleteLater);
        connect(server, &AdServer::drained, this, [this] {
            if (--m_draining == 0)
                Q_EMIT drained();
        });
        thread->start();
        m_threads.push_back(std::move(thread));
        m_servers.push_back(server);
        bool listening = false;
        const int fd = socket.duplicate(error);
        if (fd >= 0)
            QMetaObject::invokeMethod(
                server, [&] { listening = server->listen(fd, error); }, Qt::BlockingQueuedConnection);
        if (!listening) {
            stop();
            return false;
        }
        if (i == 0) {
            m_address = server->address();
            m_port = server->port();
        }
    }
    return true;
}

void ServerPool::shutdown()
{
    m_draining = int(m_servers.size());
    for (AdServer *server : m_servers)
        QMetaObject::invokeMethod(server, &AdServer::shutdown, Qt::QueuedConnection);
}

void ServerPool::stop()
{
    for (auto &thread : m_threads) {
        thread->quit();
        thread->wait();
    }
    // Each server went with its thread's last events (deleteLater on finished).
    m_threads.clear();
    m_servers.clear();
}

} // namespace orvane::adserver
