#pragma once

#include <orvane/orvane.h>

#include <QMetaType>
#include <QVariant>

#include <optional>

namespace orvane::CValues {

// A value of the C interface as a QVariant of the given type, for a property
// or an argument: nullopt when the type does not fit or a number is out of the
// target's range (never wrapped). A text for a number may name a published
// enumeration's key ("AgeOver60").
std::optional<QVariant> toVariant(const OrvaneValue &value, QMetaType target);
// A QVariant as a value the library fills (owning its text and bytes);
// ORVANE_E_INVALIDARG for a type the C interface does not carry.
int fromVariant(const QVariant &variant, OrvaneValue *value);
// A copy of the text in memory that OrvaneFree releases.
char *newText(const QString &text);

} // namespace orvane::CValues
