#pragma once

#include "exchange/TYPE_INCOMINGAD.h"
#include "platform/ImageLimits.h"
#include "platform/UrlFetcher.h"
#include "support/TrimSpaces.h"

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <memory>

namespace orvane {

class OVContentUpdate;
class OVImageRetrieval;
class OVUsageReport;
class OVUser;
class OVWinsock;
class frmTransferControls;

// One data exchange with the ad server: the usage post and its
// acknowledgement on a first connection, the ad list request and the content
// update on a second, then the images of the offers. Event-driven on the
// thread's event loop: after StartDataExchange every step runs from the
// shared socket's events, the image downloads' events and the time-out timer
// of frmTransferControls. Nothing waits: the host's other events run between
// any two steps.
class OVHTTPClient : public QObject
{
    Q_OBJECT

public:
    // Bounds of the image downloads, so that an exchange never hangs on one
    // image: at most kImageRetrievalBudgetMs for all of them together.
    static constexpr int kImageTimeoutMs = 15'000;
    static constexpr int kImageConnectTimeoutMs = 5'000;
    static constexpr int kImageRetrievalBudgetMs = 30'000;
    static constexpr int kConcurrentImageFetches = 4;
    static platform::UrlFetcher::Limits defaultImageLimits();

    explicit OVHTTPClient(QObject *parent = nullptr);
    ~OVHTTPClient() override;

    QString Version() const;
    QString RemoteHost() const { return m_remoteHost; }
    void setRemoteHost(const QString &value) { m_remoteHost = trimSpaces(value); }
    QString RemotePort() const { return m_remotePort; }
    void setRemotePort(const QString &value) { m_remotePort = trimSpaces(value); }
    int16_t AgeRange() const;
    void setAgeRange(int16_t value);
    QString Gender() const;
    void setGender(const QString &value);
    QString PostalCode() const;
    void setPostalCode(const QString &value);
    QString Country() const;
    void setCountry(const QString &value);
    QString ProductGUID() const { return m_productGUID; }
    void setProductGUID(const QString &value) { m_productGUID = value; }
    int16_t RequestedRating() const;
    void setRequestedRating(int16_t value);
    QString ImageFolder() const { return m_imageFolder; }
    void setImageFolder(const QString &value) { m_imageFolder = value; }
    bool DebugMode() const { return m_debugMode; }
    void setDebugMode(bool value) { m_debugMode = value; }
    int16_t LastError() const { return int16_t(m_lastError); }
    // Throws OVFault 91 while there is no content update.
    int16_t AdCount() const;
    double LastTouched() const;
    QDateTime lastTouchedDateTime() const { return m_lastTouched; }
    TYPE_INCOMINGAD IncomingAd(int16_t Index) const;

    int16_t StartDataExchange();
    void AbortDataExchange(const QString &Why);
    void AddUsageStat(const QString &AdGUID, int16_t ViewCount, int16_t ClickCount, double LastViewTime);
    void ClearUsageStats();

    platform::UrlFetcher::Limits imageLimits() const { return m_imageLimits; }
    void setImageLimits(const platform::UrlFetcher::Limits &limits) { m_imageLimits = limits; }

    // The exchange state (numbers of OVFraming::ExchangeState).
    int32_t state() const { return m_state; }
    // True from a started exchange until its DataExchanged.
    bool isExchanging() const { return m_exchanging; }
    // True while the images of the content update are being fetched.
    bool isRetrievingImages() const { return m_retrieval != nullptr; }
    // The bound on a whole exchange, in seconds from its start, for a
    // time-out of t seconds (see StartDataExchange).
    int32_t exchangeLimitSeconds(int32_t timeoutSeconds) const;

    // The shared socket's events, routed here by frmTransferControls while
    // this client runs the exchange.
    void mSocket_Connect();
    void mSocket_DataArrival(qint64 bytesTotal);
    void mSocket_SendComplete();
    void mSocket_Close();
    void mSocket_Error(int number, const QString &description);

Q_SIGNALS:
    void SentUsage(bool Success);
    void ReceivedContent(bool Complete);
    void DataExchanged(bool Success);
    void ProgressMessage(const QString &Message);

private:
    // Whether the exchange that ran before an event was raised still runs:
    // a handler may have ended it, or deleted the client.
    struct Ongoing
    {
        QPointer<OVHTTPClient> client;
        quint64 generation;
        explicit operator bool() const { return client && client->m_generation == generation; }
    };
    Ongoing ongoing() { return {this, m_generation}; }
    void trace(const QString &text) const;
    void receive(const QByteArray &block);
    void processContent();
    void retrieveImages();
    void closeConnection();
    // Ends the running exchange (once) or, when always is set, raises
    // DataExchanged whether one runs or not.
    void finish(bool result, bool always = false);
    void imagesRetrieved(bool ok);
    void stopRetrieval();
    void failExchange(const QString &why);
    void receiveHeader(const QByteArray &block);
    void checkContent(const QString &prefix);
    void GetNewImages(bool overwrite);
    void dumpContent(const QByteArray &content) const;
    OVWinsock *socket() const;

    QString m_remoteHost;
    QString m_remotePort;
    QString m_productGUID;
    QString m_imageFolder;
    bool m_debugMode = false;
    int32_t m_state = 0;
    int32_t m_lastError = 0;
    QDateTime m_lastTouched;
    int32_t m_expectedContentLength = 0;
    QByteArray m_content;
    bool m_exchanging = false;
    // Counts started and finished exchanges: a step that raised an event
    // checks it to see whether a handler ended the exchange meanwhile.
    quint64 m_generation = 0;
    QByteArray m_header;
    platform::UrlFetcher::Limits m_imageLimits = defaultImageLimits();
    std::unique_ptr<OVUsageReport> m_usageReport;
    std::shared_ptr<OVUser> m_user;
    std::unique_ptr<OVContentUpdate> m_contentUpdate;
    std::unique_ptr<OVImageRetrieval> m_retrieval;
    frmTransferControls *m_controls = nullptr;
};

} // namespace orvane
