// The catalogue's local data file: SaveAdInfoToLocalStorage and
// LoadAdInfoFromLocalStorage.
#include "catalogue/OVAdDataFile.h"
#include "catalogue/OVCommercials.h"

#include "support/ErrorHandler.h"
#include "support/OVHelperFunctions.h"
#include "support/OVSimpleLog.h"

#include <orvane/ResultCodes.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QtEndian>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orvane {

using namespace OVAdDataFile;

namespace {
const QString kSaveSource = QStringLiteral("OVCommercials.SaveAdInfoToLocalStorage");
const QString kLoadSource = QStringLiteral("OVCommercials.LoadAdInfoFromLocalStorage");

QString inFolder(const QString &folder, const QString &name)
{
    return folder + QLatin1Char('/') + name;
}

[[noreturn]] void raiseFileFault(const QString &what, int error)
{
    const int32_t number = error == ENOSPC || error == EFBIG || error == EDQUOT ? FaultDiskFull : FaultDeviceIO;
    raiseFault(number, what + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(error)));
}

void writeAll(int fd, const QByteArray &bytes)
{
    const char *data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, size_t(left));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            raiseFileFault(QStringLiteral("write"), errno);
        }
        if (written == 0)
            raiseFileFault(QStringLiteral("write"), ENOSPC);
        data += written;
        left -= written;
    }
}

void syncFolder(int folderFd)
{
    if (folderFd >= 0)
        ::fsync(folderFd);
}

// Held while a save runs (an advisory lock on the folder itself), so that a
// temporary file found while holding it was left by a save that died.
class FolderLock
{
public:
    explicit FolderLock(const QString &folder)
        : m_fd(::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
    {
        // A save takes milliseconds; a holder that takes seconds is stuck,
        // and the host must not wait for it.
        for (int tries = 0; m_fd >= 0 && tries < 200; ++tries) {
            if (::flock(m_fd, LOCK_EX | LOCK_NB) == 0) {
                m_locked = true;
                return;
            }
            if (errno != EWOULDBLOCK && errno != EINTR)
                return;
            ::usleep(10'000);
        }
    }
    ~FolderLock()
    {
        if (m_fd >= 0)
            ::close(m_fd); // releases the lock
    }
    FolderLock(const FolderLock &) = delete;
    FolderLock &operator=(const FolderLock &) = delete;

    bool locked() const { return m_locked; }
    int fd() const { return m_fd; }

private:
    int m_fd;
    bool m_locked = false;
};

// Temporary names are the file's name, a point and six letters or digits.
const QString kTemporaryPattern = QStringLiteral(".??????");

void removeStaleTemporaries(const QString &folder)
{
    QDir dir(folder);
    const QStringList stale = dir.entryList({kDataFileName + kTemporaryPattern, kBackupFileName + kTemporaryPattern},
        QDir::Files | QDir::Hidden | QDir::System | QDir::CaseSensitive);
    for (const QString &name : stale)
        dir.remove(name);
}

QString randomSuffix()
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QString suffix = QStringLiteral(".");
    for (int i = 0; i < 6; ++i)
        suffix += QLatin1Char(letters[QRandomGenerator::global()->bounded(int(sizeof letters) - 1)]);
    return suffix;
}

// A new file beside the data file, named like it with a random suffix. It is
// created with mode 0666, so the kernel applies the process's umask and the
// umask itself is never touched.
class TemporaryFile
{
public:
    explicit TemporaryFile(const QString &dat)
    {
        for (int attempt = 0; attempt < 64 && m_fd < 0; ++attempt) {
            m_suffix = randomSuffix();
            m_name = QFile::encodeName(dat + m_suffix);
            m_fd = ::open(m_name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (m_fd < 0 && errno != EEXIST)
                break;
        }
        m_error = m_fd < 0 ? errno : 0;
    }
    ~TemporaryFile()
    {
        close();
        if (!m_kept)
            ::unlink(m_name.constData());
    }
    TemporaryFile(const TemporaryFile &) = delete;
    TemporaryFile &operator=(const TemporaryFile &) = delete;

    bool isOpen() const { return m_fd >= 0; }
    int fd() const { return m_fd; }
    int error() const { return m_error; }
    QString suffix() const { return m_suffix; }
    const QByteArray &name() const { return m_name; }
    void close()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }
    void keep() { m_kept = true; }

private:
    int m_fd = -1;
    int m_error = 0;
    QString m_suffix;
    QByteArray m_name;
    bool m_kept = false;
};

// A new file takes the permissions of the file it replaces.
void keepMode(int fd, const QString &dat)
{
    struct stat info
    {
    };
    if (::stat(QFile::encodeName(dat).constData(), &info) == 0)
        ::fchmod(fd, info.st_mode & 07777);
}

// The current file becomes the backup: a second name for it (or a copy where
// links are not possible) renamed over the old backup in one step, so that a
// backup is present at every moment once there has been one.
void backUp(const QString &dat, const QString &bak, const QString &suffix)
{
    if (!QFileInfo(dat).isFile())
        return;
    const QByteArray link = QFile::encodeName(bak + suffix);
    if (::link(QFile::encodeName(dat).constData(), link.constData()) != 0 && !QFile::copy(dat, QFile::decodeName(link)))
        return;
    if (::rename(link.constData(), QFile::encodeName(bak).constData()) != 0)
        ::unlink(link.constData());
}
} // namespace

