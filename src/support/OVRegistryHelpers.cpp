#include "support/OVRegistryHelpers.h"

#include "platform/SettingsStore.h"
#include "support/OVSimpleLog.h"

#include <algorithm>

namespace orvane::OVRegistryHelpers {

using platform::SettingsStore;

namespace {
bool supportedRoot(uint32_t root)
{
    return root == HKEY_CURRENT_USER;
}

// A settings file that is not a regular file of bounded size is refused by
// the store (it reads as empty); the refusal is logged once.
void reportRefusal(const QString &operation)
{
    const QString why = SettingsStore::takeRefusal();
    if (!why.isEmpty())
        OVSimpleLog::LogError(QStringLiteral("OVRegistryHelpers.") + operation, OVFault(FaultPathFileAccess, why));
}
} // namespace

QString settingsText(const QVariant &value)
{
    if (value.typeId() == QMetaType::Bool)
        return value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    return value.toString();
}

bool toBoolean(const QVariant &value)
{
    if (!value.isValid())
        return false;
    if (value.typeId() == QMetaType::Bool)
        return value.toBool();
    if (value.typeId() == QMetaType::Int || value.typeId() == QMetaType::LongLong)
        return value.toLongLong() != 0;
    const QString text = value.toString().trimmed();
    if (text.compare(u"True", Qt::CaseInsensitive) == 0)
        return true;
    if (text.compare(u"False", Qt::CaseInsensitive) == 0)
        return false;
    bool ok = false;
    const double number = text.toDouble(&ok);
    return ok && number != 0.0;
}

void CreateSettingsKey(const QString &keyPath, uint32_t root)
{
    if (supportedRoot(root))
        SettingsStore::createKey(keyPath);
}

int32_t WriteValueToOpenKey(const OpenKey &key, const QString &valueName, int valueType, const QVariant &value)
{
    if (!supportedRoot(key.root))
        return StatusNotFound;
    bool written = true;
    switch (valueType) {
    case REG_SZ: written = SettingsStore::writeText(key.keyPath, valueName, settingsText(value)); break;
    case REG_DWORD:
        written = SettingsStore::writeNumber(key.keyPath, valueName, static_cast<qint32>(value.toLongLong()));
        break;
    default: break;
    }
    reportRefusal(QStringLiteral("WriteValueToOpenKey"));
    return written ? StatusSuccess : StatusAccessDenied;
}

int32_t ReadValueFromOpenKey(const OpenKey &key, const QString &valueName, QVariant &value)
{
    value = QVariant();
    if (!supportedRoot(key.root))
        return StatusNotFound;
    const SettingsStore::Value stored = SettingsStore::read(key.keyPath, valueName);
    reportRefusal(QStringLiteral("ReadValueFromOpenKey"));
    switch (stored.type) {
    case SettingsStore::ValueType::Missing: return StatusNotFound;
    case SettingsStore::ValueType::Text: value = stored.text; return StatusSuccess;
    case SettingsStore::ValueType::Number: value = stored.number; return StatusSuccess;
    case SettingsStore::ValueType::Other: break;
    }
    return StatusOtherType;
}

void WriteSettingsValue(
    uint32_t root, const QString &keyPath, const QString &valueName, const QVariant &value, int valueType)
{
    WriteValueToOpenKey(OpenKey {root, keyPath}, valueName, valueType, value);
}

QVariant ReadSettingsValue(uint32_t root, const QString &keyPath, const QString &valueName)
{
    QVariant value;
    ReadValueFromOpenKey(OpenKey {root, keyPath}, valueName, value);
    return value;
}

QVariant ReadSettingsValueOrDefault(
    uint32_t root, const QString &keyPath, const QString &valueName, const QVariant &defaultValue)
{
    QVariant value = ReadSettingsValue(root, keyPath, valueName);
    // Blank means empty or spaces only; tabs and line ends are content.
    const QString text = value.toString();
    if (std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c == u' '; })) {
        value = defaultValue;
        CreateSettingsKey(keyPath, root);
        WriteSettingsValue(root, keyPath, valueName, defaultValue, REG_SZ);
    }
    return value;
}

} // namespace orvane::OVRegistryHelpers
