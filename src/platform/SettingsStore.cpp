#include "platform/SettingsStore.h"

#include <QSet>
#include <QSettings>
#include <QStandardPaths>

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

bool existsIn(QSettings &settings, const QString &group)
{
    if (group.isEmpty())
        return true;
    if (createdKeys().contains(SettingsStore::filePath() + u'|' + group.toLower()))
        return true;
    settings.beginGroup(group);
    const bool exists = !settings.childKeys().isEmpty() || !settings.childGroups().isEmpty();
    settings.endGroup();
    return exists;
}

bool write(const QString &keyPath, const QString &name, const QVariant &value)
{
    QSettings settings(SettingsStore::filePath(), QSettings::IniFormat);
    const QString group = groupOf(keyPath);
    if (!existsIn(settings, group) || name.isEmpty())
        return false;
    settings.beginGroup(group);
    settings.setValue(name, value);
    settings.endGroup();
    settings.sync();
    return settings.status() == QSettings::NoError;
}
} // namespace

QString SettingsStore::filePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/Quintrel/Orvane.ini");
}

bool SettingsStore::keyExists(const QString &keyPath)
{
    QSettings settings(filePath(), QSettings::IniFormat);
    return existsIn(settings, groupOf(keyPath));
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
    QSettings settings(filePath(), QSettings::IniFormat);
    settings.beginGroup(groupOf(keyPath));
    const QVariant v = settings.value(name);
    settings.endGroup();
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
