#include "platform/RandomSource.h"

#include <QDateTime>

#include <random>

namespace orvane::platform {

namespace {
class MersenneRandom final : public RandomSource
{
public:
    MersenneRandom() { reseedFromClock(); }
    double next() override { return std::uniform_real_distribution<double>(0.0, 1.0)(m_engine); }
    void reseedFromClock() override
    {
        // The device is opened once: it costs tens of microseconds, and each
        // group of ads reseeds. The clock still moves every seed.
        static const std::mt19937_64::result_type entropy = std::random_device {}();
        m_engine.seed(static_cast<std::mt19937_64::result_type>(QDateTime::currentMSecsSinceEpoch()) ^ entropy);
    }

private:
    std::mt19937_64 m_engine;
};
} // namespace

RandomSource &RandomSource::real()
{
    static MersenneRandom random;
    return random;
}

} // namespace orvane::platform
