#pragma once

#include <QString>

#include <cstdint>

namespace orvane {

// One offered ad as the exchange client hands it to the control. An empty
// record has empty texts, a zero date and zero numbers.
struct TYPE_INCOMINGAD
{
    QString AdGUID;
    QString AdvertiserGUID;
    QString AdvertiserName; // the client never fills it
    double ExpirationDate = 0.0;
    int16_t Size = 0;
    int16_t Rating = 0;
    int16_t ImageFormat = 0;
    QString ClickURL;
    QString ImageFileName;
};

} // namespace orvane
