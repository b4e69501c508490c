#include "support/WholeNumber.h"

#include "support/OVFault.h"

#include <QLocale>

#include <cmath>

namespace orvane {

int32_t toWholeNumber(const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return 0;
    if (value.typeId() == QMetaType::Int)
        return value.toInt();
    bool ok = false;
    const double number = QLocale::c().toDouble(value.toString().trimmed(), &ok);
    if (!ok)
        raiseFault(FaultTypeMismatch);
    if (!std::isfinite(number) || number >= 2147483647.5 || number < -2147483648.5)
        raiseFault(FaultOverflow);
    return static_cast<int32_t>(std::nearbyint(number)); // the default rounding mode takes halves to even
}

int16_t narrowed(int32_t value)
{
    if (value < INT16_MIN || value > INT16_MAX)
        raiseFault(FaultOverflow);
    return int16_t(value);
}

} // namespace orvane
