#include "exchange/OVWinsock.h"

#include "exchange/WinsockErrors.h"
#include "support/OVFault.h"

#include <QTcpSocket>

namespace orvane {

OVWinsock::OVWinsock(QObject *parent)
    : QObject(parent)
    , m_socket(new QTcpSocket(this))
{
    // The exchange is small and interactive: no Nagle delay on the requests.
    connect(m_socket, &QTcpSocket::connected, this, [this] {
        m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        Q_EMIT Connected();
    });
    connect(m_socket, &QTcpSocket::readyRead, this, [this] {
        const qint64 available = m_socket->bytesAvailable();
        if (available > 0)
            Q_EMIT DataArrival(available);
    });
    connect(m_socket, &QTcpSocket::bytesWritten, this, &OVWinsock::onBytesWritten);
    connect(m_socket, &QTcpSocket::errorOccurred, this, &OVWinsock::onErrorOccurred);
    connect(m_socket, &QTcpSocket::disconnected, this, &OVWinsock::onDisconnected);
}

OVWinsock::~OVWinsock()
{
    m_closingLocally = true;
    m_socket->abort();
}

int OVWinsock::State() const
{
    switch (m_socket->state()) {
    case QAbstractSocket::UnconnectedState: return sckClosed;
    case QAbstractSocket::HostLookupState: return sckResolvingHost;
    case QAbstractSocket::ConnectingState: return sckConnecting;
    case QAbstractSocket::ConnectedState: return sckConnected;
    case QAbstractSocket::BoundState: return sckOpen;
    case QAbstractSocket::ListeningState: return sckListening;
    case QAbstractSocket::ClosingState: return sckClosing;
    }
    return sckError;
}

void OVWinsock::Close()
{
    m_closingLocally = true;
    m_socket->abort();
    m_closingLocally = false;
    m_unsent = 0;
}

quint16 OVWinsock::parsePort(const QString &remotePort)
{
    bool ok = false;
    const qlonglong port = remotePort.trimmed().toLongLong(&ok);
    if (!ok)
        raiseFault(FaultTypeMismatch, QStringLiteral("Invalid port: ") + remotePort);
    if (port < 1 || port > 65535)
        raiseFault(FaultInvalidCall, QStringLiteral("Invalid port: ") + remotePort);
    return quint16(port);
}

void OVWinsock::Connect(const QString &remoteHost, const QString &remotePort)
{
    const quint16 port = parsePort(remotePort);
    if (m_socket->state() != QAbstractSocket::UnconnectedState)
        Close();
    m_unsent = 0;
    m_errorRaised = false;
    m_socket->connectToHost(remoteHost, port);
}

void OVWinsock::SendData(const QByteArray &data)
{
    if (data.isEmpty())
        return;
    if (m_socket->state() != QAbstractSocket::ConnectedState)
        raiseFault(FaultInvalidCall, QStringLiteral("Wrong protocol or connection state"));
    m_unsent += data.size();
    if (m_socket->write(data) != data.size())
        raiseFault(FaultDeviceIO, m_socket->errorString());
}

QByteArray OVWinsock::GetData()
{
    return m_socket->readAll();
}

void OVWinsock::onBytesWritten(qint64 bytes)
{
    if (m_unsent <= 0)
        return;
    m_unsent -= bytes;
    if (m_unsent <= 0) {
        m_unsent = 0;
        Q_EMIT SendComplete();
    }
}

void OVWinsock::onErrorOccurred()
{
    const QAbstractSocket::SocketError error = m_socket->error();
    // Qt reports the peer's orderly close as an error too; the Close event
    // stands for it. Only a close that leaves bytes unsent is a reset.
    if (error == QAbstractSocket::RemoteHostClosedError && m_unsent <= 0 && m_socket->bytesToWrite() == 0)
        return;
    if (m_closingLocally || m_errorRaised)
        return;
    m_errorRaised = true;
    const WinsockError mapped = winsockError(error);
    Q_EMIT Error(mapped.number, mapped.description);
}

void OVWinsock::onDisconnected()
{
    if (m_closingLocally || m_errorRaised)
        return;
    Q_EMIT Closed();
}

} // namespace orvane
