// Hostile bytes as a usage report: the reader must neither crash nor read
// outside the buffer, and what it rebuilds must write back without a fault.
#include "exchange/OVUsageReport.h"

#include <QByteArray>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    orvane::OVUsageReport report;
    report.SetStateFromByteArray(bytes);
    const QByteArray again = report.GetStateIntoByteArray();
    if (again.isEmpty() || again.back() != '\0')
        __builtin_trap();
    return 0;
}
