#include "AdminServer.h"

#include "ClientConnection.h"
#include "RequestReader.h"

#include <QCryptographicHash>
#include <QTcpSocket>

namespace orvane::adserver {

namespace {
constexpr int kSweepIntervalMs = 500;
const QByteArray kBearer = QByteArrayLiteral("Bearer ");
} // namespace

AdminServer::AdminServer(QByteArray token, QObject *parent)
    : QObject(parent)
    , m_token(std::move(token))
{
    connect(&m_server, &QTcpServer::newConnection, this, &AdminServer::accept);
    m_sweep.setInterval(kSweepIntervalMs);
    connect(&m_sweep, &QTimer::timeout, this, [this] {
        const QSet<ClientConnection *> connections = m_connections;
        for (ClientConnection *c : connections)
            c->checkDeadline();
    });
}

bool AdminServer::listen(const QHostAddress &address, quint16 port, QString *error)
{
    if (m_token.isEmpty() && !address.isLoopback()) {
        *error = QStringLiteral("an admin listener off the loopback interface needs --admin-token-file");
        return false;
    }
    if (!m_server.listen(address, port)) {
        *error = m_server.errorString();
        return false;
    }
    m_sweep.start();
    return true;
}

void AdminServer::shutdown()
{
    m_server.close();
    const QSet<ClientConnection *> connections = m_connections;
    for (ClientConnection *c : connections)
        c->finish();
}

void AdminServer::addRoute(const QByteArray &path, Handler handler)
{
    m_routes.append({path, std::move(handler)});
}

const AdminServer::Handler *AdminServer::route(const QByteArray &path) const
{
    for (const auto &r : m_routes) {
        if (r.first == path || (r.first.endsWith('/') && path.startsWith(r.first)))
            return &r.second;
    }
    return nullptr;
}

bool AdminServer::authorized(const QByteArray &header, const QByteArray &token)
{
    // The scheme's name is case-insensitive.
    if (token.isEmpty() || header.left(kBearer.size()).compare(kBearer, Qt::CaseInsensitive) != 0)
        return false;
    // Equal-length digests compared without an early exit: the time taken
    // tells nothing about how much of a guess was right.
    const QByteArray given = QCryptographicHash::hash(header.mid(kBearer.size()).trimmed(), QCryptographicHash::Sha256);
    const QByteArray wanted = QCryptographicHash::hash(token, QCryptographicHash::Sha256);
    unsigned char difference = 0;
    for (qsizetype i = 0; i < wanted.size(); ++i)
        difference |= static_cast<unsigned char>(given[i] ^ wanted[i]);
    return difference == 0;
}

QByteArray AdminServer::compose(const AdminResponse &response)
{
    QByteArray out = "HTTP/1.1 " + response.status + "\r\nContent-Type: " + response.contentType
        + "\r\nContent-Length: " + QByteArray::number(response.body.size())
        + "\r\nCache-Control: no-store\r\nX-Content-Type-Options: nosniff\r\n";
    for (const auto &h : response.headers)
        out += h.first + ": " + h.second + "\r\n";
    return out + "\r\n" + response.body;
}

void AdminServer::accept()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        if (m_connections.size() >= kMaxConnections) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        // A slot of its own, outside the report loops' limits: never shed.
        auto *c = new ClientConnection(socket, std::make_shared<ConnectionSlot>(), kTimeoutMs, kTimeoutMs, this);
        c->setAdmin();
        m_connections.insert(c);
        connect(c, &ClientConnection::requestReady, this, &AdminServer::handle);
        connect(c, &ClientConnection::closed, this, [this](ClientConnection *closed) { m_connections.remove(closed); });
        c->start();
    }
}

void AdminServer::handle(ClientConnection *c, const Request &request)
{
    AdminResponse response;
    const qsizetype question = request.target.indexOf('?');
    AdminRequest admin {request.method, question < 0 ? request.target : request.target.left(question),
        QUrlQuery(question < 0 ? QString() : QString::fromLatin1(request.target.mid(question + 1))), c->peer()};
    const Handler *handler = route(admin.path);
    // The token is checked before the route is looked at, so that a stranger learns nothing of the routes.
    if (!m_token.isEmpty() && !authorized(request.header("Authorization"), m_token)) {
        response.status = "401 Unauthorized";
        response.body = "A bearer token is needed\n";
        response.headers.append(
            qMakePair(QByteArray("WWW-Authenticate"), QByteArray("Bearer realm=\"orvane-adserver\"")));
    } else if (!handler) {
        response.status = "404 Not Found";
        response.body = "Not found\n";
    } else if (request.method != "GET") {
        response.status = "405 Method Not Allowed";
        response.body = "Only GET\n";
        response.headers.append(qMakePair(QByteArray("Allow"), QByteArray("GET")));
    } else {
        response = (*handler)(admin);
    }
    c->send(compose(response), false);
}

} // namespace orvane::adserver
