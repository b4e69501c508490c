#pragma once

namespace orvane::platform {

// A process-wide platform service with a real implementation that tests can
// replace: install() a double, install(nullptr) to go back to the real one.
template <typename T>
class Installable
{
public:
    static T &instance() { return s_installed ? *s_installed : T::real(); }
    static void install(T *service) { s_installed = service; }

private:
    static inline T *s_installed = nullptr;
};

} // namespace orvane::platform
