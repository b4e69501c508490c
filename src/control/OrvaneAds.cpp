#include <orvane/Orvane.h>

#include "catalogue/OVAdvertisement.h"
#include "catalogue/OVCommercials.h"
#include "control/OrvanePrivate.h"
#include "support/ErrorHandler.h"
#include "support/OleDate.h"

namespace orvane {

QList<AdListing> Orvane::AdList() const
{
    QList<AdListing> list;
    guarded(QStringLiteral("Orvane.AdList"), [&] {
        for (const auto &ad : d->commercials().Ads()) {
            list.append(AdListing {ad->AdGUID(), ad->Size(), ad->Rating(), ad->ViewCount(), ad->ClickCount(),
                OleDate::toDateTime(ad->ExpirationDate()), ad->ImageFileName(), ad->ClickURL()});
        }
    });
    return list;
}

} // namespace orvane
