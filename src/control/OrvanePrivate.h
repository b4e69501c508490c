#pragma once

#include <orvane/Orvane.h>

#include "platform/SecondCounter.h"

#include <QEventLoop>
#include <QImage>
#include <QString>
#include <QTimer>

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

    // Transfer's wait: an event loop woken at each second boundary of the
    // steady clock (for the time-out) and when the exchange ends. Waits nest
    // when a handler of the host starts another Transfer; the control ending
    // wakes them all. A loop that ends without being woken was ended from
    // outside: the application is quitting.
    struct TransferWait
    {
        QEventLoop loop;
        QTimer tick;
        bool woken = false;
        bool controlGone = false;
        TransferWait *outer = nullptr;
    };
    TransferWait *m_wait = nullptr;
    // Returns 608 (time-out, or the application quitting, which ends the
    // exchange) or 0; when the control ended meanwhile, returns -1 without
    // touching it.
    static short waitForTransfer(Orvane *control, const platform::SecondCounter &start, qint64 timeout);
    void wakeWaits();
    // Ends the running exchange as failed at once, as a time-out does.
    void endExchange(const QString &why);

    // How deep the control is inside an event of its exchange client: the
    // host may end the control from such an event, and the client must then
    // outlive the call that raised it.
    int m_clientEventDepth = 0;
    template <typename F>
    static void fromClient(Orvane *control, F &&handle);

    ~OrvanePrivate();
};

} // namespace orvane
