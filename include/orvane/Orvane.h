#pragma once

#include <orvane/Container.h>
#include <orvane/PropertyBag.h>
#include <orvane/ResultCodes.h>

#include <QImage>
#include <QObject>
#include <QString>

#include <memory>

namespace orvane {

class OrvanePrivate;

// The embeddable ad-client control. Create it on the host's UI thread, restore
// it with ReadProperties (or InitProperties for a new placement), and listen to
// its signals. No exception ever leaves it: refusals come back as result codes.
class Orvane : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString Version READ Version CONSTANT)
    Q_PROPERTY(short LastError READ LastError)
    Q_PROPERTY(QString ImageFolder READ ImageFolder WRITE setImageFolder)
    Q_PROPERTY(QString DataFolder READ DataFolder WRITE setDataFolder)
    Q_PROPERTY(QString RemoteHost READ RemoteHost WRITE setRemoteHost)
    Q_PROPERTY(QString RemotePort READ RemotePort WRITE setRemotePort)
    Q_PROPERTY(bool Enabled READ Enabled WRITE setEnabled)
    Q_PROPERTY(QString ProductGUID READ ProductGUID WRITE setProductGUID)
    Q_PROPERTY(QImage Icon READ Icon WRITE setIcon)
    Q_PROPERTY(QString Text READ Text WRITE setText)
    Q_PROPERTY(bool TransferInProgress READ TransferInProgress)

public:
    // Without a container the control behaves as in a plain Qt host (run time).
    explicit Orvane(Container *container = nullptr, QObject *parent = nullptr);
    ~Orvane() override;

    // Lifecycle driven by the host.
    void InitProperties();
    void ReadProperties(const PropertyBag &bag);
    void WriteProperties(PropertyBag &bag) const;
    // The face always snaps back to 1125 x 1125 twips.
    void Resize(int widthTwips, int heightTwips);

    QString Version() const;
    short LastError() const;

    QString ImageFolder() const;
    void setImageFolder(const QString &value);
    QString DataFolder() const;
    void setDataFolder(const QString &value);
    QString RemoteHost() const;
    void setRemoteHost(const QString &value);
    QString RemotePort() const;
    void setRemotePort(const QString &value);
    bool Enabled() const;
    void setEnabled(bool value);
    QString ProductGUID() const;
    void setProductGUID(const QString &value);
    QImage Icon() const;
    void setIcon(const QImage &value);
    QString Text() const;
    void setText(const QString &value);
    bool TransferInProgress() const;

    QString GetResultString(short errorCode) const;

    // Transfer with the ad server. StartTransfer returns at once; Transfer
    // waits, dispatching the thread's events, until the exchange has ended (0),
    // its time-out has passed (608) or it did not start (-1).
    short StartTransfer();
    short Transfer();

    static constexpr int kFaceSizeTwips = 1125;

Q_SIGNALS:
    void TransferComplete(bool Success);
    void ProgressMessage(const QString &Message);
    void AdWindowClosed();
    // A transfer is about to start (the open ad window disables its update button).
    void startingTransfer();

private:
    friend class OrvanePrivate;
    std::unique_ptr<OrvanePrivate> d;
};

} // namespace orvane
