#include "exchange/WinsockErrors.h"

#include <array>

namespace orvane {

namespace {

struct Row
{
    QAbstractSocket::SocketError qt;
    int number;
    const char *description;
};

// Qt reports a graceful close by the peer and a reset alike; the socket
// wrapper turns the first into the Close event, so what reaches this table
// as RemoteHostClosedError is the reset.
constexpr std::array kRows = {
    Row {QAbstractSocket::ConnectionRefusedError, WsaConnectionRefused, "Connection refused"},
    Row {QAbstractSocket::RemoteHostClosedError, WsaConnectionReset, "Connection reset by peer"},
    Row {QAbstractSocket::HostNotFoundError, WsaHostNotFound, "Host not found"},
    Row {QAbstractSocket::SocketAccessError, WsaAccessDenied, "Permission denied"},
    Row {QAbstractSocket::SocketResourceError, WsaNoBufferSpace, "No buffer space available"},
    Row {QAbstractSocket::SocketTimeoutError, WsaTimedOut, "Connection timed out"},
    Row {QAbstractSocket::DatagramTooLargeError, WsaMessageTooLong, "Message too long"},
    Row {QAbstractSocket::NetworkError, WsaNetworkDown, "Network is down"},
    Row {QAbstractSocket::AddressInUseError, WsaAddressInUse, "Address already in use"},
    Row {QAbstractSocket::SocketAddressNotAvailableError, WsaAddressNotAvailable, "Cannot assign requested address"},
    Row {QAbstractSocket::UnsupportedSocketOperationError, WsaNotSupported, "Operation not supported"},
    Row {QAbstractSocket::UnfinishedSocketOperationError, WsaInProgress, "Operation now in progress"},
    Row {QAbstractSocket::ProxyConnectionRefusedError, WsaConnectionRefused, "Connection refused"},
    Row {QAbstractSocket::ProxyConnectionClosedError, WsaConnectionReset, "Connection reset by peer"},
    Row {QAbstractSocket::ProxyConnectionTimeoutError, WsaTimedOut, "Connection timed out"},
    Row {QAbstractSocket::ProxyNotFoundError, WsaHostNotFound, "Host not found"},
    Row {QAbstractSocket::TemporaryError, WsaWouldBlock, "Resource temporarily unavailable"},
};

constexpr Row kInvalidArgument {QAbstractSocket::UnknownSocketError, WsaInvalidArgument, "Invalid argument"};
constexpr Row kUnreachable {QAbstractSocket::UnknownSocketError, WsaHostUnreachable, "No route to host"};
constexpr Row kUnknown {QAbstractSocket::UnknownSocketError, WsaUnknown, "Unknown socket error"};

} // namespace

WinsockError winsockError(QAbstractSocket::SocketError error)
{
    for (const Row &row : kRows) {
        if (row.qt == error)
            return {row.number, QString::fromLatin1(row.description)};
    }
    return {kUnknown.number, QString::fromLatin1(kUnknown.description)};
}

QString winsockDescription(int number)
{
    for (const Row &row : kRows) {
        if (row.number == number)
            return QString::fromLatin1(row.description);
    }
    for (const Row &row : {kInvalidArgument, kUnreachable, kUnknown}) {
        if (row.number == number)
            return QString::fromLatin1(row.description);
    }
    return QString();
}

} // namespace orvane
