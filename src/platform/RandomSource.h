#pragma once

#include "platform/Installable.h"

namespace orvane::platform {

// The process-wide pseudo-random generator: uniform values in [0, 1).
class RandomSource : public Installable<RandomSource>
{
public:
    virtual ~RandomSource() = default;
    virtual double next() = 0;
    virtual void reseedFromClock() = 0;

    static RandomSource &real();
};

} // namespace orvane::platform
