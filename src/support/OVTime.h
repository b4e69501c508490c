#pragma once

namespace orvane::OVTime {

// The current time as an OLE date in universal time, from the local time and
// the zone's standard bias only (daylight saving is not applied).
double GetUniversalTime();

} // namespace orvane::OVTime
