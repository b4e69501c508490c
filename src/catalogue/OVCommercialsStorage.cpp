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
#include <QTemporaryFile>
#include <QtEndian>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
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

// Writes all of bytes to fd and forces them to the disk.
void writeDurably(int fd, const QByteArray &bytes)
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
    if (::fsync(fd) != 0)
        raiseFileFault(QStringLiteral("fsync"), errno);
}

void syncFolder(const QString &folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// Files get the mode an ordinary file of the user would get.
void setOrdinaryMode(int fd)
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
}
} // namespace

bool OVCommercials::SaveAdInfoToLocalStorage()
{
    ErrorHandler handler(kSaveSource);
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

    // The new file is written completely beside the old one and only then
    // takes its name, so that "OVImage.dat" is at every moment either the
    // previous file or the new one.
    QTemporaryFile file(dat + QStringLiteral(".XXXXXX"));
    if (!file.open()) {
        handler.step([&] { OVSimpleLog::LogWarning(QStringLiteral("Cannot open data file: ") + dat); });
        return false;
    }

    QByteArray bytes;
    const bool headerWritten = handler.step([&] {
        QByteArray key;
        QByteArray vector;
        drawKeyAndVector(key, vector);
        bytes = header(AdCount(), key, vector);
        key.truncate(kUsedKeyBytes);
        vector.truncate(kUsedKeyBytes);

        // A record whose state cannot be taken is left out.
        QString joined;
        joined.reserve(qsizetype(m_ads.Count()) * OVAdvertisement::kStateUnits);
        for (const AdPointer &ad : m_ads)
            handler.step([&] { joined += ad->GetState(); });
        if (!joined.isEmpty()) {
            handler.step([&] { bytes += OVHelperFunctions::EncryptByteArray(textToBytes(joined), key, vector); });
        }
    });
    if (!headerWritten)
        return false;

    const bool written = handler.step([&] {
        const int fd = file.handle();
        setOrdinaryMode(fd);
        writeDurably(fd, bytes);
        file.close();

        // The previous file becomes the backup (a second name for it, or a
        // copy where links are not possible); then the new file replaces it
        // in one rename.
        const QByteArray datName = QFile::encodeName(dat);
        const QByteArray bakName = QFile::encodeName(bak);
        if (QFileInfo(dat).isFile()) {
            ::unlink(bakName.constData());
            if (::link(datName.constData(), bakName.constData()) != 0)
                QFile::copy(dat, bak);
        }
        if (::rename(QFile::encodeName(file.fileName()).constData(), datName.constData()) != 0)
            raiseFileFault(QStringLiteral("rename to ") + dat, errno);
        file.setAutoRemove(false);
        syncFolder(m_dataFolder);
    });
    return written;
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
    if (!file.open(QIODevice::ReadOnly)) {
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
    const qsizetype units = OVAdvertisement::kStateUnits;
    for (int i = 0; i < count; ++i) {
        const bool pastText = qsizetype(i) * units >= text.size();
        const bool added = handler.step([&] {
            auto ad = std::make_shared<OVAdvertisement>();
            ad->SetState(pastText ? QString() : text.mid(qsizetype(i) * units, units));
            AddAdvertisement(std::move(ad));
        });
        // Every record past the text is the same blank record: once one has
        // failed to go in, the rest would fail the same way.
        if (!added && pastText)
            break;
    }
}

} // namespace orvane
