#include <orvane/Container.h>

namespace orvane {
Container::~Container() = default;
} // namespace orvane
