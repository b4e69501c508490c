#include "exchange/OVImageRetrieval.h"

#include "exchange/OVAdOffering.h"
#include "platform/PictureTester.h"
#include "support/ErrorHandler.h"
#include "support/OVHelperFunctions.h"
#include "support/OVSimpleLog.h"
#include "support/TrimSpaces.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPointer>
#include <QTemporaryFile>

namespace orvane {

namespace {
// The longest the thread is kept busy at a stretch: a slice ends after the
// step that passes it (one picture test or one file written at most).
constexpr qint64 kSliceMs = 4;
} // namespace

OVImageRetrieval::OVImageRetrieval(QList<std::shared_ptr<OVAdOffering>> offers, Settings settings, QObject *parent)
    : QObject(parent)
    , m_settings(std::move(settings))
    , m_base(baseAddress(m_settings.baseURL))
{
    for (auto &offer : offers) {
        Job job;
        job.offer = std::move(offer);
        m_jobs.append(std::move(job));
    }
    m_pump.setSingleShot(true);
    m_pump.setInterval(0);
    connect(&m_pump, &QTimer::timeout, this, &OVImageRetrieval::pump);
}

OVImageRetrieval::~OVImageRetrieval() = default;

QString OVImageRetrieval::baseAddress(const QString &baseURL)
{
    QString base = trimSpaces(baseURL);
    if (!base.isEmpty())
        base += u'/';
    return base;
}

QString OVImageRetrieval::imageAddress(const QString &base, const QString &imageFileName)
{
    QString address = base + trimSpaces(imageFileName);
    if (!address.startsWith(QStringLiteral("http:")) && !address.startsWith(QStringLiteral("ftp:")))
        address.prepend(QStringLiteral("http://"));
    return address;
}

void OVImageRetrieval::start()
{
    guarded(QStringLiteral("OVClientTransfer.GetNewImages"), [&] {
        if (!m_settings.imageFolder.isEmpty())
            QDir().mkpath(m_settings.imageFolder);
        trace(QString::number(m_jobs.size()) + QStringLiteral(" offerings"));
    });
    if (m_settings.imageFolder.isEmpty() && !m_jobs.isEmpty()) {
        // Nothing is written outside the folders the host set: every offer
        // fails without a download, and the host is told why.
        const QString why = QStringLiteral("No image folder: no image is stored");
        trace(why);
        const QPointer<OVImageRetrieval> self(this);
        Q_EMIT ProgressMessage(why);
        if (!self)
            return;
    }
    m_batch = platform::UrlFetcher::instance().startBatch(
        m_settings.limits, [this](int id, const platform::UrlFetcher::Result &result) { onFetched(id, result); });
    schedule();
}

void OVImageRetrieval::cancel()
{
    m_cancelled = true;
    m_pump.stop();
    m_batch.reset();
}

QList<std::shared_ptr<OVAdOffering>> OVImageRetrieval::failedOffers() const
{
    QList<std::shared_ptr<OVAdOffering>> failed;
    for (const Job &job : m_jobs) {
        if (job.failed)
            failed.append(job.offer);
    }
    return failed;
}

void OVImageRetrieval::schedule()
{
    if (!m_cancelled && !m_pump.isActive())
        m_pump.start();
}

void OVImageRetrieval::pump()
{
    const QPointer<OVImageRetrieval> self(this);
    QElapsedTimer slice;
    slice.start();
    while (!m_cancelled) {
        if (m_current == m_jobs.size()) {
            m_cancelled = true;
            m_batch.reset();
            Q_EMIT finished(failedOffers().isEmpty());
            return;
        }
        bool progressed = false;
        if (m_current < m_planned) {
            progressed = judgeCurrent();
            if (!self)
                return;
        }
        if (!progressed && m_planned < m_jobs.size()
            && (m_planned == m_current || m_inFlight < m_settings.limits.concurrency)) {
            planNext();
            progressed = true;
        }
        if (!progressed)
            return; // the offer in turn waits for its download
        if (slice.elapsed() >= kSliceMs) {
            schedule();
            return;
        }
    }
}

void OVImageRetrieval::planNext()
{
    Job &job = m_jobs[m_planned];
    const int index = m_planned++;
    job.plan = Plan::Fail;
    guarded(QStringLiteral("OVClientTransfer.GetNewImages"), [&] {
        const QString name = trimSpaces(job.offer->ImageFileName());
        job.address = imageAddress(m_base, name);
        if (name.isEmpty() || m_settings.imageFolder.isEmpty())
            return;
        job.path = m_settings.imageFolder + u'/' + OVHelperFunctions::FileNameFromPath(name);
        if (m_valid.contains(job.path)) {
            job.plan = Plan::SamePath;
            return;
        }
        if (m_settings.overwrite)
            QFile::remove(job.path);
        const bool valid = platform::PictureTester::instance().isPictureFile(job.path);
        m_valid.insert(job.path, valid);
        job.plan = valid ? Plan::Present : Plan::Fetch;
        if (!valid)
            startFetch(index);
    });
}

bool OVImageRetrieval::judgeCurrent()
{
    Job &job = m_jobs[m_current];
    switch (job.plan) {
    case Plan::Unplanned: return false;
    case Plan::Fail:
        trace(job.address);
        job.failed = true;
        ++m_current;
        return true;
    case Plan::SamePath:
        // Served by the file that an earlier offer left under this name; if
        // it got none, this offer fetches its own.
        if (m_valid.value(job.path)) {
            trace(job.address);
            ++m_current;
            return true;
        }
        job.plan = Plan::Fetch;
        startFetch(m_current);
        return true;
    case Plan::Present:
        trace(job.address);
        ++m_current;
        return true;
    case Plan::Fetch: break;
    }
    if (!job.announced) {
        job.announced = true;
        trace(job.address);
        Q_EMIT ProgressMessage(QStringLiteral("Retrieving ") + job.address);
        return true;
    }
    if (!job.fetched)
        return false;
    const bool ok = GetImageFile(job);
    job.failed = !ok;
    m_valid.insert(job.path, ok);
    ++m_current;
    // An image refused for one of the client's own limits (size, time) is
    // named like one that fails the picture test; a plain failed download is
    // only traced.
    if (ok || !job.result.body.isEmpty() || job.result.limited) {
        const QString message
            = (ok ? QStringLiteral("Received ") : QStringLiteral("Invalid or missing image file: ")) + job.address;
        job.result = {};
        const QPointer<OVImageRetrieval> self(this);
        Q_EMIT ProgressMessage(message);
        if (self)
            trace(message);
    }
    return true;
}

void OVImageRetrieval::startFetch(int index)
{
    ++m_inFlight;
    m_batch->fetch(index, m_jobs[index].address);
}

void OVImageRetrieval::onFetched(int index, const platform::UrlFetcher::Result &result)
{
    --m_inFlight;
    Job &job = m_jobs[index];
    job.result = result;
    job.fetched = true;
    schedule();
}

bool OVImageRetrieval::GetImageFile(Job &job)
{
    const platform::UrlFetcher::Result &result = job.result;
    if (result.body.isEmpty()) {
        trace(QStringLiteral("OpenURL(") + job.address + QStringLiteral(") failed"));
        if (!result.ok())
            trace(QStringLiteral("OpenURL: ") + result.error);
        return false;
    }
    // Written beside its final name, tested, and renamed into place: no
    // broken image is ever seen under the ad's name. Not synced to disk: an
    // image lost to a power cut fails its picture test and is fetched again.
    bool ok = false;
    QString written;
    ErrorHandler handler(QStringLiteral("OVClientTransfer.GetImageFile"));
    handler.step([&] {
        QTemporaryFile file(job.path + QStringLiteral(".XXXXXX"));
        if (!file.open() || file.write(result.body) != result.body.size() || !file.flush())
            raiseFault(FaultPathFileAccess, file.errorString());
        file.setAutoRemove(false);
        written = file.fileName();
        file.setPermissions(
            QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther);
    });
    if (!written.isEmpty())
        handler.step([&] { ok = platform::PictureTester::instance().isPictureFile(written); });
    if (ok) {
        QFile::remove(job.path);
        ok = QFile::rename(written, job.path);
    }
    if (!ok) {
        QFile::remove(written);
        QFile::remove(job.path);
    }
    return ok;
}

void OVImageRetrieval::trace(const QString &text) const
{
    if (m_settings.trace)
        guarded(QStringLiteral("OVClientTransfer.Trace"), [&] { OVSimpleLog::WriteTraceLine(text); });
}

} // namespace orvane
