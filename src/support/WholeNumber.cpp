#include "support/WholeNumber.h"

#include "support/OVFault.h"

#include <QLocale>

#include <cmath>

namespace orvane {

namespace {
constexpr double kAboveInt32 = 2147483647.5;
constexpr double kBelowInt32 = -2147483648.5;

QString named(const QString &name, const QString &text, const char *what)
{
    if (name.isEmpty())
        return QString();
    return QStringLiteral("The setting %1 ('%2') %3").arg(name, text, QLatin1String(what));
}
} // namespace

int32_t toWholeNumber(const QVariant &value, const QString &name)
{
    if (!value.isValid() || value.isNull())
        return 0;
    if (value.typeId() == QMetaType::Int)
        return value.toInt();
    const QString text = value.toString();
    bool ok = false;
    const double number = QLocale::c().toDouble(text.trimmed(), &ok);
    if (!ok || std::isnan(number) || std::isinf(number))
        raiseFault(FaultTypeMismatch, named(name, text, "is not a number"));
    if (number >= kAboveInt32 || number < kBelowInt32)
        raiseFault(FaultOverflow, named(name, text, "is beyond a 32-bit whole number"));
    return static_cast<int32_t>(std::nearbyint(number)); // the default rounding mode takes halves to even
}

int16_t narrowed(int32_t value)
{
    if (value < INT16_MIN || value > INT16_MAX)
        raiseFault(FaultOverflow);
    return int16_t(value);
}

} // namespace orvane
