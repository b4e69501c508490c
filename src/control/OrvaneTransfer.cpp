#include <orvane/Orvane.h>

#include "catalogue/OVAdvertisement.h"
#include "catalogue/OVCommercials.h"
#include "control/OrvanePrivate.h"
#include "exchange/OVAdStat.h"
#include "exchange/OVHTTPClient.h"
#include "exchange/OVUsageReport.h"
#include "personalization/OVUser.h"
#include "platform/SecondCounter.h"
#include "support/ErrorHandler.h"
#include "support/OVRegistryHelpers.h"
#include "support/OVSimpleLog.h"
#include "support/TimeoutSetting.h"
#include "support/TrimSpaces.h"
#include "support/WholeNumber.h"
#include "window/frmAdDisplayer.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QPointer>

#include <limits>

namespace orvane {

OrvanePrivate::~OrvanePrivate()
{
    for (TransferWait *wait = m_wait; wait; wait = wait->outer) {
        wait->controlGone = true;
        wait->loop.quit();
    }
    if (mOVClientTransfer) {
        QObject::disconnect(mOVClientTransfer.get(), nullptr, q, nullptr);
        // Ended from inside one of the client's events: the client is still
        // running the call that raised it.
        if (m_clientEventDepth > 0)
            mOVClientTransfer.release()->deleteLater();
    }
}

template <typename F>
void OrvanePrivate::fromClient(Orvane *control, F &&handle)
{
    QPointer<Orvane> alive(control);
    ++control->d->m_clientEventDepth;
    handle();
    if (alive)
        --control->d->m_clientEventDepth;
}

void OrvanePrivate::wakeWaits()
{
    for (TransferWait *wait = m_wait; wait; wait = wait->outer) {
        wait->woken = true;
        wait->loop.quit();
    }
}

short OrvanePrivate::waitForTransfer(Orvane *control, const platform::SecondCounter &start, qint64 timeout)
{
    OrvanePrivate *d = control->d.get();
    TransferWait wait;
    wait.outer = d->m_wait;
    d->m_wait = &wait;
    wait.tick.setSingleShot(true);
    QObject::connect(&wait.tick, &QTimer::timeout, &wait.loop, [&wait] {
        wait.woken = true;
        wait.loop.quit();
    });
    short result = orvSuccess;
    while (d->TransferInProgress) {
        if (start.secondsPassed() > timeout) {
            result = orvTransferTimedOut;
            break;
        }
        // Sleep in the event loop until the next second boundary or the end
        // of the exchange, whichever comes first.
        wait.woken = false;
        wait.tick.start(start.msecsToNextBoundary() + 1);
        wait.loop.exec();
        if (wait.controlGone)
            return -1;
        if (!wait.woken) {
            // Ended from outside: the application quits, and no loop of this
            // thread will run again (exec returns at once from here on).
            QPointer<Orvane> alive(control);
            d->m_wait = wait.outer;
            d->endExchange(QStringLiteral("the application is quitting"));
            return alive ? short(orvTransferTimedOut) : short(-1);
        }
    }
    d->m_wait = wait.outer;
    return result;
}

void OrvanePrivate::endExchange(const QString &why)
{
    // As the client's time-out does: the exchange ends as failed, and the
    // host hears of it now, since the queued end would never be delivered.
    if (mOVClientTransfer)
        guarded(QStringLiteral("OVSocketClient.Transfer"), [&] { mOVClientTransfer->AbortDataExchange(why); });
    mOVClientTransfer_DataExchanged(false);
}

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
    if (trimSpaces(d->ProductGUID).size() != 38)
        return d->refuseTransfer(orvInvalidProductID);

    short result = -1;
    QPointer<Orvane> alive(this);
    const bool ok = guarded(QStringLiteral("OVSocketClient.StartTransfer"), [&] {
        if (frmAdDisplayer *window = frmAdDisplayer::AdWindowInstance())
            window->disableUpdate();
        OVCommercials &catalogue = d->commercials();
        const auto user = std::make_shared<OVUser>();
        user->Load();
        if (!d->mOVClientTransfer) {
            d->mOVClientTransfer = std::make_unique<OVHTTPClient>();
            OVHTTPClient *client = d->mOVClientTransfer.get();
            // Events of an exchange reach the host only while it runs: a late
            // event after DataExchanged (or one without an exchange) is dropped.
            connect(client, &OVHTTPClient::SentUsage, this, [this](bool s) {
                OrvanePrivate::fromClient(this, [&] {
                    if (d->TransferInProgress)
                        d->mOVClientTransfer_SentUsage(s);
                });
            });
            connect(client, &OVHTTPClient::ReceivedContent, this, [this](bool c) {
                OrvanePrivate::fromClient(this, [&] {
                    if (d->TransferInProgress)
                        d->mOVClientTransfer_ReceivedContent(c);
                });
            });
            // The end is handled from the event loop, not inside the client's
            // socket event: a host that waits again from TransferComplete
            // (Transfer, a modal window) must not hold the socket's events up.
            connect(
                client, &OVHTTPClient::DataExchanged, this,
                [this](bool s) { OrvanePrivate::fromClient(this, [&] { d->mOVClientTransfer_DataExchanged(s); }); },
                Qt::QueuedConnection);
            connect(client, &OVHTTPClient::ProgressMessage, this, [this](const QString &message) {
                OrvanePrivate::fromClient(this, [&] {
                    if (d->TransferInProgress)
                        Q_EMIT ProgressMessage(message);
                });
            });
        }
        d->UsageReport = std::make_shared<OVUsageReport>();
        OVHTTPClient &client = *d->mOVClientTransfer;
        client.setRemoteHost(d->RemoteHost);
        client.setRemotePort(d->RemotePort);
        client.setProductGUID(d->ProductGUID);
        client.setAgeRange(narrowed(user->AgeRange()));
        client.setCountry(user->CountryCode());
        client.setGender(user->Gender());
        client.setPostalCode(user->PostalCode());
        client.setRequestedRating(narrowed(user->Rating()));
        client.setImageFolder(d->ImageFolder);
        client.ClearUsageStats();
        d->collectUsage(catalogue, user);
        for (const auto &stat : d->UsageReport->AdStats())
            client.AddUsageStat(stat->AdIdGUIDString(), stat->ViewCount(), stat->ClickCount(), stat->LastViewTime());
        d->TransferInProgress = true;
        result = client.StartDataExchange();
        // The host may have ended the control from an event raised at once.
        if (!alive)
            return;
        // A refused start raises no event: the flag is cleared here, so the
        // control is never left "in progress".
        if (result != 0)
            d->TransferInProgress = false;
    });
    if (!alive)
        return result;
    if (!ok) {
        d->TransferInProgress = false;
        d->LastError = -1;
    }
    if ((!ok || result != 0) && d->Commercials)
        d->Commercials->EndReport();
    return ok ? result : short(-1);
}

