#pragma once

#include <orvane/TYPE_INCOMINGAD.h>
#include <orvane/orvane_export.h>

#include <QObject>
#include <QString>

#include <memory>

namespace orvane::exchange {

class OVHTTPClientPrivate;

/// The exchange client, published for hosts that run their own exchange with
/// the ad server and read the offers: set the server and product, add the usage
/// counts, call StartDataExchange and listen to the four signals; after
/// ReceivedContent, AdCount and IncomingAd give the offered ads (their images
/// are in ImageFolder). Single-threaded on the caller's event loop; one
/// exchange runs at a time in a process. No exception ever leaves it.
class ORVANE_EXPORT OVHTTPClient : public QObject
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
    /// An idle client with no server set.
    explicit OVHTTPClient(QObject *parent = nullptr);
    /// Destroys the client; a running exchange ends with it.
    ~OVHTTPClient() override;

    /// The client's version as "major.minor.patch" (ORVANE_VERSION_STR).
    QString Version() const;
    /// The ad server's IP address or host name.
    QString RemoteHost() const;
    /// Sets the ad server's address, without leading and trailing spaces.
    void setRemoteHost(const QString &value);
    /// The ad server's TCP port, as text.
    QString RemotePort() const;
    /// Sets the ad server's port, without leading and trailing spaces.
    void setRemotePort(const QString &value);
    /// The user's age range reported to the server (an OrvAgeRange value).
    short AgeRange() const;
    /// Sets the reported age range.
    void setAgeRange(short value);
    /// The user's gender reported to the server.
    QString Gender() const;
    /// Sets the reported gender.
    void setGender(const QString &value);
    /// The user's postal code reported to the server.
    QString PostalCode() const;
    /// Sets the reported postal code.
    void setPostalCode(const QString &value);
    /// The user's country code reported to the server.
    QString Country() const;
    /// Sets the reported country code.
    void setCountry(const QString &value);
    /// The product identifier sent to the server.
    QString ProductGUID() const;
    /// Sets the product identifier.
    void setProductGUID(const QString &value);
    /// The content rating asked for (an OrvRating value).
    short RequestedRating() const;
    /// Sets the content rating asked for.
    void setRequestedRating(short value);
    /// The folder the offered ads' images are downloaded into.
    QString ImageFolder() const;
    /// Sets the image folder.
    void setImageFolder(const QString &value);
    /// The trace switch; StartDataExchange takes it from the TraceTransfer setting.
    bool DebugMode() const;
    /// Turns the trace of the exchange on or off.
    void setDebugMode(bool value);
    /// The result code of the last refused start.
    short LastError() const;
    /// The number of offers of the last content update; -1 while there is none.
    short AdCount() const;
    /// The start of the exchange or the latest data arrival (OLE Automation date).
    double LastTouched() const;

    /// The offer at @p Index (1-based); an empty record outside 1..AdCount.
    Q_INVOKABLE orvane::TYPE_INCOMINGAD IncomingAd(short Index) const;
    /// Starts an exchange: 0 when started; orvTransferInProgress while one
    /// runs, orvRemoteHostNotSpecified without host or port, orvError on failure.
    Q_INVOKABLE short StartDataExchange();
    /// Ends the running exchange; @p Why goes to the trace.
    Q_INVOKABLE void AbortDataExchange(const QString &Why);
    /// Adds the view and click counts of one ad to the next usage report.
    Q_INVOKABLE void AddUsageStat(const QString &AdGUID, short ViewCount, short ClickCount, double LastViewTime);
    /// Removes every count added with AddUsageStat.
    Q_INVOKABLE void ClearUsageStats();

Q_SIGNALS:
    /// The usage report was acknowledged by the server (or not).
    void SentUsage(bool Success);
    /// The content update arrived, with all its images (@p Complete) or not.
    void ReceivedContent(bool Complete);
    /// The exchange has ended, successfully or not.
    void DataExchanged(bool Success);
    /// A progress text of the running exchange.
    void ProgressMessage(const QString &Message);

private:
    std::unique_ptr<OVHTTPClientPrivate> d;
};

} // namespace orvane::exchange
