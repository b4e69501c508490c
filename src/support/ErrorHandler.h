#pragma once

#include "support/OVFault.h"

#include <QString>

#include <exception>
#include <new>
#include <utility>

namespace orvane {

namespace detail {
void reportFault(const QString &source, const OVFault &fault) noexcept;
}

// The per-operation error handler. Each step runs guarded: a fault is logged
// under the operation's source text and the next step goes on, or the caller
// ends the operation with its failure result.
//
//     ErrorHandler handler(u"OVUsageReport.GetStateIntoByteArray"_s);
//     handler.step([&] { writeHeader(); });
//     handler.step([&] { writeStats(); });
//     return handler.failed() ? ... : ...;
class ErrorHandler
{
public:
    explicit ErrorHandler(QString source)
        : m_source(std::move(source))
    {
    }

    template <typename F>
    bool step(F &&f) noexcept
    {
        try {
            std::forward<F>(f)();
            return true;
        } catch (const OVFault &fault) {
            record(fault);
        } catch (const std::bad_alloc &) {
            record(OVFault(FaultOutOfMemory));
        } catch (const std::exception &e) {
            record(OVFault(FaultInternal, QString::fromLocal8Bit(e.what())));
        } catch (...) {
            record(OVFault(FaultInternal));
        }
        return false;
    }

    // Reports a failure found by an explicit check, as a failing step would,
    // without the cost of throwing.
    void fail(const OVFault &fault) noexcept { record(fault); }

    bool failed() const noexcept { return m_failures > 0; }
    int failures() const noexcept { return m_failures; }
    int32_t lastNumber() const noexcept { return m_lastNumber; }
    const QString &source() const noexcept { return m_source; }

private:
    void record(const OVFault &fault) noexcept
    {
        ++m_failures;
        m_lastNumber = fault.number();
        detail::reportFault(m_source, fault);
    }

    QString m_source;
    int m_failures = 0;
    int32_t m_lastNumber = 0;
};

// Runs one guarded operation; true when it finished without a fault.
template <typename F>
bool guarded(const QString &source, F &&f) noexcept
{
    ErrorHandler handler(source);
    return handler.step(std::forward<F>(f));
}

} // namespace orvane
