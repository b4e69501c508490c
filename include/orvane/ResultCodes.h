#pragma once

#include <orvane/orvane_export.h>

#include <QObject>
#include <QString>

#include <cstdint>

namespace orvane {
/// The enumerations below are published through the meta-object system
/// (orvane::staticMetaObject), so that hosts can use their names.
Q_NAMESPACE_EXPORT(ORVANE_EXPORT)

/// The display text of a result code; "Orv error code: N" for codes without one.
ORVANE_EXPORT QString ResultCodeText(int32_t code);

/// One numbering for every refusal of the system; 0 is success. The texts
/// quoted are the ones ResultCodeText gives.
enum ResultCode : int16_t {
    orvError = -1, ///< "Error"
    orvSuccess = 0, ///< "Success"
    orvNotImplemented = 101, ///< "Not implemented"
    orvControlDisabled = 102, ///< "Control disabled": the control is disabled
    orvNoDataFile = 201, ///< "No data file"
    orvEmptyDataFile = 202, ///< "Empty data file"
    orvInvalidAdOffering = 203, ///< "Invalid Ad Offering"
    orvTransferInProgress = 601, ///< "Transfer in progress": an exchange is running
    orvInvalidRemoteHost = 602, ///< "Invalid Remote Host": no server address or port
    orvInvalidProductID = 603, ///< "Invalid ProductID": the product identifier is not 38 characters
    orvRemoteHostNotSpecified = 604, ///< "Remote Host not specified"
    orvNoUsageReport = 605, ///< "No usage report"
    orvNoDemographicData = 606, ///< "No demographic data"
    orvDesignTimeTransfer = 607, ///< "Cannot transfer at design time"
    orvTransferTimedOut = 608, ///< Transfer: the time-out passed (no text of its own)
    orvImageRetrievalFailed = 609, ///< Fetching the ad images failed (no text of its own)
    orvWinsockError = 610, ///< "Winsock error"
    orvNoImageFolder = 701, ///< "No image folder": the image folder is not set or does not exist
    orvNoDataFolder = 702, ///< "No data folder"
    orvFormAlreadyShown = 801, ///< "Form already shown": the ad window is open
    orvInvalidShowMode = 802, ///< Show: a mode other than 1 (no text of its own)
    orvTransferComplete = 1001, ///< "Transfer complete" (a progress text)
    orvUsageDataSent = 1002, ///< "Usage data sent"
    orvUsageDataNotSent = 1003, ///< "Usage data not sent"
    orvConnected = 1004, ///< "Connected"
};
Q_ENUM_NS(ResultCode)

/// Content rating of an ad, and the rating the user asks for.
enum OrvRating : int32_t {
    UnspecifiedRating = 0, ///< No rating stated: all-audience ads only.
    AllAudiences = 20, ///< Fit for all audiences.
    AdultContent = 10, ///< Adult content; the user asks for it explicitly.
};
Q_ENUM_NS(OrvRating)

/// The user's age range.
enum OrvAgeRange : int32_t {
    AgeUnspecified = 0, ///< Not stated.
    AgeUnder14 = 10, ///< Under 14.
    Age14to17 = 20, ///< 14 to 17.
    Age18to20 = 30, ///< 18 to 20.
    Age21to29 = 40, ///< 21 to 29.
    Age30to39 = 50, ///< 30 to 39.
    Age40to49 = 60, ///< 40 to 49.
    Age50to59 = 70, ///< 50 to 59.
    AgeOver60 = 80, ///< 60 and over.
};
Q_ENUM_NS(OrvAgeRange)

} // namespace orvane
