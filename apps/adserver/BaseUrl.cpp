#include "BaseUrl.h"

#include <algorithm>

namespace orvane::adserver {

namespace {

bool isNameChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

// A DNS name or IPv4 address: letters, digits, '-' and '.', no empty label.
bool isHostName(const QByteArray &name)
{
    if (name.isEmpty() || name.size() > 253 || name.startsWith('.') || name.startsWith('-') || name.contains(".."))
        return false;
    return std::all_of(name.cbegin(), name.cend(), isNameChar);
}

QString url(const QString &host, quint16 port)
{
    return QStringLiteral("http://%1:%2/images").arg(host).arg(port);
}

} // namespace

bool BaseUrl::isWildcard(const QHostAddress &address)
{
    return address == QHostAddress(QHostAddress::AnyIPv4) || address == QHostAddress(QHostAddress::AnyIPv6)
        || address == QHostAddress(QHostAddress::Any);
}

QString BaseUrl::forAddress(const QHostAddress &address, quint16 port)
{
    if (address.protocol() == QAbstractSocket::IPv6Protocol)
        return url(QLatin1Char('[') + address.toString() + QLatin1Char(']'), port);
    return url(address.toString(), port);
}

std::optional<QString> BaseUrl::forHostLine(const QByteArray &host, quint16 port)
{
    QByteArray name = host;
    QByteArray portText;
    if (host.startsWith('[')) {
        const qsizetype close = host.indexOf(']');
        if (close < 0)
            return std::nullopt;
        name = host.left(close + 1);
        const QByteArray rest = host.mid(close + 1);
        if (!rest.isEmpty() && !rest.startsWith(':'))
            return std::nullopt;
        portText = rest.mid(1);
        if (!rest.isEmpty() && portText.isEmpty())
            return std::nullopt;
        const QHostAddress v6(QString::fromLatin1(name.mid(1, name.size() - 2)));
        if (v6.protocol() != QAbstractSocket::IPv6Protocol || !v6.scopeId().isEmpty())
            return std::nullopt;
        name = '[' + v6.toString().toLatin1() + ']';
    } else {
        const qsizetype colon = host.indexOf(':');
        if (colon >= 0) {
            name = host.left(colon);
            portText = host.mid(colon + 1);
            if (portText.isEmpty())
                return std::nullopt;
        }
        if (!isHostName(name))
            return std::nullopt;
    }
    if (!portText.isEmpty()) {
        bool ok = false;
        const uint given = portText.toUInt(&ok);
        if (!ok || portText.size() > 5 || portText.front() == '0' || given == 0 || given > 65535
            || !std::all_of(portText.cbegin(), portText.cend(), [](char c) { return c >= '0' && c <= '9'; }))
            return std::nullopt;
        port = quint16(given);
    }
    return url(QString::fromLatin1(name), port);
}

} // namespace orvane::adserver
