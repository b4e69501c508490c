#pragma once

#include <QDateTime>
#include <QString>

namespace orvane {

/// One ad of the control's local catalogue, as a host may list it (read only).
struct AdListing
{
    QString AdGUID; ///< The ad's identifier ("{...}").
    int Size = 0; ///< The ad's size code.
    int Rating = 0; ///< The ad's content rating (an OrvRating value).
    int ViewCount = 0; ///< Views counted and not yet reported.
    int ClickCount = 0; ///< Clicks counted and not yet reported.
    QDateTime ExpirationDate; ///< The last day the ad is shown, local time.
    QString ImageFileName; ///< The image file's name in the image folder.
    QString ClickURL; ///< The address opened when the ad is clicked.
};

} // namespace orvane
