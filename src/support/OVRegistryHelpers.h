#pragma once

#include <QString>
#include <QVariant>

#include <cstdint>

// The settings operations every subsystem uses. Values come back variant-like:
// a QString for text, an int for a number, an invalid QVariant when the key or
// value is missing or of another type. Failures are never reported.
namespace orvane::OVRegistryHelpers {

// The predefined root of the current user's settings; the only root in use.
constexpr uint32_t HKEY_CURRENT_USER = 0x80000001u;

enum ValueType : int { REG_SZ = 1, REG_DWORD = 4 };

// The platform's status codes of the open-key operations.
enum Status : int32_t { StatusSuccess = 0, StatusNotFound = 2, StatusAccessDenied = 5, StatusOtherType = -1 };

// An open key: the key path under a root.
struct OpenKey
{
    uint32_t root = HKEY_CURRENT_USER;
    QString keyPath;
};

inline const QString kDebugKey = QStringLiteral("SOFTWARE\\Quintrel\\Orvane\\Debug");
inline const QString kPreferencesKey = QStringLiteral("SOFTWARE\\Quintrel\\Orvane\\Preferences");
inline const QString kDemographicsKey = QStringLiteral("SOFTWARE\\Quintrel\\Orvane\\Demographics");

void CreateSettingsKey(const QString &keyPath, uint32_t root);
void WriteSettingsValue(
    uint32_t root, const QString &keyPath, const QString &valueName, const QVariant &value, int valueType);
int32_t WriteValueToOpenKey(const OpenKey &key, const QString &valueName, int valueType, const QVariant &value);
int32_t ReadValueFromOpenKey(const OpenKey &key, const QString &valueName, QVariant &value);
QVariant ReadSettingsValue(uint32_t root, const QString &keyPath, const QString &valueName);
QVariant ReadSettingsValueOrDefault(
    uint32_t root, const QString &keyPath, const QString &valueName, const QVariant &defaultValue);

// The text form the store writes for a value: booleans as "True"/"False".
QString settingsText(const QVariant &value);
// A value taken as a boolean: the text True/False (any case), or a number
// (non-zero is true). Anything else is false.
bool toBoolean(const QVariant &value);

} // namespace orvane::OVRegistryHelpers
