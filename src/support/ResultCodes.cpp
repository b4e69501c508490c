#include <orvane/ResultCodes.h>

namespace orvane {

QString ResultCodeText(int32_t code)
{
    switch (code) {
    case orvError: return QStringLiteral("Error");
    case orvSuccess: return QStringLiteral("Success");
    case orvNotImplemented: return QStringLiteral("Not implemented");
    case orvControlDisabled: return QStringLiteral("Control disabled");
    case orvNoDataFile: return QStringLiteral("No data file");
    case orvEmptyDataFile: return QStringLiteral("Empty data file");
    case orvInvalidAdOffering: return QStringLiteral("Invalid Ad Offering");
    case orvTransferInProgress: return QStringLiteral("Transfer in progress");
    case orvInvalidRemoteHost: return QStringLiteral("Invalid Remote Host");
    case orvInvalidProductID: return QStringLiteral("Invalid ProductID");
    case orvRemoteHostNotSpecified: return QStringLiteral("Remote Host not specified");
    case orvNoUsageReport: return QStringLiteral("No usage report");
    case orvNoDemographicData: return QStringLiteral("No demographic data");
    case orvDesignTimeTransfer: return QStringLiteral("Cannot transfer at design time");
    case orvWinsockError: return QStringLiteral("Winsock error");
    case orvNoImageFolder: return QStringLiteral("No image folder");
    case orvNoDataFolder: return QStringLiteral("No data folder");
    case orvFormAlreadyShown: return QStringLiteral("Form already shown");
    case orvTransferComplete: return QStringLiteral("Transfer complete");
    case orvUsageDataSent: return QStringLiteral("Usage data sent");
    case orvUsageDataNotSent: return QStringLiteral("Usage data not sent");
    case orvConnected: return QStringLiteral("Connected");
    default: return QStringLiteral("Orv error code: ") + QString::number(code);
    }
}

} // namespace orvane
