#pragma once

#include <orvane/AdListing.h>
#include <orvane/Container.h>
#include <orvane/PropertyBag.h>
#include <orvane/PropertyBagObject.h>
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
    Q_PROPERTY(short AgeRange READ AgeRange WRITE setAgeRange)
    Q_PROPERTY(QString CountryCode READ CountryCode WRITE setCountryCode)
    Q_PROPERTY(QString Gender READ Gender WRITE setGender)
    Q_PROPERTY(QString PostalCode READ PostalCode WRITE setPostalCode)
    Q_PROPERTY(short Rating READ Rating WRITE setRating)
    // Help strings of the members, under "help:" and the member's name.
    Q_CLASSINFO("help:Version", "Version of the Orvane control")
    Q_CLASSINFO("help:Personalized", "Whether the user has stated demographics")
    Q_CLASSINFO("help:LastError", "Orvane error code of the last error that occurred")
    Q_CLASSINFO("help:ImageFolder", "Full path name of a folder to store  Orvane image files")
    Q_CLASSINFO("help:DataFolder", "Full path name of folder for Orvane data")
    Q_CLASSINFO("help:RemoteHost", "IP Address or name of the  Orvane Ad Server")
    Q_CLASSINFO("help:RemotePort", "Port of the  Orvane Ad Server")
    Q_CLASSINFO("help:Enabled", "Whether the control shows ads and transfers data")
    Q_CLASSINFO("help:ProductGUID", " Orvane Product ID")
    Q_CLASSINFO("help:Icon", "The icon that shows in the upper left corner of the Orvane Ad Window")
    Q_CLASSINFO("help:Text", "Text that shows in the  Orvane Ad Window")
    Q_CLASSINFO("help:TransferInProgress", "Whether a transfer with the Orvane Ad Server is running")
    Q_CLASSINFO("help:AgeRange", "The user's age range (OrvAgeRange)")
    Q_CLASSINFO("help:CountryCode", "The user's country")
    Q_CLASSINFO("help:Gender", "The user's gender")
    Q_CLASSINFO("help:PostalCode", "The user's postal code")
    Q_CLASSINFO("help:Rating", "The content rating the user wants (OrvRating)")
    Q_CLASSINFO("help:GetResultString", "Returns the full text description of an Orvane error number")
    Q_CLASSINFO("help:Show", "Show the  Orvane Ad Window")
    Q_CLASSINFO("help:Hide", "Hide the Orvane Ad Window")
    Q_CLASSINFO("help:Transfer", "Transfer data to and from the  Orvane Ad Server")
    Q_CLASSINFO("help:StartTransfer", "Start transferring data with the  Orvane Ad Server")
    Q_CLASSINFO("help:ShowPersonalizationForm", "Show the  Orvane personalization form")
    Q_CLASSINFO("help:InitProperties", "Start a new placement with the default properties")
    Q_CLASSINFO("help:ReadProperties", "Restore the saved properties from a property bag")
    Q_CLASSINFO("help:WriteProperties", "Save the properties into a property bag")
    Q_CLASSINFO("help:TransferComplete", "Raised when a transfer with the Orvane Ad Server has ended")
    Q_CLASSINFO("help:ProgressMessage", "Raised at each step of a transfer")
    Q_CLASSINFO("help:AdWindowClosed", "Raised when the Orvane Ad Window has closed")

public:
    // Without a container the control behaves as in a plain Qt host (run time).
    explicit Orvane(Container *container = nullptr, QObject *parent = nullptr);
    ~Orvane() override;

    // Lifecycle driven by the host. The methods are invokable through the
    // meta-object system for hosts that create the control by class id.
    Q_INVOKABLE void InitProperties();
    void ReadProperties(const PropertyBag &bag);
    void WriteProperties(PropertyBag &bag) const;
    /// The same, for hosts that reach the control through the meta-object
    /// system (a bag made by the class factory's "Orvane.PropertyBag").
    Q_INVOKABLE void ReadProperties(orvane::PropertyBagObject *bag);
    Q_INVOKABLE void WriteProperties(orvane::PropertyBagObject *bag) const;
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
    // every access.
    bool Personalized() const;
    short AgeRange() const;
    void setAgeRange(short value);
    QString CountryCode() const;
    void setCountryCode(const QString &value);
    QString Gender() const;
    void setGender(const QString &value);
    QString PostalCode() const;
    void setPostalCode(const QString &value);
    short Rating() const;
    void setRating(short value);

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
