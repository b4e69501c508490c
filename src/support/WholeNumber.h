#pragma once

#include <QVariant>

#include <cstdint>

namespace orvane {

// A stored setting as a 32-bit whole number, the way the settings are meant to
// be read: a number value as it is, nothing as 0, a text as a decimal number
// taken to the nearest whole number with halves to the even neighbour
// ("1500.5" is 1500). A text that is not a number throws OVFault 13, a number
// beyond 32 bits OVFault 6.
int32_t toWholeNumber(const QVariant &value);

// A 32-bit number as 16 bits; beyond them throws OVFault 6, never wraps.
int16_t narrowed(int32_t value);

} // namespace orvane
