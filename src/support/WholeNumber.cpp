#include "support/WholeNumber.h"

#include "support/OVFault.h"
#include "support/TimeoutSetting.h"

namespace orvane {

int32_t toWholeNumber(const QVariant &value)
{
    return settingAsWholeNumber(value);
}

int16_t narrowed(int32_t value)
{
    if (value < INT16_MIN || value > INT16_MAX)
        raiseFault(FaultOverflow);
    return int16_t(value);
}

} // namespace orvane
