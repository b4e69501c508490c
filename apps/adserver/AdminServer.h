#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPair>
#include <QSet>
#include <QTcpServer>
#include <QTimer>
#include <QUrlQuery>

#include <functional>

namespace orvane::adserver {

class ClientConnection;
struct Request;

struct AdminRequest
{
    QByteArray method;
    QByteArray path; // the target without its query
    QUrlQuery query;
    QHostAddress peer;
};

struct AdminResponse
{
    QByteArray status = "200 OK";
    QByteArray contentType = "text/plain; charset=utf-8";
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers; // more header lines, e.g. a Content-Security-Policy
};

// The operator's listener, apart from the clients' port: health, metrics and
// whatever else is added as a route (a dashboard, say). It runs on the
// process's main event loop with a connection cap of its own, so that admin
// requests never take the report loops' time or connection slots. Off the
// loopback interface every request must carry the bearer token.
class AdminServer : public QObject
{
    Q_OBJECT

public:
    using Handler = std::function<AdminResponse(const AdminRequest &)>;
    static constexpr int kMaxConnections = 16;
    static constexpr int kTimeoutMs = 10'000;

    // `token` empty: no token asked for, which only a loopback listener accepts.
    explicit AdminServer(QByteArray token, QObject *parent = nullptr);

    bool listen(const QHostAddress &address, quint16 port, QString *error);
    QHostAddress address() const { return m_server.serverAddress(); }
    quint16 port() const { return m_server.serverPort(); }
    void shutdown();

    // GET requests for exactly `path`; a path ending in '/' takes everything below it too.
    void addRoute(const QByteArray &path, Handler handler);

    // Whether `header` (an Authorization value) carries `token`, compared in constant time.
    static bool authorized(const QByteArray &header, const QByteArray &token);
    static QByteArray compose(const AdminResponse &response);

private:
    void accept();
    void handle(ClientConnection *connection, const Request &request);
    const Handler *route(const QByteArray &path) const;

    const QByteArray m_token;
    QTcpServer m_server {this};
    QTimer m_sweep {this};
    QSet<ClientConnection *> m_connections;
    QList<QPair<QByteArray, Handler>> m_routes;
};

} // namespace orvane::adserver
