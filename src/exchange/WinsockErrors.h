#pragma once

#include <QAbstractSocket>
#include <QString>

namespace orvane {

// The socket's failures in the Windows Sockets numbering that the exchange
// reports ("Winsock Error 10061 - Connection refused"). One table for all.
struct WinsockError
{
    int number = 0;
    QString description;
};

enum WinsockErrorNumber : int {
    WsaAccessDenied = 10013,
    WsaInvalidArgument = 10022,
    WsaWouldBlock = 10035,
    WsaInProgress = 10036,
    WsaMessageTooLong = 10040,
    WsaNotSupported = 10045,
    WsaAddressInUse = 10048,
    WsaAddressNotAvailable = 10049,
    WsaNetworkDown = 10050,
    WsaConnectionReset = 10054,
    WsaNoBufferSpace = 10055,
    WsaTimedOut = 10060,
    WsaConnectionRefused = 10061,
    WsaHostUnreachable = 10065,
    WsaHostNotFound = 11001,
    WsaUnknown = 10000,
};

WinsockError winsockError(QAbstractSocket::SocketError error);
// The table's description of a number, for the numbers it holds.
QString winsockDescription(int number);

} // namespace orvane
