// Hostile text in the fixed-width form of a content update.
#include "exchange/OVContentUpdate.h"

#include <QString>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf16(reinterpret_cast<const char16_t *>(data), qsizetype(size / 2));
    orvane::OVContentUpdate update;
    update.SetState(text);
    return 0;
}
