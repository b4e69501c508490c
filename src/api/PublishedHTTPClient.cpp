// The published exchange client forwards to the internal one.
#include <orvane/OVHTTPClient.h>

#include "exchange/OVHTTPClient.h"
#include "support/ErrorHandler.h"

namespace orvane::exchange {

class OVHTTPClientPrivate
{
public:
    ::orvane::OVHTTPClient client;
};

OVHTTPClient::OVHTTPClient(QObject *parent)
    : QObject(parent)
    , d(std::make_unique<OVHTTPClientPrivate>())
{
    ::orvane::OVHTTPClient *client = &d->client;
    connect(client, &::orvane::OVHTTPClient::SentUsage, this, &OVHTTPClient::SentUsage);
    connect(client, &::orvane::OVHTTPClient::ReceivedContent, this, &OVHTTPClient::ReceivedContent);
    connect(client, &::orvane::OVHTTPClient::DataExchanged, this, &OVHTTPClient::DataExchanged);
    connect(client, &::orvane::OVHTTPClient::ProgressMessage, this, &OVHTTPClient::ProgressMessage);
}

OVHTTPClient::~OVHTTPClient() = default;

QString OVHTTPClient::Version() const
{
    return d->client.Version();
}
QString OVHTTPClient::RemoteHost() const
{
    return d->client.RemoteHost();
}
void OVHTTPClient::setRemoteHost(const QString &value)
{
    d->client.setRemoteHost(value);
}
QString OVHTTPClient::RemotePort() const
{
    return d->client.RemotePort();
}
void OVHTTPClient::setRemotePort(const QString &value)
{
    d->client.setRemotePort(value);
}
short OVHTTPClient::AgeRange() const
{
    return d->client.AgeRange();
}
void OVHTTPClient::setAgeRange(short value)
{
    d->client.setAgeRange(value);
}
QString OVHTTPClient::Gender() const
{
    return d->client.Gender();
}
void OVHTTPClient::setGender(const QString &value)
{
    d->client.setGender(value);
}
QString OVHTTPClient::PostalCode() const
{
    return d->client.PostalCode();
}
void OVHTTPClient::setPostalCode(const QString &value)
{
    d->client.setPostalCode(value);
}
QString OVHTTPClient::Country() const
{
    return d->client.Country();
}
void OVHTTPClient::setCountry(const QString &value)
{
    d->client.setCountry(value);
}
QString OVHTTPClient::ProductGUID() const
{
    return d->client.ProductGUID();
}
void OVHTTPClient::setProductGUID(const QString &value)
{
    d->client.setProductGUID(value);
}
short OVHTTPClient::RequestedRating() const
{
    return d->client.RequestedRating();
}
void OVHTTPClient::setRequestedRating(short value)
{
    d->client.setRequestedRating(value);
}
QString OVHTTPClient::ImageFolder() const
{
    return d->client.ImageFolder();
}
void OVHTTPClient::setImageFolder(const QString &value)
{
    d->client.setImageFolder(value);
}
bool OVHTTPClient::DebugMode() const
{
    return d->client.DebugMode();
}
void OVHTTPClient::setDebugMode(bool value)
{
    d->client.setDebugMode(value);
}
short OVHTTPClient::LastError() const
{
    return d->client.LastError();
}

short OVHTTPClient::AdCount() const
{
    short count = -1;
    guarded(QStringLiteral("OVClientTransfer.AdCount"), [&] { count = d->client.AdCount(); });
    return count;
}

double OVHTTPClient::LastTouched() const
{
    return d->client.LastTouched();
}

TYPE_INCOMINGAD OVHTTPClient::IncomingAd(short Index) const
{
    return d->client.IncomingAd(Index);
}

short OVHTTPClient::StartDataExchange()
{
    short result = -1;
    guarded(QStringLiteral("OVClientTransfer.StartDataExchange"), [&] { result = d->client.StartDataExchange(); });
    return result;
}

void OVHTTPClient::AbortDataExchange(const QString &Why)
{
    guarded(QStringLiteral("OVClientTransfer.AbortDataExchange"), [&] { d->client.AbortDataExchange(Why); });
}

void OVHTTPClient::AddUsageStat(const QString &AdGUID, short ViewCount, short ClickCount, double LastViewTime)
{
    guarded(QStringLiteral("OVClientTransfer.AddUsageStat"),
        [&] { d->client.AddUsageStat(AdGUID, ViewCount, ClickCount, LastViewTime); });
}

void OVHTTPClient::ClearUsageStats()
{
    guarded(QStringLiteral("OVClientTransfer.ClearUsageStats"), [&] { d->client.ClearUsageStats(); });
}

} // namespace orvane::exchange
