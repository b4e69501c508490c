#include "platform/SecondCounter.h"

#include "platform/Clock.h"

#include <algorithm>

namespace orvane::platform {

namespace {
constexpr qint64 kMsecsPerSecond = 1000;
}

void SecondCounter::start()
{
    const Clock &clock = Clock::instance();
    m_phase = clock.localNow().time().msec();
    m_start = clock.steadyMilliseconds();
}

qint64 SecondCounter::sinceStartOfSecond() const
{
    if (!isValid())
        return 0;
    return m_phase + std::max<qint64>(0, Clock::instance().steadyMilliseconds() - m_start);
}

qint64 SecondCounter::secondsPassed() const
{
    return sinceStartOfSecond() / kMsecsPerSecond;
}

int SecondCounter::msecsToNextBoundary() const
{
    return int(kMsecsPerSecond - sinceStartOfSecond() % kMsecsPerSecond);
}

} // namespace orvane::platform
