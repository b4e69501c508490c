// Writes `count` values named <prefix>N under the Preferences key, one store
// operation each, as a second process sharing the settings store would.
#include "support/OVRegistryHelpers.h"

#include <QCoreApplication>

using namespace orvane::OVRegistryHelpers;

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 3)
        return 2;
    const QString prefix = QString::fromLocal8Bit(argv[1]);
    const int count = QString::fromLocal8Bit(argv[2]).toInt();
    CreateSettingsKey(kPreferencesKey, HKEY_CURRENT_USER);
    for (int i = 0; i < count; ++i) {
        WriteSettingsValue(HKEY_CURRENT_USER, kPreferencesKey, prefix + QString::number(i), QString::number(i), REG_SZ);
    }
    return 0;
}
