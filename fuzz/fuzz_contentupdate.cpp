// Hostile bytes as a content update from an ad server we do not control.
#include "exchange/OVContentUpdate.h"

#include <QByteArray>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    orvane::OVContentUpdate update;
    update.SetStateFromByteArray(bytes);
    if (update.AdOfferings().Count() > 255)
        __builtin_trap();
    const QByteArray again = update.GetStateIntoByteArray();
    orvane::OVContentUpdate back;
    back.SetStateFromByteArray(again);
    // Keys are taken as read but written trimmed, so ids that differ only by
    // spaces may merge on the way back: never more offers, never a crash.
    if (back.AdOfferings().Count() > update.OfferingsInLastState())
        __builtin_trap();
    update.SlimDownToSize(int32_t(size));
    return 0;
}