short Orvane::Transfer()
{
    int32_t timeout = 0;
    QString why;
    const bool read = guarded(QStringLiteral("OVSocketClient.Transfer"), [&] {
        try {
            timeout = transferTimeoutSeconds(true);
        } catch (const OVFault &fault) {
            why = fault.description();
            throw;
        }
    });
    if (!read) {
        // Nothing started: the host learns why, not just that it failed.
        d->LastError = -1;
        if (!why.isEmpty())
            Q_EMIT ProgressMessage(QStringLiteral("Transfer not started: ") + why);
        return -1;
    }
    platform::SecondCounter start;
    start.start();
    QPointer<Orvane> alive(this);
    if (StartTransfer() != 0 || !alive)
        return -1;
    return OrvanePrivate::waitForTransfer(this, start, timeout);
}

void OrvanePrivate::collectUsage(OVCommercials &catalogue, const std::shared_ptr<OVUser> &user)
{
    // A save that failed after the last acknowledgement is tried again first.
    if (catalogue.SavePending() && !catalogue.DataFolder().isEmpty())
        catalogue.SaveAdInfoToLocalStorage();
    // Counts go out only when their deduction can be kept: otherwise the next
    // run would report them again. Without a data folder nothing outlives
    // the process, so nothing can be reported twice.
    QString cannotSave = catalogue.DataFolder().isEmpty() ? QString() : catalogue.CannotSaveReason();
    // One process at a time reports a folder's counts, and it reports what
    // every process sharing the folder has counted.
    if (cannotSave.isEmpty() && !catalogue.BeginReport())
        cannotSave
            = QStringLiteral("another control or program is reporting the usage counts of ") + catalogue.DataFolder();
    if (cannotSave.isEmpty())
        catalogue.MergeStoredCounts();
    for (int i = 1; i <= catalogue.AdCount(); ++i) {
        const auto ad = catalogue.Ad(int16_t(i));
        const int sum = ad->ClickCount() + ad->ViewCount();
        if (sum > std::numeric_limits<int16_t>::max() || sum < std::numeric_limits<int16_t>::min())
            raiseFault(FaultOverflow, QStringLiteral("The counts of ad %1 overflow").arg(ad->AdGUID()));
        if (sum > 0 && cannotSave.isEmpty())
            UsageReport->AddUsageStat(ad->AdGUID(), ad->ViewCount(), ad->ClickCount(), ad->LastViewTime());
    }
    if (!cannotSave.isEmpty()) {
        const QString message
            = QStringLiteral("Usage counts held back until the data file can be saved: ") + cannotSave;
        // The host hears it from the event loop, while the exchange runs:
        // not from inside StartTransfer, where it could end the control.
        QMetaObject::invokeMethod(
            q,
            [control = QPointer<Orvane>(q), message] {
                if (control && control->TransferInProgress())
                    Q_EMIT control->ProgressMessage(message);
            },
            Qt::QueuedConnection);
        OVSimpleLog::LogWarning(message);
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
            // this process; the next save tries to keep them. A report
            // without statistics deducted nothing.
            if (catalogue.SavePending() && !catalogue.DataFolder().isEmpty())
                OVSimpleLog::LogWarning(
                    (report->AdStats().Count() > 0 ? QStringLiteral("Reported usage deducted but not yet saved in ")
                                                   : QStringLiteral("Data file not yet saved in "))
                    + catalogue.DataFolder());
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
    for (int i = 1; i <= count; ++i) {
        handler.step([&] {
            const TYPE_INCOMINGAD offer = mOVClientTransfer->IncomingAd(int16_t(i));
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
    // The client may report an end when no exchange runs (an abort while
    // idle): there is nothing to end then.
    if (!TransferInProgress)
        return;
    TransferInProgress = false;
    if (Commercials)
        Commercials->EndReport();
    wakeWaits();
    // The host may end the control, or start the next exchange, from either
    // event; TransferComplete still belongs to the exchange that ended.
    QPointer<Orvane> alive(q);
    Q_EMIT q->ProgressMessage(ResultCodeText(orvTransferComplete));
    if (alive)
        Q_EMIT alive->TransferComplete(Success);
}

} // namespace orvane