bool OVCommercials::SaveAdInfoToLocalStorage()
{
    ErrorHandler handler(kSaveSource);
    m_savePending = true;
    if (m_dataFolder.isEmpty()) {
        // The code of the missing image folder words this warning.
        m_lastError = orvNoImageFolder;
        handler.step([] { OVSimpleLog::LogWarning(ResultCodeText(orvNoImageFolder)); });
        return false;
    }
    const QString dat = inFolder(m_dataFolder, kDataFileName);
    const QString bak = inFolder(m_dataFolder, kBackupFileName);

    try {
        QDir().mkpath(m_dataFolder);
        if (m_traceLocalStorage)
            OVSimpleLog::WriteTraceLine(QStringLiteral("Backing up data file"));
    } catch (...) {
    }

    FolderLock lock(m_dataFolder);
    try {
        if (lock.locked())
            removeStaleTemporaries(m_dataFolder);
    } catch (...) {
    }

    // The new file is written completely beside the old one and only then
    // takes its name, so that "OVImage.dat" is at every moment either the
    // previous file or the new one.
    TemporaryFile file(dat);
    if (!file.isOpen()) {
        handler.step([&] { OVSimpleLog::LogWarning(QStringLiteral("Cannot open data file: ") + dat); });
        return false;
    }

    QByteArray key;
    QByteArray vector;
    const bool headerWritten = handler.step([&] {
        drawKeyAndVector(key, vector);
        keepMode(file.fd(), dat);
        writeAll(file.fd(), header(AdCount(), key, vector));
    });
    if (!headerWritten)
        return false;

    // From here a fault is logged and the save still ends with true; the
    // previous file then stays in place and the save is left pending.
    QByteArray payload;
    bool complete = handler.step([&] {
        key.truncate(kUsedKeyBytes);
        vector.truncate(kUsedKeyBytes);
        // A record whose state cannot be taken is left out.
        QString joined;
        joined.reserve(qsizetype(m_ads.Count()) * OVAdvertisement::kStateUnits);
        for (const AdPointer &ad : m_ads)
            handler.step([&] { joined += ad->GetState(); });
        if (!joined.isEmpty())
            payload = OVHelperFunctions::EncryptByteArray(textToBytes(joined), key, vector);
    });
    complete = complete && handler.step([&] {
        writeAll(file.fd(), payload);
        if (::fsync(file.fd()) != 0)
            raiseFileFault(QStringLiteral("fsync"), errno);
        file.close();
        backUp(dat, bak, file.suffix());
        if (::rename(file.name().constData(), QFile::encodeName(dat).constData()) != 0)
            raiseFileFault(QStringLiteral("rename to ") + dat, errno);
        file.keep();
        syncFolder(lock.fd());
    });
    m_savePending = !complete;
    return true;
}

