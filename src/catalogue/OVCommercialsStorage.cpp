// The catalogue's local data file: SaveAdInfoToLocalStorage and
// LoadAdInfoFromLocalStorage.
#include "catalogue/OVAdDataFile.h"
#include "catalogue/OVCommercials.h"

#include "support/ErrorHandler.h"
#include "support/OVHelperFunctions.h"
#include "support/OVSimpleLog.h"

#include <orvane/ResultCodes.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSet>
#include <QtEndian>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <iterator>
#include <limits>
#include <optional>
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

// Opens without waiting (a FIFO put in the file's place has no writer) and
// keeps the file only when what was opened is a regular file; anything else
// is reported to the handler, where there is one.
bool openRegularForReading(const QString &path, QFile &file, ErrorHandler *handler)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return false;
    struct stat info
    {
    };
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        if (handler)
            handler->fail(OVFault(FaultPathFileAccess, path + QStringLiteral(" is not a regular file")));
        return false;
    }
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
    return true;
}

// Opens an existing regular file for rewriting without waiting; -1 when it
// is missing, not a regular file or not writable.
int openRegularForWriting(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    struct stat info
    {
    };
    if (fd >= 0 && (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))) {
        ::close(fd);
        return -1;
    }
    return fd;
}

struct FileDescriptor
{
    explicit FileDescriptor(int fd)
        : fd(fd)
    {
    }
    ~FileDescriptor() { ::close(fd); }
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;
    int fd;
};

