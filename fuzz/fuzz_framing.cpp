// Hostile server answers through the three framing readers.
#include "exchange/OVFraming.h"

#include <QByteArray>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using namespace orvane::OVFraming;
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    IsOKResponse(bytes);
    const int16_t length = ContentLength(bytes);
    const int16_t header = HeaderLength(bytes);
    const ContentHeader content = ReadContentHeader(bytes);
    if (content.usable && (content.contentLength < 0 || content.headerLength > bytes.size()))
        __builtin_trap();
    (void)length;
    (void)header;
    return 0;
}
