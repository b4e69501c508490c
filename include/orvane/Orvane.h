#pragma once

#include <orvane/AdListing.h>
#include <orvane/Container.h>
#include <orvane/PropertyBag.h>
#include <orvane/ResultCodes.h>

#include <QImage>
#include <QList>
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
    Q_PROPERTY(bool Personalized READ Personalized)
    // Written by name as whole numbers, so that a value beyond 16 bits is refused
    // by the setter instead of wrapping on the way in.
    Q_PROPERTY(int AgeRange READ AgeRange WRITE setAgeRange)
    Q_PROPERTY(QString CountryCode READ CountryCode WRITE setCountryCode)
    Q_PROPERTY(QString Gender READ Gender WRITE setGender)
    Q_PROPERTY(QString PostalCode READ PostalCode WRITE setPostalCode)
    Q_PROPERTY(int Rating READ Rating WRITE setRating)

public:
    // Without a container the control behaves as in a plain Qt host (run time).
    explicit Orvane(Container *container = nullptr, QObject *parent = nullptr);
    ~Orvane() override;

    // Lifecycle driven by the host. The methods are invokable through the
    // meta-object system for hosts that create the control by class id.
    Q_INVOKABLE void InitProperties();
    void ReadProperties(const PropertyBag &bag);
    void WriteProperties(PropertyBag &bag) const;
    // The face always snaps back to 1125 x 1125 twips.
    Q_INVOKABLE void Resize(int widthTwips, int heightTwips);

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

    Q_INVOKABLE QString GetResultString(short errorCode) const;

    // Transfer with the ad server. StartTransfer returns at once; Transfer
    // waits, dispatching the thread's events, until the exchange has ended (0),
    // its time-out has passed (608) or it did not start (-1).
    Q_INVOKABLE short StartTransfer();
    Q_INVOKABLE short Transfer();

    // The ad window (modal) and the personalization form. Show returns when the
    // user has closed the window.
    Q_INVOKABLE short Show(short ShowMode = 1);
    Q_INVOKABLE short Hide();
    Q_INVOKABLE short ShowPersonalizationForm();

    // The user's demographics, read from and written to the settings store on
    // every access. AgeRange and Rating are 16-bit: a value beyond that range
    // is logged as an overflow and nothing is stored.
    bool Personalized() const;
    short AgeRange() const;
    void setAgeRange(int value);
    QString CountryCode() const;
    void setCountryCode(const QString &value);
    QString Gender() const;
    void setGender(const QString &value);
    QString PostalCode() const;
    void setPostalCode(const QString &value);
    short Rating() const;
    void setRating(int value);

    // The ads of the local catalogue, loaded from the data file on first need.
    QList<AdListing> AdList() const;

    // Called by the ad window when it unloads; raises AdWindowClosed.
    void RaiseAdWindowClosed();

    static constexpr int kFaceSizeTwips = 1125;

Q_SIGNALS:
    void TransferComplete(bool Success);
    void ProgressMessage(const QString &Message);
    void AdWindowClosed();

private:
    friend class OrvanePrivate;
    std::unique_ptr<OrvanePrivate> d;
};

} // namespace orvane
