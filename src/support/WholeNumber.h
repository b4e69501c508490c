#pragma once

#include <QString>
#include <QVariant>

#include <cstdint>

namespace orvane {

// A stored setting as a 32-bit whole number, the way the settings are meant to
// be read: a number value as it is, nothing as 0, a text as a decimal number
// taken to the nearest whole number with halves to the even neighbour ("2.5"
// is 2, "1500.5" is 1500). A text that is not a finite number ("abc", "nan",
// "inf") throws OVFault 13, a number beyond 32 bits ("1e12") OVFault 6; with
// a name, the fault's description names the setting and its text.
int32_t toWholeNumber(const QVariant &value, const QString &name = QString());

// A 32-bit number as 16 bits; beyond them throws OVFault 6, never wraps.
int16_t narrowed(int32_t value);

} // namespace orvane
