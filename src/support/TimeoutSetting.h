#pragma once

#include <QString>

#include <cstdint>

namespace orvane {

inline const QString kTransferTimeoutSeconds = QStringLiteral("TransferTimeoutSeconds");

// TransferTimeoutSeconds of the preferences in whole seconds, the one
// conversion that Transfer and the exchange client share. With
// createDefault the setting is read with its default "300" (written back
// when missing); without, a missing value is 0. Throws as toWholeNumber.
int32_t transferTimeoutSeconds(bool createDefault);

} // namespace orvane