// Everything the file holds (a data file is far below this bound).
QByteArray readWhole(int fd)
{
    constexpr qint64 kMaxBytes = 64 << 20;
    QFile file;
    if (::lseek(fd, 0, SEEK_SET) != 0 || !file.open(fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
        raiseFileFault(QStringLiteral("read"), errno);
    return file.read(kMaxBytes);
}

// The file's new contents in its own place: written from its start, cut to
// their length and synced.
void rewrite(int fd, const QByteArray &bytes)
{
    if (::lseek(fd, 0, SEEK_SET) != 0)
        raiseFileFault(QStringLiteral("seek"), errno);
    writeAll(fd, bytes);
    if (::ftruncate(fd, off_t(bytes.size())) != 0)
        raiseFileFault(QStringLiteral("truncate"), errno);
    if (::fsync(fd) != 0)
        raiseFileFault(QStringLiteral("fsync"), errno);
}

bool isHexDigit(QChar c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

// "{" 8 "-" 4 "-" 4 "-" 4 "-" 12 "}" hexadecimal digits.
bool isBracedGuid(const QString &id)
{
    static constexpr int kHyphens[] = {9, 14, 19, 24};
    if (id.size() != 38 || id.front() != u'{' || id.back() != u'}')
        return false;
    for (int i = 1; i < 37; ++i) {
        const bool hyphen = std::find(std::begin(kHyphens), std::end(kHyphens), i) != std::end(kHyphens);
        if (hyphen ? id.at(i) != u'-' : !isHexDigit(id.at(i)))
            return false;
    }
    return true;
}

// Whether a loaded record can go into a usage report as it stands: the
// blank records a count beyond the stored ones makes cannot either.
bool reportable(const OVAdvertisement &ad)
{
    return isBracedGuid(ad.AdGUID());
}

// What tells one version of a file from another: a save renames a new file
// into place (a new inode) or rewrites it (new times, to the nanosecond).
// Empty when there is no file.
QByteArray fileStamp(const QString &path)
{
    struct stat info
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return {};
    const qint64 fields[] = {qint64(info.st_dev), qint64(info.st_ino), qint64(info.st_size), info.st_mtim.tv_sec,
        info.st_mtim.tv_nsec, info.st_ctim.tv_sec, info.st_ctim.tv_nsec};
    return QByteArray(reinterpret_cast<const char *>(fields), sizeof fields);
}

QString countKey(const OVAdvertisement &ad)
{
    return ad.AdGUID().toLower();
}

int16_t clamped(int value)
{
    return int16_t(std::clamp<int>(value, std::numeric_limits<int16_t>::min(), std::numeric_limits<int16_t>::max()));
}

// The records of the data file as it is now, read without a word: none when
// there is no file of this program to read (missing, obsolete, not a
// regular file); records that could not be reported are left out.
std::optional<QList<std::shared_ptr<OVAdvertisement>>> readStoredRecords(const QString &dat)
{
    QList<std::shared_ptr<OVAdvertisement>> records;
    QFile file;
    ErrorHandler quiet(kSaveSource);
    if (!openRegularForReading(dat, file, nullptr))
        return std::nullopt;
    const qint64 length = file.size();
    if (length < kHeaderBytes + 2)
        return records;
    const QByteArray head = file.read(kHeaderBytes);
    if (head.size() != kHeaderBytes || qFromLittleEndian<int16_t>(head.constData()) < kFormatVersion)
        return std::nullopt;
    QByteArray key;
    QByteArray vector;
    readKeyAndVector(head, key, vector);
    const int count = std::max<int>(recordCount(head), 0);
    const qint64 used = std::min<qint64>(length - kHeaderBytes, qint64(count) * kRecordBytes);
    const QByteArray payload = file.read(used);
    if (payload.size() != used)
        return std::nullopt;
    const QString text = bytesToText(OVHelperFunctions::DecryptByteArray(payload, key, vector));
    const qsizetype units = OVAdvertisement::kStateUnits;
    QSet<QString> keys;
    for (qsizetype at = 0; at + units <= text.size(); at += units) {
        auto ad = std::make_shared<OVAdvertisement>();
        const bool read = quiet.step([&] { ad->SetState(text.mid(at, units)); });
        if (read && reportable(*ad) && !keys.contains(countKey(*ad))) {
            keys.insert(countKey(*ad));
            ad->setVisible(false);
            records.append(std::move(ad));
        }
    }
    return records;
}

// An exclusive flock, waited for in 10 ms steps for at most waitMs.
bool lockWithin(int fd, int waitMs)
{
    const QDeadlineTimer deadline(waitMs);
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if ((errno != EWOULDBLOCK && errno != EINTR) || deadline.hasExpired())
            return false;
        ::usleep(10'000);
    }
    return true;
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
        m_locked = m_fd >= 0 && lockWithin(m_fd, kWaitMs);
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
    static constexpr int kWaitMs = 2000;
    int m_fd;
    bool m_locked = false;
};

// Temporary names are no names a person would choose: a leading point, the
// file's name, a point, six letters or digits and ".tmp". Only such names are
// ever removed ("OVImage.dat.backup" is someone's file).
const QString kTemporaryLetters = QStringLiteral("??????");
const QString kTemporaryEnd = QStringLiteral(".tmp");

QString temporaryName(const QString &folder, const QString &name, const QString &letters)
{
    return folder + QStringLiteral("/.") + name + u'.' + letters + kTemporaryEnd;
}

void removeStaleTemporaries(const QString &folder)
{
    QDir dir(folder);
    const QStringList stale = dir.entryList({u'.' + kDataFileName + u'.' + kTemporaryLetters + kTemporaryEnd,
                                                u'.' + kBackupFileName + u'.' + kTemporaryLetters + kTemporaryEnd},
        QDir::Files | QDir::Hidden | QDir::System | QDir::CaseSensitive);
    for (const QString &name : stale)
        dir.remove(name);
}

QString randomLetters()
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QString text;
    for (int i = 0; i < 6; ++i)
        text += QLatin1Char(letters[QRandomGenerator::global()->bounded(int(sizeof letters) - 1)]);
    return text;
}

// A new file in the data folder under a temporary name. It is created with
// mode 0666, so the kernel applies the process's umask and the umask itself
// is never touched.
class TemporaryFile
{
public:
    explicit TemporaryFile(const QString &folder)
    {
        for (int attempt = 0; attempt < 64 && m_fd < 0; ++attempt) {
            m_letters = randomLetters();
            m_name = QFile::encodeName(temporaryName(folder, kDataFileName, m_letters));
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
    // The random letters of its name, which the backup's temporary shares.
    QString letters() const { return m_letters; }
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
    QString m_letters;
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
void backUp(const QString &folder, const QString &letters)
{
    const QString dat = inFolder(folder, kDataFileName);
    const QString bak = inFolder(folder, kBackupFileName);
    if (!QFileInfo(dat).isFile())
        return;
    const QByteArray link = QFile::encodeName(temporaryName(folder, kBackupFileName, letters));
    if (::link(QFile::encodeName(dat).constData(), link.constData()) != 0 && !QFile::copy(dat, QFile::decodeName(link)))
        return;
    if (::rename(link.constData(), QFile::encodeName(bak).constData()) != 0)
        ::unlink(link.constData());
}
} // namespace

// The report right of a data folder: an exclusive flock on its lock file
// (on the data file itself where the folder takes no new file).
struct OVCommercials::ReportLock : FileDescriptor
{
    using FileDescriptor::FileDescriptor;
};

bool OVCommercials::BeginReport()
{
    m_reportEnded = false;
    if (m_reportLock || m_dataFolder.isEmpty())
        return true;
    QDir().mkpath(m_dataFolder);
    const QByteArray lockFile = QFile::encodeName(inFolder(m_dataFolder, kLockFileName));
    int fd = ::open(lockFile.constData(), O_RDWR | O_CREAT | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0)
        fd = ::open(lockFile.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        fd = ::open(QFile::encodeName(inFolder(m_dataFolder, kDataFileName)).constData(),
            O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return true; // nothing on disk to lock, and nothing stored to report twice
    if (!lockWithin(fd, kReportLockWaitMs)) {
        ::close(fd);
        return false;
    }
    m_reportLock = std::make_shared<ReportLock>(fd);
    return true;
}

void OVCommercials::EndReport()
{
    m_reportEnded = true;
    releaseReportIfDone();
}

void OVCommercials::releaseReportIfDone()
{
    if (m_reportLock && m_reportEnded && !m_savePending)
        m_reportLock.reset();
}

void OVCommercials::MergeStoredCounts()
{
    if (m_dataFolder.isEmpty())
        return;
    FolderLock lock(m_dataFolder);
    guarded(kSaveSource, [&] { mergeCounts(); });
}

void OVCommercials::mergeCounts()
{
    const QString dat = inFolder(m_dataFolder, kDataFileName);
    // Unchanged since this catalogue last met it (the usual case of one
    // process): there is nothing to merge, and nothing need be read.
    const QByteArray stamp = fileStamp(dat);
    if (!stamp.isEmpty() && stamp == m_metStamp)
        return;
    const auto stored = readStoredRecords(dat);
    if (!stored)
        return; // nothing to merge with: this catalogue's counts stand
    m_metStamp = stamp;
    QHash<QString, AdPointer> inFile;
    for (const AdPointer &ad : *stored)
        inFile.insert(countKey(*ad), ad);
    for (const AdPointer &ad : m_ads) {
        const QString key = countKey(*ad);
        const QPair<int16_t, int16_t> met = m_metCounts.value(key);
        const AdPointer now = inFile.take(key);
        const QPair<int16_t, int16_t> file
            = now ? qMakePair(now->ViewCount(), now->ClickCount()) : qMakePair<int16_t, int16_t>(0, 0);
        ad->setViewCount(clamped(file.first + ad->ViewCount() - met.first));
        ad->setClickCount(clamped(file.second + ad->ClickCount() - met.second));
        m_metCounts.insert(key, file);
    }
    // Counted elsewhere, and not yet reported: never dropped by this save.
    for (const AdPointer &ad : *stored) {
        if (inFile.contains(countKey(*ad)) && (ad->ViewCount() != 0 || ad->ClickCount() != 0)) {
            m_metCounts.insert(countKey(*ad), qMakePair(ad->ViewCount(), ad->ClickCount()));
            AddAdvertisement(ad);
        }
    }
}

void OVCommercials::noteCountsMet(const QByteArray &stamp)
{
    m_metStamp = stamp;
    m_metCounts.clear();
    for (const AdPointer &ad : m_ads)
        m_metCounts.insert(countKey(*ad), qMakePair(ad->ViewCount(), ad->ClickCount()));
}

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
    // Other processes' counts since this catalogue last met the file stay.
    handler.step([&] { mergeCounts(); });

    // The new file is written completely beside the old one and only then
    // takes its name, so that "OVImage.dat" is at every moment either the
    // previous file or the new one.
    TemporaryFile file(m_dataFolder);
    if (!file.isOpen()) {
        // A folder that takes no new file, holding a data file that may be
        // written: the file is rewritten where it is.
        const int fd = file.error() == EACCES || file.error() == EPERM ? openRegularForWriting(dat) : -1;
        if (fd >= 0)
            return saveInPlace(handler, fd);
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
    bool complete = handler.step([&] { payload = scrambledPayload(handler, key, vector); });
    complete = complete && handler.step([&] {
        writeAll(file.fd(), payload);
        if (::fsync(file.fd()) != 0)
            raiseFileFault(QStringLiteral("fsync"), errno);
        file.close();
        backUp(m_dataFolder, file.letters());
        if (::rename(file.name().constData(), QFile::encodeName(dat).constData()) != 0)
            raiseFileFault(QStringLiteral("rename to ") + dat, errno);
        file.keep();
        syncFolder(lock.fd());
    });
    m_savePending = !complete;
    if (complete)
        noteCountsMet(fileStamp(dat));
    releaseReportIfDone();
    return true;
}

QByteArray OVCommercials::scrambledPayload(ErrorHandler &handler, QByteArray key, QByteArray vector) const
{
    key.truncate(kUsedKeyBytes);
    vector.truncate(kUsedKeyBytes);
    // A record whose state cannot be taken is left out.
    QString joined;
    joined.reserve(qsizetype(m_ads.Count()) * OVAdvertisement::kStateUnits);
    for (const AdPointer &ad : m_ads)
        handler.step([&] { joined += ad->GetState(); });
    if (joined.isEmpty())
        return {};
    return OVHelperFunctions::EncryptByteArray(textToBytes(joined), key, vector);
}

bool OVCommercials::saveInPlace(ErrorHandler &handler, int fd)
{
    const QString dat = inFolder(m_dataFolder, kDataFileName);
    const FileDescriptor file(fd);
    handler.step([&] {
        if (m_traceLocalStorage)
            OVSimpleLog::WriteTraceLine(
                QStringLiteral("Data folder takes no new files: rewriting the data file in place: ") + dat);
    });
    QByteArray head;
    QByteArray key;
    QByteArray vector;
    if (!handler.step([&] {
            drawKeyAndVector(key, vector);
            head = header(AdCount(), key, vector);
        }))
        return false;
    QByteArray payload;
    const bool complete = handler.step([&] { payload = scrambledPayload(handler, key, vector); }) && handler.step([&] {
        // The backup is rewritten in place too, where there is one to write.
        const QByteArray previous = readWhole(file.fd);
        const int bak = openRegularForWriting(inFolder(m_dataFolder, kBackupFileName));
        if (bak >= 0) {
            const FileDescriptor backup(bak);
            rewrite(backup.fd, previous);
        }
        rewrite(file.fd, head + payload);
    });
    m_savePending = !complete;
    if (complete)
        noteCountsMet(fileStamp(dat));
    releaseReportIfDone();
    return true;
}

QString OVCommercials::CannotSaveReason()
{
    if (m_dataFolder.isEmpty())
        return ResultCodeText(orvNoImageFolder);
    const QString dat = inFolder(m_dataFolder, kDataFileName);
    QDir().mkpath(m_dataFolder);
    TemporaryFile probe(m_dataFolder);
    if (!probe.isOpen() && (probe.error() == EACCES || probe.error() == EPERM)) {
        const int fd = openRegularForWriting(dat);
        if (fd >= 0) {
            ::close(fd);
            return {}; // rewritten in place
        }
    }
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
    QFile file;
    if (!openRegularForReading(dat, file, &handler)) {
        warn(QStringLiteral("Error opening data file '") + dat + QLatin1Char('\''));
        return;
    }
    const QByteArray stamp = fileStamp(dat);
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

    QByteArray key;
    QByteArray vector;
    readKeyAndVector(head, key, vector);
    const int count = recordCount(head);

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
        bool dropped = false;
        const bool added = handler.step([&] {
            auto ad = std::make_shared<OVAdvertisement>();
            ad->SetState(pastText ? QStringView() : QStringView(text).mid(qsizetype(i) * units, units));
            // Files of this program always say "not shown"; others must not
            // leave a record that no group would ever show.
            ad->setVisible(false);
            // A damaged id would fail every report from now on: the record
            // is dropped here, and the next save writes the file without it.
            if (!reportable(*ad)) {
                dropped = true;
                OVSimpleLog::LogWarning(QStringLiteral("Data file record %1 dropped: its id '%2' is not a braced GUID")
                                            .arg(i + 1)
                                            .arg(ad->AdGUID()));
                return;
            }
            AddAdvertisement(std::move(ad));
        });
        // Every record past the text is the same blank record: once one has
        // failed to go in, the rest would fail the same way.
        if ((!added || dropped) && pastText)
            break;
    }
    noteCountsMet(stamp);
}

} // namespace orvane
