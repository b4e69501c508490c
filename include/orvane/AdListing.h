#pragma once

#include <QDateTime>
#include <QString>

namespace orvane {

// One ad of the control's local catalogue, as a host may list it (read only).
struct AdListing
{
    QString AdGUID;
    int Size = 0;
    int Rating = 0;
    int ViewCount = 0;
    int ClickCount = 0;
    QDateTime ExpirationDate; // local time
    QString ImageFileName;
    QString ClickURL;
};

} // namespace orvane
