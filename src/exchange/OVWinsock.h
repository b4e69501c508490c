#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class QTcpSocket;

namespace orvane {

// The exchange's TCP connection, with the events of a Windows Sockets
// control: Connect, DataArrival (with the bytes waiting), SendComplete (the
// whole of every send written), Close (by the peer only) and Error (numbered
// as in WinsockErrors.h). Events are signals, delivered from the thread's
// event loop; handlers may close and reconnect from inside them.
class OVWinsock : public QObject
{
    Q_OBJECT

public:
    enum SocketState : int {
        sckClosed = 0,
        sckOpen = 1,
        sckListening = 2,
        sckConnectionPending = 3,
        sckResolvingHost = 4,
        sckHostResolved = 5,
        sckConnecting = 6,
        sckConnected = 7,
        sckClosing = 8,
        sckError = 9,
    };

    explicit OVWinsock(QObject *parent = nullptr);
    ~OVWinsock() override;

    int State() const;
    // Never raises Close: that event is for the peer's close.
    void Close();
    // Throws OVFault 13 for a port that is not a number, 5 for one outside
    // 1..65535.
    void Connect(const QString &remoteHost, const QString &remotePort);
    void SendData(const QByteArray &data);
    // Every byte that has arrived.
    QByteArray GetData();

    static quint16 parsePort(const QString &remotePort);

Q_SIGNALS:
    void Connected();
    void DataArrival(qint64 bytesTotal);
    void SendComplete();
    void Closed();
    void Error(int number, const QString &description);

private:
    void onBytesWritten(qint64 bytes);
    void onErrorOccurred();
    void onDisconnected();

    QTcpSocket *m_socket;
    qint64 m_unsent = 0;
    bool m_closingLocally = false;
    bool m_errorRaised = false;
};

} // namespace orvane
