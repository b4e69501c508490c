#pragma once

#include <orvane/Orvane.h>

#include <QImage>
#include <QString>

#include <cstdint>
#include <memory>

namespace orvane {

class OVCommercials;
class OVHTTPClient;
class OVUsageReport;
class OVUser;

// The control's state. The transfer, the ad window and the demographics
// entry points keep their members here too.
class OrvanePrivate
{
public:
    explicit OrvanePrivate(Orvane *q, Container *container);

    void notifyChanged(const QString &name);
    Container &container() const { return *m_container; }

    Orvane *q;
    Container *m_container;
    std::unique_ptr<Container> m_ownContainer;

    int16_t ShowMode = 0;
    bool Enabled = false;
    QString Text;
    int32_t LastError = 0;
    QString ProductGUID;
    QString RemoteHost;
    QString RemotePort;
    QString ImageFolder;
    QString DataFolder;
    bool TransferInProgress = false;
    QImage Icon;

    // Transfer
    std::shared_ptr<OVCommercials> Commercials;
    std::shared_ptr<OVUsageReport> UsageReport;
    std::unique_ptr<OVHTTPClient> mOVClientTransfer;
    // The catalogue, created and loaded from the data file on first need.
    OVCommercials &commercials();
    // Fills UsageReport with the counts to report: none when the data file
    // cannot be saved, and only as many as the report's buffer takes.
    void collectUsage(OVCommercials &catalogue, const std::shared_ptr<OVUser> &user);
    void mOVClientTransfer_SentUsage(bool Success);
    void mOVClientTransfer_ReceivedContent(bool Complete);
    void mOVClientTransfer_DataExchanged(bool Success);
    short refuseTransfer(short code);

    ~OrvanePrivate();
};

} // namespace orvane
