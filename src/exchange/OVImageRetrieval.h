#pragma once

#include "platform/UrlFetcher.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

namespace orvane {

class OVAdOffering;

// Brings every offer's image into the image folder without ever making the
// thread wait. Downloads run on the event loop, several at once, while the
// offers are judged one after another in their order exactly as a walk that
// fetched them one by one would judge them: an offer is served by a valid
// picture already under its local name (one that an earlier offer of the
// same update wrote included), otherwise "Retrieving " + address is raised,
// then "Received " + address or "Invalid or missing image file: " + address
// as soon as its result and those of all earlier offers are in. The work is
// cut into slices of a few milliseconds between which the thread's other
// events run.
class OVImageRetrieval : public QObject
{
    Q_OBJECT

public:
    struct Settings
    {
        QString baseURL; // as the content update gives it
        QString imageFolder;
        bool overwrite = false;
        bool trace = false;
        platform::UrlFetcher::Limits limits;
    };

    OVImageRetrieval(QList<std::shared_ptr<OVAdOffering>> offers, Settings settings, QObject *parent = nullptr);
    ~OVImageRetrieval() override;

    // Starts from the event loop; finished follows the last offer.
    void start();
    // Stops at once: downloads are cancelled and nothing more is raised.
    void cancel();
    // The offers whose image was not obtained, in offer order.
    QList<std::shared_ptr<OVAdOffering>> failedOffers() const;

    // The base address: trimmed, with one "/" added unless it is empty.
    static QString baseAddress(const QString &baseURL);
    // An offer's address: base address + trimmed file name, with "http://"
    // put in front unless it begins with "http:" or "ftp:" (case counts).
    static QString imageAddress(const QString &base, const QString &imageFileName);

Q_SIGNALS:
    void ProgressMessage(const QString &Message);
    void finished(bool ok);

private:
    enum class Plan { Unplanned, Fail, Present, Fetch, SamePath };
    struct Job
    {
        std::shared_ptr<OVAdOffering> offer;
        QString address;
        QString path;
        Plan plan = Plan::Unplanned;
        bool fetched = false;
        bool announced = false;
        bool failed = false;
        platform::UrlFetcher::Result result;
    };

    void schedule();
    void pump();
    void planNext();
    // One step for the offer in turn; false while it waits for its download.
    bool judgeCurrent();
    void startFetch(int index);
    void onFetched(int index, const platform::UrlFetcher::Result &result);
    bool GetImageFile(Job &job);
    void trace(const QString &text) const;

    QList<Job> m_jobs;
    Settings m_settings;
    QString m_base;
    // Local paths planned so far, and whether a valid picture lies there now.
    QHash<QString, bool> m_valid;
    int m_planned = 0;
    int m_current = 0;
    int m_inFlight = 0;
    bool m_cancelled = false;
    QTimer m_pump;
    std::unique_ptr<platform::UrlFetcher::Batch> m_batch;
};

} // namespace orvane
