#include "support/OVTime.h"

#include "platform/Clock.h"
#include "support/OleDate.h"

#include <QDateTime>

namespace orvane::OVTime {

double GetUniversalTime()
{
    // The local clock's whole seconds, as every other date-time of the system.
    const platform::Clock &clock = platform::Clock::instance();
    QDateTime now = clock.localNow();
    now.setTime(QTime(now.time().hour(), now.time().minute(), now.time().second()));
    return OleDate::addMinutes(OleDate::fromDateTime(now), clock.biasMinutes());
}

} // namespace orvane::OVTime
