#pragma once

#include <orvane/TYPE_INCOMINGAD.h>

#include <QObject>
#include <QString>

#include <memory>

namespace orvane::exchange {

class OVHTTPClientPrivate;

// The exchange client, published for hosts that run their own exchange with
// the ad server and read the offers: set the server and product, add the usage
// counts, call StartDataExchange and listen to the four signals; after
// ReceivedContent, AdCount and IncomingAd give the offered ads (their images
// are in ImageFolder). Single-threaded on the caller's event loop; one
// exchange runs at a time in a process. No exception ever leaves it.
class OVHTTPClient : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString Version READ Version CONSTANT)
    Q_PROPERTY(QString RemoteHost READ RemoteHost WRITE setRemoteHost)
    Q_PROPERTY(QString RemotePort READ RemotePort WRITE setRemotePort)
    Q_PROPERTY(short AgeRange READ AgeRange WRITE setAgeRange)
    Q_PROPERTY(QString Gender READ Gender WRITE setGender)
    Q_PROPERTY(QString PostalCode READ PostalCode WRITE setPostalCode)
    Q_PROPERTY(QString Country READ Country WRITE setCountry)
    Q_PROPERTY(QString ProductGUID READ ProductGUID WRITE setProductGUID)
    Q_PROPERTY(short RequestedRating READ RequestedRating WRITE setRequestedRating)
    Q_PROPERTY(QString ImageFolder READ ImageFolder WRITE setImageFolder)
    Q_PROPERTY(bool DebugMode READ DebugMode WRITE setDebugMode)
    Q_PROPERTY(short LastError READ LastError)
    Q_PROPERTY(short AdCount READ AdCount)
    Q_PROPERTY(double LastTouched READ LastTouched)

public:
    explicit OVHTTPClient(QObject *parent = nullptr);
    ~OVHTTPClient() override;

    QString Version() const;
    QString RemoteHost() const;
    void setRemoteHost(const QString &value); // trimmed
    QString RemotePort() const;
    void setRemotePort(const QString &value); // trimmed
    short AgeRange() const;
    void setAgeRange(short value);
    QString Gender() const;
    void setGender(const QString &value);
    QString PostalCode() const;
    void setPostalCode(const QString &value);
    QString Country() const;
    void setCountry(const QString &value);
    QString ProductGUID() const;
    void setProductGUID(const QString &value);
    short RequestedRating() const;
    void setRequestedRating(short value);
    QString ImageFolder() const;
    void setImageFolder(const QString &value);
    // The trace switch; StartDataExchange takes it from the TraceTransfer setting.
    bool DebugMode() const;
    void setDebugMode(bool value);
    short LastError() const;
    // The number of offers of the last content update; -1 while there is none.
    short AdCount() const;
    // The start of the exchange or the latest data arrival (OLE Automation date).
    double LastTouched() const;

    // The offer at Index (1-based); an empty record outside 1..AdCount.
    Q_INVOKABLE orvane::TYPE_INCOMINGAD IncomingAd(short Index) const;
    // 0 when started; 601 while one runs, 604 without host or port, -1 on failure.
    Q_INVOKABLE short StartDataExchange();
    Q_INVOKABLE void AbortDataExchange(const QString &Why);
    Q_INVOKABLE void AddUsageStat(const QString &AdGUID, short ViewCount, short ClickCount, double LastViewTime);
    Q_INVOKABLE void ClearUsageStats();

Q_SIGNALS:
    void SentUsage(bool Success);
    void ReceivedContent(bool Complete);
    void DataExchanged(bool Success);
    void ProgressMessage(const QString &Message);

private:
    std::unique_ptr<OVHTTPClientPrivate> d;
};

} // namespace orvane::exchange
