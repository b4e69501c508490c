#pragma once

#include <QString>
#include <QVariant>

#include <cstdint>

namespace orvane {

inline const QString kTransferTimeoutSeconds = QStringLiteral("TransferTimeoutSeconds");

// A setting as a 32-bit whole number: a number value as it is, nothing as 0, a
// text as a decimal number taken to the nearest whole number with halves to
// the even neighbour ("2.5" is 2, "1500.5" is 1500). A text that is not a
// finite number ("abc", "nan", "inf") throws OVFault 13, a number beyond 32
// bits ("1e12") OVFault 6; with a name, the fault's description names the
// setting and its text.
int32_t settingAsWholeNumber(const QVariant &value, const QString &name = QString());

// TransferTimeoutSeconds of the preferences in whole seconds, the one
// conversion that Transfer and the exchange client share. With
// createDefault the setting is read with its default "300" (written back
// when missing); without, a missing value is 0. Throws as above.
int32_t transferTimeoutSeconds(bool createDefault);

} // namespace orvane
