#include "ClientConnection.h"

#include "AccessLog.h"
#include "ConnectionLimits.h"

#include <QTcpSocket>

#include <sys/socket.h>

namespace orvane::adserver {

namespace {
// Bytes taken from the kernel ahead of the reader: a request is at most about 40 KiB.
constexpr qint64 kReadBufferBytes = 64 * 1024;
} // namespace

ClientConnection::ClientConnection(
    QTcpSocket *socket, std::shared_ptr<ConnectionSlot> slot, int idleTimeoutMs, int requestTimeoutMs, QObject *parent)
    : QObject(parent)
    , m_socket(socket)
    , m_slot(std::move(slot))
    , m_peer(ConnectionLimits::address(socket->peerAddress()))
    , m_idleTimeoutMs(idleTimeoutMs)
    , m_requestTimeoutMs(requestTimeoutMs)
{
    m_socket->setParent(this);
    m_socket->setReadBufferSize(kReadBufferBytes);
    connect(m_socket, &QTcpSocket::readyRead, this, &ClientConnection::readMore);
    connect(m_socket, &QTcpSocket::bytesWritten, this, &ClientConnection::onBytesWritten);
    connect(m_socket, &QTcpSocket::disconnected, this, &ClientConnection::close);
}

void ClientConnection::start()
{
    setState(State::Idle);
    if (m_socket->state() != QAbstractSocket::ConnectedState)
        close();
    else
        readMore();
}

void ClientConnection::setState(State state)
{
    m_state = state;
    switch (state) {
    case State::Idle: {
        // The next request's time counts from here; a shed slot stays shed.
        qint64 busy = ConnectionSlot::kBusy;
        m_slot->since.compare_exchange_strong(busy, ConnectionSlot::nowMs());
        m_deadline.setRemainingTime(m_idleTimeoutMs);
        break;
    }
    case State::Receiving:
    case State::Sending: m_deadline.setRemainingTime(m_requestTimeoutMs); break;
    case State::Waiting:
    case State::Closing: m_deadline = QDeadlineTimer(QDeadlineTimer::Forever); break;
    }
}

void ClientConnection::checkDeadline()
{
    if (!m_closed && m_deadline.hasExpired()) {
        m_socket->abort();
        close();
    }
}

void ClientConnection::shed()
{
    if (!m_closed) {
        m_socket->abort();
        close();
    }
}

bool ClientConnection::claimRequest()
{
    if (m_slot->since.exchange(ConnectionSlot::kBusy) != ConnectionSlot::kShed)
        return true;
    // Shed while its last bytes arrived: the request is dropped, never half served.
    m_slot->since = ConnectionSlot::kShed;
    shed();
    return false;
}

void ClientConnection::readMore()
{
    // An answer sent at once asks to read again from within the loop below: a
    // loop, not a recursion, however many requests a client sent ahead.
    if (m_reading) {
        m_readAgain = true;
        return;
    }
    m_reading = true;
    do {
        m_readAgain = false;
        if (m_closed || (m_state != State::Idle && m_state != State::Receiving))
            break; // the rest waits in the socket until the request in hand is answered
        const RequestReader::Status status = m_reader.feed(m_socket->readAll());
        if (status == RequestReader::Status::NeedMore) {
            // The deadline counts from a request's first byte and is not moved by later ones.
            if (m_state == State::Idle && m_reader.buffered() > 0)
                setState(State::Receiving);
        } else if (!claimRequest()) {
            break;
        } else if (status == RequestReader::Status::Bad) {
            answer("400 Bad Request", QByteArray(), QByteArray(), true);
        } else {
            setState(State::Waiting);
            const Request request = m_reader.take();
            m_keepAlive = request.keepAlive;
            m_method = request.method;
            m_target = request.target;
            m_version = request.version;
            m_since.start();
            Q_EMIT requestReady(this, request);
        }
    } while (m_readAgain);
    m_reading = false;
}

void ClientConnection::answer(
    const QByteArray &status, const QByteArray &contentType, const QByteArray &body, bool close)
{
    close = close || !keepsAlive();
    QByteArray response;
    response.reserve(96 + contentType.size() + body.size());
    response += "HTTP/1.1 " + status + "\r\n";
    if (!contentType.isEmpty())
        response += "Content-Type: " + contentType + "\r\n";
    response += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    if (close)
        response += "Connection: close\r\n";
    response += "\r\n";
    response += body;
    send(response, close);
}

void ClientConnection::send(const QByteArray &response, bool close)
{
    if (m_closed)
        return;
    accountAnswer(m_peer, m_method, m_target, m_version, response,
        m_since.isValid() ? m_since.nsecsElapsed() / 1000 : 0, m_admin);
    m_method.clear();
    m_since.invalidate();
    m_closeAfterAnswer = close || !keepsAlive();
    setState(State::Sending);
    // Straight to the kernel when Qt holds nothing unsent: no copy into Qt's
    // buffer and no wait for the socket to be reported writable.
    qsizetype sent = 0;
    if (m_socket->bytesToWrite() == 0) {
        const ssize_t n = ::send(
            m_socket->socketDescriptor(), response.constData(), size_t(response.size()), MSG_NOSIGNAL | MSG_DONTWAIT);
        sent = n > 0 ? n : 0;
    }
    if (sent < response.size())
        m_socket->write(sent == 0 ? response : response.mid(sent));
    else
        onBytesWritten();
}

void ClientConnection::onBytesWritten()
{
    if (m_closed || m_state != State::Sending || m_socket->bytesToWrite() > 0)
        return;
    if (m_closeAfterAnswer) {
        setState(State::Closing);
        m_socket->disconnectFromHost();
        return;
    }
    setState(State::Idle);
    // Bytes of the next request may already wait in the reader or the socket.
    readMore();
}

void ClientConnection::finish()
{
    m_finishing = true;
    if (m_state == State::Sending)
        m_closeAfterAnswer = true;
    else if (m_state == State::Idle || m_state == State::Receiving) {
        m_socket->abort();
        close();
    }
}

void ClientConnection::close()
{
    if (m_closed)
        return;
    m_closed = true;
    Q_EMIT closed(this);
    deleteLater();
}

} // namespace orvane::adserver
