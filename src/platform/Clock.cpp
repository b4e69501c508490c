#include "platform/Clock.h"

#include <QElapsedTimer>
#include <QTimeZone>

namespace orvane::platform {

namespace {
class SystemClock final : public Clock
{
public:
    QDateTime localNow() const override
    {
        const QDateTime now = QDateTime::currentDateTime();
        return QDateTime(now.date(), now.time());
    }
    int systemMilliseconds() const override { return QDateTime::currentDateTimeUtc().time().msec(); }
    int biasMinutes() const override
    {
        const QTimeZone zone = QTimeZone::systemTimeZone();
        if (!zone.isValid())
            return 0;
        return -zone.standardTimeOffset(QDateTime::currentDateTimeUtc()) / 60;
    }
    qint64 steadyMilliseconds() const override
    {
        static const QElapsedTimer origin = [] {
            QElapsedTimer timer;
            timer.start();
            return timer;
        }();
        return origin.elapsed();
    }
};
} // namespace

Clock &Clock::real()
{
    static SystemClock clock;
    return clock;
}

} // namespace orvane::platform
