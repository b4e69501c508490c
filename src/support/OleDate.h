#pragma once

#include <QDateTime>

// Date-times as OLE Automation dates: days since 1899-12-30, the fraction
// being the time of day. Before the epoch the whole part counts days back while
// the fraction still counts time forward (-1.25 is 1899-12-29 06:00).
namespace orvane::OleDate {

double fromDateTime(const QDateTime &dateTime);
QDateTime toDateTime(double oleDate); // local time spec, rounded to the millisecond

// Minute arithmetic on an OLE date (carries into hours and days).
double addMinutes(double oleDate, int minutes);

// The calendar day (whole part, rounded towards the earlier day).
QDate toDate(double oleDate);

} // namespace orvane::OleDate