QString OVCommercials::CannotSaveReason()
{
    if (m_dataFolder.isEmpty())
        return ResultCodeText(orvNoImageFolder);
    const QString dat = inFolder(m_dataFolder, kDataFileName);
    QDir().mkpath(m_dataFolder);
    TemporaryFile probe(dat);
    if (!probe.isOpen())
        return QStringLiteral("Cannot open data file: ") + dat + QStringLiteral(" (")
            + QString::fromLocal8Bit(std::strerror(probe.error())) + QLatin1Char(')');
    // Room for the whole file, where the file system can promise it.
    const off_t size = kHeaderBytes + off_t(m_ads.Count()) * kRecordBytes;
    const int error = ::posix_fallocate(probe.fd(), 0, size);
    if (error != 0 && error != EOPNOTSUPP && error != EINVAL)
        return QStringLiteral("Cannot write data file: ") + dat + QStringLiteral(" (")
            + QString::fromLocal8Bit(std::strerror(error)) + QLatin1Char(')');
    return {};
}

void OVCommercials::LoadAdInfoFromLocalStorage(const QString &DataFolder, const QString &ImageFolder)
{
    ErrorHandler handler(kLoadSource);
    // Taken exactly as given.
    m_dataFolder = DataFolder;
    m_imageFolder = ImageFolder;
    const QString dat = inFolder(m_dataFolder, kDataFileName);
    const auto warn = [&](const QString &message) { handler.step([&] { OVSimpleLog::LogWarning(message); }); };

    const QFileInfo info(dat);
    if (!info.exists() || info.isDir()) {
        warn(QStringLiteral("Cannot find data file '") + dat + QLatin1Char('\''));
        return;
    }
    QFile file(dat);
    // Only a regular file: opening a pipe or a device could wait forever.
    if (!info.isFile() || !file.open(QIODevice::ReadOnly)) {
        warn(QStringLiteral("Error opening data file '") + dat + QLatin1Char('\''));
        return;
    }
    const qint64 length = file.size();
    if (length < kHeaderBytes + 2) {
        warn(QStringLiteral("Empty data file '") + dat + QLatin1Char('\''));
        return;
    }

    QByteArray head;
    handler.step([&] {
        head = file.read(kHeaderBytes);
        if (head.size() != kHeaderBytes)
            raiseFault(FaultInputPastEnd, file.errorString());
    });
    if (head.size() != kHeaderBytes)
        return;
    if (qFromLittleEndian<int16_t>(head.constData()) < kFormatVersion) {
        warn(QStringLiteral("Existing data file is obsolete"));
        return;
    }

    QByteArray key(kUsedKeyBytes, '\0');
    QByteArray vector(kUsedKeyBytes, '\0');
    for (int j = 0; j < kUsedKeyBytes; ++j) {
        vector[j] = head.at(18 + j);
        key[j] = char(head.at(2 + j) ^ vector.at(j));
    }
    const int count = qFromLittleEndian<int16_t>(head.constData() + 34);

    // The records use at most count blocks of the payload; unscrambling runs
    // front to back, so the bytes after them need not be read at all.
    const qint64 payloadLength = length - kHeaderBytes;
    const qint64 used = std::min<qint64>(payloadLength, qint64(std::max(count, 0)) * kRecordBytes);
    QString text;
    handler.step([&] {
        const QByteArray payload = file.read(used);
        if (payload.size() != used)
            raiseFault(FaultInputPastEnd, file.errorString());
        text = bytesToText(OVHelperFunctions::DecryptByteArray(payload, key, vector));
    });
    if (payloadLength <= 0 || (used > 0 && text.isEmpty())) {
        warn(QStringLiteral("Data file '") + dat + QStringLiteral("' has no Usage Data"));
        return;
    }

    ClearAds();
    reserve(std::clamp(count, 0, int(text.size() / OVAdvertisement::kStateUnits) + 1));
    m_savePending = false;
    const qsizetype units = OVAdvertisement::kStateUnits;
    for (int i = 0; i < count; ++i) {
        const bool pastText = qsizetype(i) * units >= text.size();
        const bool added = handler.step([&] {
            auto ad = std::make_shared<OVAdvertisement>();
            ad->SetState(pastText ? QStringView() : QStringView(text).mid(qsizetype(i) * units, units));
            // Files of this program always say "not shown"; others must not
            // leave a record that no group would ever show.
            ad->setVisible(false);
            AddAdvertisement(std::move(ad));
        });
        // Every record past the text is the same blank record: once one has
        // failed to go in, the rest would fail the same way.
        if (!added && pastText)
            break;
    }
}

} // namespace orvane
