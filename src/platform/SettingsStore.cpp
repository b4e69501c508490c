#include "platform/SettingsStore.h"

#include <QHash>
#include <QSet>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <utility>

namespace orvane::platform {

namespace {
const QString kProductKey = QStringLiteral("SOFTWARE\\Quintrel\\Orvane\\");

QString groupOf(const QString &keyPath)
{
    QString path = keyPath;
    while (path.endsWith(u'\\'))
        path.chop(1);
    if (path.startsWith(kProductKey, Qt::CaseInsensitive))
        path = path.mid(kProductKey.size());
    path.replace(u'\\', u'/');
    return path;
}

// The INI format cannot hold an empty section, so keys created in this process
// are remembered until they receive a value.
QSet<QString> &createdKeys()
{
    static QSet<QString> keys;
    return keys;
}

// What tells one version of the file from another. Writers replace the file
// (a new inode) or rewrite it in place (a new change time, which the kernel
// sets at nanosecond precision even within one second), so an unchanged stamp
// means unchanged contents.
struct Stamp
{
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified {};
    timespec changed {};

    static Stamp of(const struct stat &st) { return {true, st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim}; }
    bool operator==(const Stamp &o) const
    {
        return exists == o.exists && device == o.device && inode == o.inode && size == o.size
            && modified.tv_sec == o.modified.tv_sec && modified.tv_nsec == o.modified.tv_nsec
            && changed.tv_sec == o.changed.tv_sec && changed.tv_nsec == o.changed.tv_nsec;
    }
};

// One parsed version of a settings file. QSettings keeps its own per-path cache
// that it checks only by size and millisecond time, so each version is parsed
// from a private copy under a fresh name: what is read is exactly the bytes
// that the stamp describes.
struct Parsed
{
    bool valid = false;
    bool refused = false; // not a file the store reads or writes (reported)
    Stamp stamp;
    std::shared_ptr<QSettings> settings; // null for a missing or unreadable file
};

QHash<QString, Parsed> &cache()
{
    // Never destroyed: QSettings objects must not outlive Qt's own settings
    // registry at exit.
    static auto *parsed = new QHash<QString, Parsed>;
    return *parsed;
}

// Far more than any settings file of this system holds: a larger file is not
// ours, and reading it would only cost memory.
constexpr qint64 kMaxSettingsBytes = 1 << 20;

QString &pendingRefusal()
{
    static QString refusal;
    return refusal;
}

// Why the file at the path cannot be the settings file (only a regular file
// of bounded size can), or empty.
QString refusalFor(const QString &path, const struct stat &st)
{
    if (!S_ISREG(st.st_mode))
        return QStringLiteral("The settings file %1 is not a regular file").arg(path);
    if (st.st_size > kMaxSettingsBytes)
        return QStringLiteral("The settings file %1 holds %2 bytes, more than %3")
            .arg(path)
            .arg(st.st_size)
            .arg(kMaxSettingsBytes);
    return {};
}

bool statPath(const QString &path, Stamp &stamp)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) {
        stamp = Stamp {};
        return false;
    }
    stamp = Stamp::of(st);
    return true;
}

std::shared_ptr<QSettings> parseCopy(const QByteArray &bytes)
{
    QTemporaryFile copy;
    if (!copy.open() || copy.write(bytes) != bytes.size() || !copy.flush())
        return nullptr;
    auto settings = std::make_shared<QSettings>(copy.fileName(), QSettings::IniFormat);
    // The constructor has read the copy; from here on it answers from memory.
    return settings;
}

// Reads the file and the stamp of exactly what was read, retrying when a
// writer rewrites it in place meanwhile. The file is opened without waiting
// (a FIFO put in its place has no writer) and read only when the open file
// is a regular one of bounded size.
bool readVersion(const QString &path, QByteArray &bytes, Stamp &stamp, QString &refusal)
{
    for (int attempt = 0; attempt < 3; ++attempt) {
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (fd < 0)
            return false;
        QFile file;
        if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
            ::close(fd);
            return false;
        }
        struct stat before, after;
        if (::fstat(fd, &before) != 0)
            return false;
        refusal = refusalFor(path, before);
        if (!refusal.isEmpty()) {
            stamp = Stamp::of(before);
            return false;
        }
        bytes = file.read(kMaxSettingsBytes + 1);
        if (::fstat(fd, &after) != 0)
            return false;
        stamp = Stamp::of(after);
        if (bytes.size() > kMaxSettingsBytes) {
            refusal = refusalFor(path, after);
            return false;
        }
        if (Stamp::of(before) == stamp)
            return true;
    }
    return false;
}

