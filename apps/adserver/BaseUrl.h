#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QString>

#include <optional>

namespace orvane::adserver {

// The address under which clients fetch the images ("http://HOST:PORT/images").
// A server bound to one address names that address; one bound to every address
// (0.0.0.0, ::) cannot know which of them a client reached, so it takes the
// host the client asked for from the request's Host line.
class BaseUrl
{
public:
    static bool isWildcard(const QHostAddress &address);

    // For a server bound to a specific address.
    static QString forAddress(const QHostAddress &address, quint16 port);

    // For a wildcard server: the Host line's host (and its port, else `port`),
    // or nothing when the line is not a plain host, host:port, [IPv6] or [IPv6]:port.
    static std::optional<QString> forHostLine(const QByteArray &host, quint16 port);
};

} // namespace orvane::adserver
