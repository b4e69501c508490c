#include "support/OVTime.h"

#include "platform/Clock.h"
#include "support/OleDate.h"

namespace orvane::OVTime {

double GetUniversalTime()
{
    const platform::Clock &clock = platform::Clock::instance();
    return OleDate::addMinutes(OleDate::fromDateTime(clock.localNow()), clock.biasMinutes());
}

} // namespace orvane::OVTime