// The current version of the settings file, parsed once per version. A file
// that cannot be the settings file reads as empty, and is reported once.
QSettings *current()
{
    const QString path = SettingsStore::filePath();
    Parsed &entry = cache()[path];
    Stamp now;
    statPath(path, now);
    if (entry.valid && entry.stamp == now)
        return entry.settings.get();

    entry = Parsed {};
    if (!now.exists) {
        entry.valid = true;
        return nullptr;
    }
    QByteArray bytes;
    Stamp read;
    QString refusal;
    if (!readVersion(path, bytes, read, refusal)) {
        if (!refusal.isEmpty()) {
            pendingRefusal() = refusal;
            entry.stamp = read;
            entry.valid = true;
            entry.refused = true;
        }
        return nullptr; // else not cached: the next read tries again
    }
    entry.settings = parseCopy(bytes);
    if (!entry.settings) {
        // No room for a private copy: the file itself, parsed for this read only.
        entry.settings = std::make_shared<QSettings>(path, QSettings::IniFormat);
        return entry.settings.get();
    }
    entry.stamp = read;
    entry.valid = true;
    return entry.settings.get();
}

// QSettings opens the file itself to write it: it may do so only when the
// path is free or a regular file of bounded size.
bool writableByQSettings(const QString &path)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return errno == ENOENT;
    const QString refusal = refusalFor(path, st);
    if (refusal.isEmpty())
        return true;
    pendingRefusal() = refusal;
    return false;
}

void forgetCurrent()
{
    cache().remove(SettingsStore::filePath());
}

bool refusedNow()
{
    const auto entry = cache().constFind(SettingsStore::filePath());
    return entry != cache().cend() && entry->refused;
}

bool existsIn(QSettings *settings, const QString &group)
{
    if (group.isEmpty())
        return true;
    if (createdKeys().contains(SettingsStore::filePath() + u'|' + group.toLower()))
        return true;
    if (!settings)
        return false;
    settings->beginGroup(group);
    const bool exists = !settings->childKeys().isEmpty() || !settings->childGroups().isEmpty();
    settings->endGroup();
    return exists;
}

QVariant storedValue(QSettings *settings, const QString &group, const QString &name)
{
    if (!settings)
        return {};
    settings->beginGroup(group);
    const QVariant v = settings->value(name);
    settings->endGroup();
    return v;
}

bool sameValue(const QVariant &stored, const QVariant &value)
{
    return stored.isValid() && stored.typeId() == value.typeId() && stored == value;
}

bool write(const QString &keyPath, const QString &name, const QVariant &value)
{
    const QString group = groupOf(keyPath);
    QSettings *parsed = current();
    if (refusedNow() || !existsIn(parsed, group) || name.isEmpty())
        return false;
    // Writing what the file already holds would change nothing but cost a
    // locked rewrite and an fsync.
    if (sameValue(storedValue(parsed, group, name), value))
        return true;
    if (!writableByQSettings(SettingsStore::filePath()))
        return false;
    QSettings settings(SettingsStore::filePath(), QSettings::IniFormat);
    settings.beginGroup(group);
    settings.setValue(name, value);
    settings.endGroup();
    settings.sync();
    forgetCurrent();
    return settings.status() == QSettings::NoError;
}
} // namespace

QString SettingsStore::filePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/Quintrel/Orvane.ini");
}

QString SettingsStore::takeRefusal()
{
    return std::exchange(pendingRefusal(), QString());
}

bool SettingsStore::keyExists(const QString &keyPath)
{
    return existsIn(current(), groupOf(keyPath));
}

void SettingsStore::createKey(const QString &keyPath)
{
    createdKeys().insert(filePath() + u'|' + groupOf(keyPath).toLower());
}

SettingsStore::Value SettingsStore::read(const QString &keyPath, const QString &name)
{
    Value result;
    if (name.isEmpty())
        return result;
    const QVariant v = storedValue(current(), groupOf(keyPath), name);
    if (!v.isValid())
        return result;
    switch (v.typeId()) {
    case QMetaType::QString:
        result.type = ValueType::Text;
        result.text = v.toString();
        break;
    case QMetaType::QStringList:
        // A hand-written text with commas reads back as a list; it is still text.
        result.type = ValueType::Text;
        result.text = v.toStringList().join(u',');
        break;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        result.type = ValueType::Number;
        result.number = static_cast<qint32>(v.toLongLong());
        break;
    default: result.type = ValueType::Other; break;
    }
    return result;
}

bool SettingsStore::writeText(const QString &keyPath, const QString &name, const QString &text)
{
    return write(keyPath, name, text);
}

bool SettingsStore::writeNumber(const QString &keyPath, const QString &name, qint32 number)
{
    return write(keyPath, name, number);
}

} // namespace orvane::platform
