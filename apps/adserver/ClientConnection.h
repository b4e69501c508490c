#pragma once

#include "ConnectionSlot.h"
#include "RequestReader.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>

#include <memory>

class QTcpSocket;

namespace orvane::adserver {

// One client's connection and the request under way on it. It handles one
// request at a time, and a deadline bounds every state a client controls:
//  - Idle (no request under way): closed after the idle time-out;
//  - Receiving: the whole request must arrive within the request time-out,
//    counted from its first byte, whatever the client trickles meanwhile;
//  - Waiting (for the server, e.g. a report's commit): no deadline of its own,
//    so that every report that commits is acknowledged; the writer answers
//    within its commit bound;
//  - Sending: the answer must be taken within the request time-out.
// The server checks the deadlines of all its connections a few times a second
// (`checkDeadline`), which costs less than a timer for each. While Idle or
// Receiving, a full server may shed the connection to make room (`shed`).
class ClientConnection : public QObject
{
    Q_OBJECT

public:
    enum class State { Idle, Receiving, Waiting, Sending, Closing };

    ClientConnection(QTcpSocket *socket, std::shared_ptr<ConnectionSlot> slot, int idleTimeoutMs, int requestTimeoutMs,
        QObject *parent = nullptr);

    QTcpSocket *socket() const { return m_socket; }
    const QHostAddress &peer() const { return m_peer; }
    const std::shared_ptr<ConnectionSlot> &slot() const { return m_slot; }
    State state() const { return m_state; }

    // Reads what has arrived; call once after construction.
    void start();
    // Answers the request in hand (in one write, so the status line arrives in the
    // first block), then reads the next one or closes (when asked to, or when the
    // request did not keep the connection alive).
    void answer(const QByteArray &status, const QByteArray &contentType = QByteArray(),
        const QByteArray &body = QByteArray(), bool close = false);
    // Whether an answer may keep the connection open; when it may, `send` takes a
    // complete response prepared beforehand.
    bool keepsAlive() const { return m_keepAlive && !m_finishing; }
    void send(const QByteArray &response, bool close);
    // Ends the connection after the request in hand has been answered; at once when there is none.
    void finish();
    // Closes the connection when the deadline of its state has passed.
    void checkDeadline();
    // Closes the connection to make room for another (the server is full).
    void shed();
    // Counts its answers under the admin listener's endpoint.
    void setAdmin() { m_admin = true; }

Q_SIGNALS:
    // A complete request: the receiver answers it now or later (after a commit);
    // no deadline runs until it does.
    void requestReady(ClientConnection *connection, const Request &request);
    // The socket is gone; the connection deletes itself afterwards.
    void closed(ClientConnection *connection);

private:
    void setState(State state);
    void readMore();
    void onBytesWritten();
    void close();
    // Marks the request in hand complete; false when the connection was shed first.
    bool claimRequest();

    QTcpSocket *m_socket;
    std::shared_ptr<ConnectionSlot> m_slot;
    QHostAddress m_peer;
    RequestReader m_reader;
    QDeadlineTimer m_deadline;
    const int m_idleTimeoutMs;
    const int m_requestTimeoutMs;
    State m_state = State::Idle;
    bool m_closeAfterAnswer = false;
    bool m_keepAlive = true; // of the request in hand
    bool m_finishing = false;
    bool m_closed = false;
    bool m_reading = false;
    bool m_readAgain = false;
    bool m_admin = false;
    // The request in hand, for the access log and the metrics.
    QByteArray m_method;
    QByteArray m_target;
    QByteArray m_version;
    QElapsedTimer m_since;
};

} // namespace orvane::adserver
