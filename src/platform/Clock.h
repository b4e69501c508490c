#pragma once

#include "platform/Installable.h"

#include <QDateTime>

namespace orvane::platform {

// Local time, the system clock's milliseconds, the time zone's standard bias,
// and a steady clock for time-outs: the wall clock may be set back or forward
// at any moment, the steady one only moves on.
class Clock : public Installable<Clock>
{
public:
    virtual ~Clock() = default;
    virtual QDateTime localNow() const = 0;
    // Milliseconds of the current second of the system clock (0..999).
    virtual int systemMilliseconds() const = 0;
    // Minutes to add to local time to get universal time, ignoring daylight
    // saving: -60 for a zone one hour east of Greenwich.
    virtual int biasMinutes() const = 0;
    // Milliseconds from an arbitrary origin, never going back.
    virtual qint64 steadyMilliseconds() const = 0;

    static Clock &real();
};

} // namespace orvane::platform
