#include "exchange/OVHTTPClient.h"

#include "exchange/OVAdOffering.h"
#include "exchange/OVContentUpdate.h"
#include "exchange/OVFraming.h"
#include "exchange/OVImageRetrieval.h"
#include "exchange/OVUsageReport.h"
#include "exchange/OVWinsock.h"
#include "exchange/frmTransferControls.h"
#include "personalization/OVUser.h"
#include "platform/Clock.h"
#include "platform/ModuleInfo.h"
#include "support/Ansi.h"
#include "support/ErrorHandler.h"
#include "support/OVHelperFunctions.h"
#include "support/OVRegistryHelpers.h"
#include "support/OVSimpleLog.h"
#include "support/OleDate.h"
#include "support/TimeoutSetting.h"
#include "support/WholeNumber.h"

#include <orvane/OrvaneVersion.h>

#include <orvane/ResultCodes.h>

#include <QFile>
#include <QPointer>

namespace orvane {

using namespace OVFraming;
using namespace OVRegistryHelpers;

namespace {
constexpr int kDefaultGranularityMs = 500;
// The header of a content response must end within this many bytes.
constexpr qsizetype kMaxContentHeaderBytes = 8192;

QString number(qint64 n)
{
    return QString::number(n);
}
} // namespace

platform::UrlFetcher::Limits OVHTTPClient::defaultImageLimits()
{
    platform::UrlFetcher::Limits limits;
    limits.maxBytes = ImageLimits::kMaxImageBytes;
    limits.timeoutMs = kImageTimeoutMs;
    limits.connectTimeoutMs = kImageConnectTimeoutMs;
    limits.totalTimeoutMs = kImageRetrievalBudgetMs;
    limits.concurrency = kConcurrentImageFetches;
    return limits;
}

int32_t OVHTTPClient::exchangeLimitSeconds(int32_t timeoutSeconds) const
{
    // The time-out counts silence only, so a server that sends a byte now
    // and then would hold an exchange forever. Each of the two connections
    // may be silent for up to one time-out, and the images have their own
    // budget: past twice the time-out plus that budget the exchange ends.
    const int32_t images = (std::max(0, m_imageLimits.totalTimeoutMs) + 999) / 1000;
    return 2 * std::max(0, timeoutSeconds) + images;
}

OVHTTPClient::OVHTTPClient(QObject *parent)
    : QObject(parent)
{
    ErrorHandler handler(QStringLiteral("OVClientTransfer.Init"));
    if (!handler.step([&] {
            m_user = std::make_shared<OVUser>();
            m_usageReport = std::make_unique<OVUsageReport>();
        }))
        return; // never idle: every start is refused with 601
    handler.step([&] {
        m_controls = frmTransferControls::Acquire();
        if (!m_controls || !m_controls->Winsock1())
            OVSimpleLog::LogWarning(QStringLiteral("Cannot create Winsock control"));
    });
    m_state = StateIdle;
}

OVHTTPClient::~OVHTTPClient()
{
    stopRetrieval();
    if (m_controls) {
        if (m_controls->client() == this) {
            m_controls->Timer1()->stop();
            m_controls->setClient(nullptr);
            if (m_controls->Winsock1())
                m_controls->Winsock1()->Close();
        }
        frmTransferControls::Release();
    }
}

QString OVHTTPClient::Version() const
{
    return QStringLiteral(ORVANE_VERSION_STR);
}

int16_t OVHTTPClient::AgeRange() const
{
    return m_user ? int16_t(m_user->AgeRange()) : 0;
}
void OVHTTPClient::setAgeRange(int16_t value)
{
    if (m_user)
        m_user->setAgeRange(value);
}
QString OVHTTPClient::Gender() const
{
    return m_user ? m_user->Gender() : QString();
}
void OVHTTPClient::setGender(const QString &value)
{
    if (m_user)
        m_user->setGender(value);
}
QString OVHTTPClient::PostalCode() const
{
    return m_user ? m_user->PostalCode() : QString();
}
void OVHTTPClient::setPostalCode(const QString &value)
{
    if (m_user)
        m_user->setPostalCode(value);
}
QString OVHTTPClient::Country() const
{
    return m_user ? m_user->CountryCode() : QString();
}
void OVHTTPClient::setCountry(const QString &value)
{
    if (m_user)
        m_user->setCountryCode(value);
}
int16_t OVHTTPClient::RequestedRating() const
{
    return m_usageReport ? int16_t(m_usageReport->RequestedRating()) : 0;
}
void OVHTTPClient::setRequestedRating(int16_t value)
{
    if (m_usageReport)
        m_usageReport->setRequestedRating(value);
    // The report's user record is what travels: without this the server gets
    // rating 0 whatever the user chose.
    if (m_user)
        m_user->setRating(value);
}

int16_t OVHTTPClient::AdCount() const
{
    if (!m_contentUpdate)
        raiseFault(FaultObjectNotSet);
    return int16_t(m_contentUpdate->AdOfferings().Count());
}

double OVHTTPClient::LastTouched() const
{
    return m_lastTouched.isValid() ? OleDate::fromDateTime(m_lastTouched) : 0.0;
}

TYPE_INCOMINGAD OVHTTPClient::IncomingAd(int16_t Index) const
{
    TYPE_INCOMINGAD record;
    guarded(QStringLiteral("OVClientTransfer.IncomingAd"), [&] {
        if (Index > AdCount())
            return;
        const auto offer = m_contentUpdate->AdOfferings().Item(Index);
        if (offer->AdGUID().isEmpty())
            return;
        record.AdGUID = offer->AdGUID();
        record.AdvertiserGUID = offer->AdvertiserGUID();
        record.ExpirationDate = offer->ExpirationDate();
        record.Size = int16_t(offer->Size());
        record.Rating = int16_t(offer->Rating());
        record.ImageFormat = int16_t(offer->ImageFormat());
        record.ClickURL = offer->ClickURL();
        record.ImageFileName = offer->ImageFileName();
    });
    return record;
}

void OVHTTPClient::AddUsageStat(const QString &AdGUID, int16_t ViewCount, int16_t ClickCount, double LastViewTime)
{
    if (m_usageReport)
        m_usageReport->AddUsageStat(AdGUID, ViewCount, ClickCount, LastViewTime);
}

void OVHTTPClient::ClearUsageStats()
{
    if (m_usageReport)
        m_usageReport->ClearUsageStats();
}

OVWinsock *OVHTTPClient::socket() const
{
    if (!m_controls || !m_controls->Winsock1())
        raiseFault(FaultObjectNotSet, QStringLiteral("No socket"));
    return m_controls->Winsock1();
}

void OVHTTPClient::trace(const QString &text) const
{
    if (m_debugMode)
        guarded(QStringLiteral("OVClientTransfer.Trace"), [&] { OVSimpleLog::WriteTraceLine(text); });
}

int16_t OVHTTPClient::StartDataExchange()
{
    m_debugMode = toBoolean(
        ReadSettingsValueOrDefault(HKEY_CURRENT_USER, kDebugKey, QStringLiteral("TraceTransfer"), QVariant(false)));
    auto refuse = [this](int16_t code) {
        m_lastError = code;
        guarded(QStringLiteral("OVClientTransfer.StartDataExchange"),
            [&] { OVSimpleLog::LogWarning(ResultCodeText(code)); });
        return code;
    };
    // While the images are fetched the state is already Idle, but the
    // exchange runs until its DataExchanged.
    if (m_state != StateIdle || m_exchanging)
        return refuse(orvTransferInProgress);
    if (m_remoteHost.isEmpty() || m_remotePort.isEmpty())
        return refuse(orvRemoteHostNotSpecified);
    if (!m_usageReport)
        return refuse(orvNoUsageReport);
    if (!m_user)
        return refuse(orvNoDemographicData);

    ErrorHandler handler(QStringLiteral("OVClientTransfer.StartDataExchange"));
    m_contentUpdate.reset();
    m_content.clear();
    m_header.clear();
    handler.step([&] {
        if (socket()->State() != OVWinsock::sckClosed)
            socket()->Close();
    });
    const bool started = handler.step([&] {
        touch();
        m_controls->setClient(this);
        m_controls->setTimeout(transferTimeoutSeconds(false));
        m_controls->setExchangeLimit(m_sinceTouched, exchangeLimitSeconds(m_controls->Timeout()));
        if (m_controls->Timeout() > 0) {
            // A tick that is no number is logged and ticks at the default:
            // the time-out itself stands.
            const QString name = QStringLiteral("TimeoutGranularity");
            int granularity = kDefaultGranularityMs;
            guarded(QStringLiteral("OVClientTransfer.StartDataExchange"), [&] {
                granularity = toWholeNumber(
                    ReadSettingsValueOrDefault(HKEY_CURRENT_USER, kPreferencesKey, name, kDefaultGranularityMs), name);
            });
            m_controls->Timer1()->setInterval(std::max(10, granularity));
            m_controls->Timer1()->start();
        }
        m_state = StateConnecting;
        m_exchanging = true;
        ++m_generation;
        socket()->Connect(m_remoteHost, m_remotePort);
        trace(QStringLiteral("Connected"));
    });
    if (!started) {
        m_state = StateIdle;
        m_exchanging = false;
        if (m_controls)
            m_controls->Timer1()->stop();
        return -1;
    }
    return 0;
}

void OVHTTPClient::AbortDataExchange(const QString &Why)
{
    trace(QStringLiteral("Aborted (") + Why + u')');
    // The socket is closed and the client made idle, so the next exchange
    // can start. Every call ends with DataExchanged(false), running or not.
    if (m_exchanging) {
        stopRetrieval();
        closeConnection();
        m_state = StateIdle;
    }
    finish(false, true);
}

void OVHTTPClient::mSocket_Connect()
{
    guarded(QStringLiteral("OVClientTransfer.mSocket_Connect"), [&] {
        const Ongoing ongoing = this->ongoing();
        if (m_state == StateConnecting) {
            m_state = StateConnected;
            Q_EMIT ProgressMessage(QStringLiteral("Connected"));
            if (!ongoing)
                return;
            trace(QStringLiteral("About to POST"));
            m_usageReport->setProductGUID(m_productGUID);
            m_usageReport->setUser(m_user);
            const QByteArray report = m_usageReport->GetStateIntoByteArray();
            trace(QStringLiteral("Sending ") + number(AnnouncedUsageLength(report))
                + QStringLiteral(" bytes usage data"));
            Q_EMIT ProgressMessage(QStringLiteral("Sending usage data"));
            if (!ongoing)
                return;
            const QByteArray post = ComposeUsagePost(m_remoteHost, report);
            m_state = StateSendingUsageData;
            socket()->SendData(post);
        } else if (m_state == StateSentUsageData) {
            trace(QStringLiteral("Requesting Ads"));
            Q_EMIT ProgressMessage(QStringLiteral("Requesting Ads"));
            if (!ongoing)
                return;
            const QByteArray request = ComposeAdListRequest(m_remoteHost);
            m_state = StateSendingContentRequest;
            socket()->SendData(request);
            trace(QStringLiteral("Requesting ad content"));
        }
    });
}

void OVHTTPClient::mSocket_SendComplete()
{
    guarded(QStringLiteral("OVClientTransfer.SendComplete"), [&] {
        if (m_state == StateSendingUsageData) {
            m_state = StateSentUsageData;
            Q_EMIT ProgressMessage(QStringLiteral("Sent usage data"));
            trace(QStringLiteral("Sent usage data"));
        } else if (m_state == StateSendingContentRequest) {
            m_state = StateSentContentRequest;
            Q_EMIT ProgressMessage(QStringLiteral("Sent content request"));
            trace(QStringLiteral("Sent content request"));
        } else {
            trace(QStringLiteral("Unexpected state: ") + ExchangeStateName(m_state));
        }
    });
}

void OVHTTPClient::mSocket_DataArrival(qint64 bytesTotal)
{
    const Ongoing ongoing = this->ongoing();
    const bool ok = guarded(QStringLiteral("OVClientTransfer.DataArrival"), [&] {
        Q_EMIT ProgressMessage(QStringLiteral("Received ") + number(bytesTotal) + QStringLiteral(" bytes"));
        if (!ongoing)
            return;
        const QByteArray block = socket()->GetData();
        touch();
        trace(QStringLiteral("Data arrival: ") + number(bytesTotal) + QStringLiteral(" bytes, state ")
            + ExchangeStateName(m_state));
        trace(QStringLiteral("arIncoming: ") + Ansi::decode(block));
        receive(block);
    });
    if (!ok && ongoing) {
        closeConnection();
        m_state = StateIdle;
        finish(false);
    }
}

void OVHTTPClient::touch()
{
    // LastTouched is a date for the host; the time-out counts on the steady clock.
    m_lastTouched = platform::Clock::instance().localNow();
    m_sinceTouched.start();
}

void OVHTTPClient::receive(const QByteArray &block)
{
    const Ongoing ongoing = this->ongoing();
    switch (m_state) {
    case StateSentUsageData:
        if (IsOKResponse(block)) {
            trace(QStringLiteral("Server received usage data"));
            Q_EMIT SentUsage(true);
            if (!ongoing)
                return;
            socket()->Close();
            socket()->Connect(m_remoteHost, m_remotePort);
        } else {
            trace(QStringLiteral("Server did not receive usage data"));
            closeConnection();
            m_state = StateIdle;
            Q_EMIT SentUsage(false);
            if (ongoing)
                finish(false);
        }
        return;
    case StateSentContentRequest: receiveHeader(block); return;
    case StateReceivingAdContent:
        OVHelperFunctions::ConcatenateByteArrays(m_content, block);
        checkContent(QStringLiteral("content recvg, lbytessofar: "));
        return;
    default:
        trace(QStringLiteral("DataArrival in unhandled state : ") + number(m_state));
        failExchange(QString());
        return;
    }
}

void OVHTTPClient::receiveHeader(const QByteArray &block)
{
    // A header cut between blocks is collected until its empty line arrives.
    m_header.append(block);
    if (!m_header.contains("\r\n\r\n")) {
        if (m_header.size() > kMaxContentHeaderBytes)
            failExchange(QStringLiteral("Content header without an end"));
        return;
    }
    const ContentHeader header = ReadContentHeader(m_header);
    if (!header.usable) {
        failExchange(QStringLiteral("Content response without a usable Content-Length line"));
        return;
    }
    m_expectedContentLength = header.contentLength;
    trace(QStringLiteral("Header size: ") + number(header.headerLength) + QStringLiteral(", ContentLength: ")
        + number(m_expectedContentLength));
    OVHelperFunctions::CopyByteArray(m_header, m_content, header.headerLength);
    m_header.clear();
    trace(QStringLiteral("copied arincoming, arcontent "));
    checkContent(QStringLiteral("lbytessofar: "));
}

void OVHTTPClient::checkContent(const QString &prefix)
{
    const qsizetype have = m_content.size();
    trace(prefix + number(have));
    if (have > kMaxContentLength) {
        failExchange(QStringLiteral("Content longer than %1 bytes").arg(kMaxContentLength));
        return;
    }
    if (m_expectedContentLength > have) {
        trace(QStringLiteral("Recd partial content, ") + number(have) + QStringLiteral(" of ")
            + number(m_expectedContentLength));
        m_state = StateReceivingAdContent;
        return;
    }
    if (m_state == StateSentContentRequest)
        trace(QStringLiteral("have all content "));
    processContent();
    socket()->Close();
    retrieveImages();
}

void OVHTTPClient::processContent()
{
    if (m_debugMode)
        dumpContent(m_content);
    m_contentUpdate = std::make_unique<OVContentUpdate>();
    m_contentUpdate->SetStateFromByteArray(m_content);
    trace(QStringLiteral("Received Ad list"));
    Q_EMIT ProgressMessage(QStringLiteral("Received Ad list"));
    m_content.clear();
}

void OVHTTPClient::retrieveImages()
{
    const Ongoing ongoing = this->ongoing();
    m_state = StateIdle;
    trace(QStringLiteral("Retrieving images"));
    Q_EMIT ProgressMessage(QStringLiteral("Retrieving Images"));
    if (ongoing)
        GetNewImages(false);
}

void OVHTTPClient::GetNewImages(bool overwrite)
{
    OVImageRetrieval::Settings settings;
    settings.baseURL = m_contentUpdate->BaseURL();
    settings.imageFolder = m_imageFolder;
    settings.overwrite = overwrite;
    settings.trace = m_debugMode;
    settings.limits = m_imageLimits;
    QList<std::shared_ptr<OVAdOffering>> offers;
    for (const auto &offer : m_contentUpdate->AdOfferings())
        offers.append(offer);
    m_retrieval = std::make_unique<OVImageRetrieval>(std::move(offers), settings);
    connect(m_retrieval.get(), &OVImageRetrieval::ProgressMessage, this, &OVHTTPClient::ProgressMessage);
    connect(m_retrieval.get(), &OVImageRetrieval::finished, this, &OVHTTPClient::imagesRetrieved);
    m_retrieval->start();
}

void OVHTTPClient::imagesRetrieved(bool ok)
{
    // Released here, after its last signal has been delivered.
    const std::unique_ptr<OVImageRetrieval> done = std::move(m_retrieval);
    for (const auto &offer : done->failedOffers())
        guarded(QStringLiteral("OVClientTransfer.GetNewImages"), [&] { m_contentUpdate->RemoveOffering(offer); });
    const Ongoing ongoing = this->ongoing();
    if (ok) {
        Q_EMIT ReceivedContent(true);
    } else {
        Q_EMIT ReceivedContent(false);
        if (ongoing.client)
            m_lastError = orvImageRetrievalFailed;
    }
    if (ongoing)
        finish(ok);
}

void OVHTTPClient::stopRetrieval()
{
    // Cancels the downloads; nothing more comes from the retrieval.
    m_retrieval.reset();
}

void OVHTTPClient::failExchange(const QString &why)
{
    if (!why.isEmpty())
        trace(why);
    closeConnection();
    m_state = StateIdle;
    finish(false);
}

void OVHTTPClient::closeConnection()
{
    guarded(QStringLiteral("OVClientTransfer.CloseConnection"), [&] {
        if (m_controls && m_controls->Winsock1() && m_controls->client() == this)
            m_controls->Winsock1()->Close();
    });
    trace(QStringLiteral("Closed connection"));
}

void OVHTTPClient::finish(bool result, bool always)
{
    // An exchange ends once, however many ways it is told to; only an abort
    // reports the end again.
    const bool running = m_exchanging;
    if (!running && !always)
        return;
    m_exchanging = false;
    ++m_generation;
    if (running && m_controls && m_controls->client() == this)
        m_controls->Timer1()->stop();
    Q_EMIT DataExchanged(result);
}

void OVHTTPClient::mSocket_Close()
{
    trace(QStringLiteral("Socket_Close"));
    // The server closed while its acknowledgement or content was still
    // expected: that exchange can only fail, so it ends now rather than at
    // the time-out.
    if (m_state == StateSendingUsageData || m_state == StateSentUsageData)
        failExchange(QStringLiteral("Server closed the connection before acknowledging the usage data"));
    if (m_state == StateSendingContentRequest || m_state == StateSentContentRequest
        || m_state == StateReceivingAdContent)
        failExchange(QStringLiteral("Server closed the connection before all content arrived"));
}

void OVHTTPClient::mSocket_Error(int errorNumber, const QString &description)
{
    const QString text = QStringLiteral("Winsock Error ") + number(errorNumber) + QStringLiteral(" - ") + description;
    guarded(QStringLiteral("OVClientTransfer.mSocket_Error"), [&] { OVSimpleLog::LogWarning(text); });
    const Ongoing ongoing = this->ongoing();
    Q_EMIT ProgressMessage(text);
    if (!ongoing)
        return;
    closeConnection();
    m_state = StateIdle;
    finish(false);
}

void OVHTTPClient::dumpContent(const QByteArray &content) const
{
    QFile file(platform::ModuleInfo::instance().folder() + QStringLiteral("/AdContent.dat"));
    if (file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        file.write(content);
        file.write("\r\n");
    }
}

} // namespace orvane
