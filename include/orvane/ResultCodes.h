#pragma once

#include <QObject>
#include <QString>

#include <cstdint>

#ifndef ORVANE_EXPORT
#define ORVANE_EXPORT Q_DECL_EXPORT
#endif

namespace orvane {
// The enumerations below are published through the meta-object system
// (orvane::staticMetaObject), so that hosts can use their names.
Q_NAMESPACE_EXPORT(ORVANE_EXPORT)

// One numbering for every refusal of the system; 0 is success.
enum ResultCode : int16_t {
    orvError = -1,
    orvSuccess = 0,
    orvNotImplemented = 101,
    orvControlDisabled = 102,
    orvNoDataFile = 201,
    orvEmptyDataFile = 202,
    orvInvalidAdOffering = 203,
    orvTransferInProgress = 601,
    orvInvalidRemoteHost = 602,
    orvInvalidProductID = 603,
    orvRemoteHostNotSpecified = 604,
    orvNoUsageReport = 605,
    orvNoDemographicData = 606,
    orvDesignTimeTransfer = 607,
    orvTransferTimedOut = 608,
    orvImageRetrievalFailed = 609,
    orvWinsockError = 610,
    orvNoImageFolder = 701,
    orvNoDataFolder = 702,
    orvFormAlreadyShown = 801,
    orvInvalidShowMode = 802,
    orvTransferComplete = 1001,
    orvUsageDataSent = 1002,
    orvUsageDataNotSent = 1003,
    orvConnected = 1004,
};
Q_ENUM_NS(ResultCode)

// Content rating of an ad, and the rating the user asks for.
enum OrvRating : int32_t {
    UnspecifiedRating = 0,
    AllAudiences = 20,
    AdultContent = 10,
};
Q_ENUM_NS(OrvRating)

enum OrvAgeRange : int32_t {
    AgeUnspecified = 0,
    AgeUnder14 = 10,
    Age14to17 = 20,
    Age18to20 = 30,
    Age21to29 = 40,
    Age30to39 = 50,
    Age40to49 = 60,
    Age50to59 = 70,
    AgeOver60 = 80,
};
Q_ENUM_NS(OrvAgeRange)

// The display text of a result code; "Orv error code: N" for codes without one.
QString ResultCodeText(int32_t code);

} // namespace orvane
