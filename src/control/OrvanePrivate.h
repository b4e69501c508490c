#pragma once

#include <orvane/Orvane.h>

#include <QImage>
#include <QString>

#include <cstdint>

namespace orvane {

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
};

} // namespace orvane
