#include <orvane/Orvane.h>

#include "catalogue/OVAdvertisement.h"
#include "catalogue/OVCommercials.h"
#include "control/OrvanePrivate.h"
#include "exchange/OVAdStat.h"
#include "exchange/OVHTTPClient.h"
#include "exchange/OVUsageReport.h"
#include "personalization/OVUser.h"
#include "platform/Clock.h"
#include "support/ErrorHandler.h"
#include "support/OVRegistryHelpers.h"
#include "support/OVSimpleLog.h"
#include "window/frmAdDisplayer.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>

#include <cmath>
#include <limits>

namespace orvane {

OrvanePrivate::~OrvanePrivate() = default;

OVCommercials &OrvanePrivate::commercials()
{
    if (!Commercials) {
        Commercials = std::make_shared<OVCommercials>();
        Commercials->LoadAdInfoFromLocalStorage(DataFolder, ImageFolder);
    }
    return *Commercials;
}

short OrvanePrivate::refuseTransfer(short code)
{
    LastError = code;
    guarded(QStringLiteral("OVSocketClient.StartTransfer"), [&] { OVSimpleLog::LogWarning(ResultCodeText(code)); });
    return code;
}

short Orvane::StartTransfer()
{
    if (!d->Enabled)
        return d->refuseTransfer(orvControlDisabled);
    bool userMode = true;
    guarded(QStringLiteral("OVSocketClient.StartTransfer"), [&] { userMode = d->container().UserMode(); });
    if (!userMode)
        return d->refuseTransfer(orvDesignTimeTransfer);
    if (d->TransferInProgress)
        return d->refuseTransfer(orvTransferInProgress);
    if (d->RemoteHost.isEmpty() || d->RemotePort.isEmpty())
        return d->refuseTransfer(orvInvalidRemoteHost);
    if (d->ProductGUID.trimmed().size() != 38)
        return d->refuseTransfer(orvInvalidProductID);

    short result = -1;
    const bool ok = guarded(QStringLiteral("OVSocketClient.StartTransfer"), [&] {
        if (frmAdDisplayer *window = frmAdDisplayer::AdWindowInstance())
            window->disableUpdate();
        OVCommercials &catalogue = d->commercials();
        const auto user = std::make_shared<OVUser>();
        user->Load();
        if (!d->mOVClientTransfer) {
            d->mOVClientTransfer = std::make_unique<OVHTTPClient>();
            OVHTTPClient *client = d->mOVClientTransfer.get();
            connect(client, &OVHTTPClient::SentUsage, this, [this](bool s) { d->mOVClientTransfer_SentUsage(s); });
            connect(client, &OVHTTPClient::ReceivedContent, this,
                [this](bool c) { d->mOVClientTransfer_ReceivedContent(c); });
            connect(
                client, &OVHTTPClient::DataExchanged, this, [this](bool s) { d->mOVClientTransfer_DataExchanged(s); });
            connect(client, &OVHTTPClient::ProgressMessage, this, &Orvane::ProgressMessage);
        }
        d->UsageReport = std::make_shared<OVUsageReport>();
        OVHTTPClient &client = *d->mOVClientTransfer;
        client.setRemoteHost(d->RemoteHost);
        client.setRemotePort(d->RemotePort);
        client.setProductGUID(d->ProductGUID);
        client.setAgeRange(int16_t(user->AgeRange()));
        client.setCountry(user->CountryCode());
        client.setGender(user->Gender());
        client.setPostalCode(user->PostalCode());
        client.setRequestedRating(int16_t(user->Rating()));
        client.setImageFolder(d->ImageFolder);
        client.ClearUsageStats();
        d->collectUsage(catalogue, user);
        for (const auto &stat : d->UsageReport->AdStats())
            client.AddUsageStat(stat->AdIdGUIDString(), stat->ViewCount(), stat->ClickCount(), stat->LastViewTime());
        d->TransferInProgress = true;
        result = client.StartDataExchange();
        // A refused start raises no event: the flag is cleared here, so the
        // control is never left "in progress".
        if (result != 0)
            d->TransferInProgress = false;
    });
    if (!ok) {
        d->TransferInProgress = false;
        d->LastError = -1;
        return -1;
    }
    return result;
}

short Orvane::Transfer()
{
    short result = -1;
    guarded(QStringLiteral("OVSocketClient.Transfer"), [&] {
        using namespace OVRegistryHelpers;
        const QVariant setting = ReadSettingsValueOrDefault(
            HKEY_CURRENT_USER, kPreferencesKey, QStringLiteral("TransferTimeoutSeconds"), QStringLiteral("300"));
        const double seconds = setting.toString().trimmed().toDouble();
        const qint64 timeout = std::isfinite(seconds) ? std::llround(seconds) : 0;
        const qint64 start = platform::Clock::instance().localNow().toSecsSinceEpoch();
        if (StartTransfer() != 0) {
            result = -1;
            return;
        }
        bool timedOut = false;
        while (d->TransferInProgress) {
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
            if (platform::Clock::instance().localNow().toSecsSinceEpoch() - start > timeout) {
                timedOut = true;
                break;
            }
        }
        result = timedOut ? orvTransferTimedOut : orvSuccess;
    });
    return result;
}

void OrvanePrivate::collectUsage(OVCommercials &catalogue, const std::shared_ptr<OVUser> &user)
{
    // A save that failed after the last acknowledgement is tried again first.
    if (catalogue.SavePending() && !catalogue.DataFolder().isEmpty())
        catalogue.SaveAdInfoToLocalStorage();
    // Counts go out only when their deduction can be kept: otherwise the next
    // run would report them again. Without a data folder nothing outlives
    // the process, so nothing can be reported twice.
    const QString cannotSave = catalogue.DataFolder().isEmpty() ? QString() : catalogue.CannotSaveReason();
    for (int i = 1; i <= catalogue.AdCount(); ++i) {
        const auto ad = catalogue.Ad(int16_t(i));
        const int sum = ad->ClickCount() + ad->ViewCount();
        if (sum > std::numeric_limits<int16_t>::max() || sum < std::numeric_limits<int16_t>::min())
            raiseFault(FaultOverflow, QStringLiteral("The counts of ad %1 overflow").arg(ad->AdGUID()));
        if (sum > 0 && cannotSave.isEmpty())
            UsageReport->AddUsageStat(ad->AdGUID(), ad->ViewCount(), ad->ClickCount(), ad->LastViewTime());
    }
    if (!cannotSave.isEmpty()) {
        OVSimpleLog::LogWarning(
            QStringLiteral("Usage counts held back until the data file can be saved: ") + cannotSave);
        return;
    }
    // The report carries exactly what fits its buffer; the rest stays
    // counted for the next exchange.
    UsageReport->setProductGUID(ProductGUID);
    UsageReport->setUser(user);
    const int total = UsageReport->AdStats().Count();
    const int fitting = UsageReport->StatsThatFit();
    for (int i = total; i > fitting; --i)
        UsageReport->AdStats().Remove(i);
    if (fitting < total)
        OVSimpleLog::LogWarning(
            QStringLiteral("Usage report full: %1 of %2 usage statistics left for the next exchange")
                .arg(total - fitting)
                .arg(total));
}

void OrvanePrivate::mOVClientTransfer_SentUsage(bool Success)
{
    ErrorHandler handler(QStringLiteral("OVSocketClient.SentUsage"));
    if (Success) {
        // UsageReport holds exactly the statistics the acknowledged report
        // carried; each deduction is a step of its own.
        const auto report = UsageReport ? UsageReport : std::make_shared<OVUsageReport>();
        for (const auto &stat : report->AdStats()) {
            handler.step([&] {
                const auto ad = commercials().GetAdByGUID(stat->AdIdGUIDString());
                if (!ad)
                    raiseFault(FaultObjectNotSet,
                        QStringLiteral("Ad %1 is no longer in the catalogue").arg(stat->AdIdGUIDString()));
                ad->setClickCount(int16_t(ad->ClickCount() - stat->ClickCount()));
                ad->setViewCount(int16_t(ad->ViewCount() - stat->ViewCount()));
            });
        }
        handler.step([&] {
            OVCommercials &catalogue = commercials();
            catalogue.SaveAdInfoToLocalStorage();
            // The deducted counts stay in memory and are never sent again by
            // this process; the next save tries to keep them.
            if (catalogue.SavePending() && !catalogue.DataFolder().isEmpty())
                OVSimpleLog::LogWarning(
                    QStringLiteral("Reported usage deducted but not yet saved in ") + catalogue.DataFolder());
        });
        // Reported once: a second acknowledgement deducts nothing more.
        handler.step([&] { report->ClearUsageStats(); });
    }
    Q_EMIT q->ProgressMessage(
        (Success ? QStringLiteral("Sent") : QStringLiteral("Error sending")) + QStringLiteral(" usage data"));
}

void OrvanePrivate::mOVClientTransfer_ReceivedContent(bool Complete)
{
    ErrorHandler handler(QStringLiteral("OVSocketClient.ReceivedContent"));
    int16_t count = 0;
    const bool ready = handler.step([&] {
        if (Complete)
            commercials().ClearAdsWithNoCounts(true, true);
        count = mOVClientTransfer->AdCount();
    });
    if (!ready)
        return;
    OVCommercials &catalogue = commercials();
    for (int16_t i = 1; i <= count; ++i) {
        handler.step([&] {
            const TYPE_INCOMINGAD offer = mOVClientTransfer->IncomingAd(i);
            if (offer.AdGUID.isEmpty())
                return;
            auto ad = catalogue.GetAdByGUID(offer.AdGUID);
            const bool isNew = !ad;
            if (isNew) {
                ad = std::make_shared<OVAdvertisement>();
                ad->setAdGUID(offer.AdGUID);
                ad->setAdvertiserName(offer.AdvertiserName);
                ad->setClickCount(0);
            } else {
                ad->setAdvertiserName(offer.AdvertiserName);
            }
            ad->setClickURL(offer.ClickURL);
            ad->setExpirationDate(offer.ExpirationDate);
            ad->setImageFormat(offer.ImageFormat);
            ad->setImageFileName(offer.ImageFileName);
            ad->setRating(offer.Rating);
            ad->setSize(offer.Size);
            if (isNew) {
                ad->setViewCount(0);
                catalogue.AddAdvertisement(ad);
            }
        });
    }
    handler.step([&] { catalogue.SaveAdInfoToLocalStorage(); });
    handler.step([&] { catalogue.PurgeOldFiles(); });
}

void OrvanePrivate::mOVClientTransfer_DataExchanged(bool Success)
{
    TransferInProgress = false;
    Q_EMIT q->ProgressMessage(ResultCodeText(orvTransferComplete));
    Q_EMIT q->TransferComplete(Success);
}

} // namespace orvane
