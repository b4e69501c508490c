#include "support/TimeoutSetting.h"

#include "support/OVRegistryHelpers.h"
#include "support/WholeNumber.h"

namespace orvane {

int32_t transferTimeoutSeconds(bool createDefault)
{
    using namespace OVRegistryHelpers;
    const QVariant setting = createDefault
        ? ReadSettingsValueOrDefault(HKEY_CURRENT_USER, kPreferencesKey, kTransferTimeoutSeconds, QStringLiteral("300"))
        : ReadSettingsValue(HKEY_CURRENT_USER, kPreferencesKey, kTransferTimeoutSeconds);
    return toWholeNumber(setting, kTransferTimeoutSeconds);
}

} // namespace orvane
