#include "support/OleDate.h"

#include <cmath>

namespace orvane::OleDate {

namespace {
constexpr qint64 kMsPerDay = 86'400'000;
qint64 epochJulianDay()
{
    return QDate(1899, 12, 30).toJulianDay();
}

// Milliseconds on a linear scale, so that arithmetic is plain addition.
qint64 toLinearMs(double ole)
{
    double whole = std::trunc(ole);
    double frac = std::fabs(ole - whole);
    qint64 ms = std::llround(frac * kMsPerDay);
    return static_cast<qint64>(whole) * kMsPerDay + ms;
}

double fromLinearMs(qint64 linear)
{
    qint64 days = linear >= 0 ? linear / kMsPerDay : -((-linear + kMsPerDay - 1) / kMsPerDay);
    qint64 ms = linear - days * kMsPerDay;
    double frac = double(ms) / kMsPerDay;
    return days >= 0 ? double(days) + frac : double(days) - frac;
}
} // namespace

double fromDateTime(const QDateTime &dateTime)
{
    const qint64 days = dateTime.date().toJulianDay() - epochJulianDay();
    const qint64 ms = dateTime.time().msecsSinceStartOfDay();
    return fromLinearMs(days * kMsPerDay + ms);
}

QDateTime toDateTime(double oleDate)
{
    if (!std::isfinite(oleDate) || std::fabs(oleDate) > 3.0e6)
        return {};
    qint64 linear = toLinearMs(oleDate);
    qint64 days = linear >= 0 ? linear / kMsPerDay : -((-linear + kMsPerDay - 1) / kMsPerDay);
    qint64 ms = linear - days * kMsPerDay;
    return QDateTime(QDate::fromJulianDay(epochJulianDay() + days), QTime::fromMSecsSinceStartOfDay(int(ms)));
}

double addMinutes(double oleDate, int minutes)
{
    return fromLinearMs(toLinearMs(oleDate) + qint64(minutes) * 60'000);
}

QDate toDate(double oleDate)
{
    if (!std::isfinite(oleDate) || std::fabs(oleDate) > 3.0e6)
        return {};
    return QDate::fromJulianDay(epochJulianDay() + static_cast<qint64>(std::trunc(oleDate)));
}

} // namespace orvane::OleDate
