#pragma once

#include <orvane/AdListing.h>
#include <orvane/Container.h>
#include <orvane/PropertyBag.h>
#include <orvane/PropertyBagObject.h>
#include <orvane/ResultCodes.h>
#include <orvane/orvane_export.h>

#include <QImage>
#include <QList>
#include <QObject>
#include <QString>

#include <memory>

namespace orvane {

class OrvanePrivate;

/// The embeddable ad-client control. Create it on the host's UI thread, restore
/// it with ReadProperties (or InitProperties for a new placement), and listen to
/// its signals. No exception ever leaves it: refusals come back as result codes
/// (ResultCode) and in LastError.
class ORVANE_EXPORT Orvane : public QObject
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
    // Written by name as whole numbers, so that a value beyond 16 bits is
    // refused by the setter instead of wrapping on the way in.
    Q_PROPERTY(int AgeRange READ AgeRange WRITE setAgeRange)
    Q_PROPERTY(QString CountryCode READ CountryCode WRITE setCountryCode)
    Q_PROPERTY(QString Gender READ Gender WRITE setGender)
    Q_PROPERTY(QString PostalCode READ PostalCode WRITE setPostalCode)
    Q_PROPERTY(int Rating READ Rating WRITE setRating)
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
    /// A control in @p container; without one it behaves as in a plain Qt
    /// host (always at run time). The container must outlive the control.
    explicit Orvane(Container *container = nullptr, QObject *parent = nullptr);
    /// Releases the catalogue and the usage report.
    ~Orvane() override;

    /// A new placement: changes nothing, so the control starts disabled with
    /// empty server settings.
    Q_INVOKABLE void InitProperties();
    /// Restores the saved properties from @p bag, each through its setter.
    void ReadProperties(const PropertyBag &bag);
    /// Saves the properties into @p bag ("Enabled", "Icon", "Text",
    /// "ProductGUID", "ImageFolder", "DataFolder", "RemoteHost", "RemotePort").
    void WriteProperties(PropertyBag &bag) const;
    /// The same, for hosts that reach the control through the meta-object
    /// system (a bag made by the class factory's "Orvane.PropertyBag").
    Q_INVOKABLE void ReadProperties(orvane::PropertyBagObject *bag);
    /// Saves the properties into a bag made by the class factory.
    Q_INVOKABLE void WriteProperties(orvane::PropertyBagObject *bag) const;
    /// The container asks for a size; the face always snaps back to
    /// kFaceSizeTwips x kFaceSizeTwips.
    Q_INVOKABLE void Resize(int widthTwips, int heightTwips);

    /// The control's version as "major.minor.patch" (ORVANE_VERSION_STR).
    QString Version() const;
    /// The result code of the last failing operation.
    short LastError() const;

    /// The folder that holds the ad image files.
    QString ImageFolder() const;
    /// Sets the image folder (stored unchanged; checked when it is used).
    void setImageFolder(const QString &value);
    /// The folder that holds the local ad data file.
    QString DataFolder() const;
    /// Sets the data folder (stored unchanged; checked when it is used).
    void setDataFolder(const QString &value);
    /// The ad server's IP address or host name.
    QString RemoteHost() const;
    /// Sets the ad server's address (stored unchanged).
    void setRemoteHost(const QString &value);
    /// The ad server's TCP port, as text.
    QString RemotePort() const;
    /// Sets the ad server's port (stored unchanged).
    void setRemotePort(const QString &value);
    /// The master switch: while false, Show, Hide, StartTransfer and
    /// ShowPersonalizationForm refuse with orvControlDisabled.
    bool Enabled() const;
    /// Turns the control on or off.
    void setEnabled(bool value);
    /// The product identifier sent to the ad server ("{...}", 38 characters).
    QString ProductGUID() const;
    /// Sets the product identifier (checked when a transfer starts).
    void setProductGUID(const QString &value);
    /// The icon shown at the upper left of the ad window; null for none.
    QImage Icon() const;
    /// Sets the icon; an open ad window shows it at once.
    void setIcon(const QImage &value);
    /// The description shown in the ad window.
    QString Text() const;
    /// Sets the description; an open ad window shows it at once.
    void setText(const QString &value);
    /// True from the start of an exchange until its end.
    bool TransferInProgress() const;

    /// The display text of the result code @p errorCode (ResultCodeText);
    /// works while the control is disabled and leaves LastError alone.
    Q_INVOKABLE QString GetResultString(short errorCode) const;

    /// Starts an exchange with the ad server and returns at once: 0 when
    /// started, otherwise the refusal's result code. TransferComplete tells
    /// the end.
    Q_INVOKABLE short StartTransfer();
    /// Runs an exchange and waits, dispatching the thread's events, until it
    /// has ended (0), its time-out has passed (orvTransferTimedOut) or it did
    /// not start (orvError).
    Q_INVOKABLE short Transfer();

    /// Opens the ad window (modal) and returns when the user has closed it.
    /// @p ShowMode must be 1 (orvInvalidShowMode otherwise).
    Q_INVOKABLE short Show(short ShowMode = 1);
    /// Closes the ad window.
    Q_INVOKABLE short Hide();
    /// Opens the personalization form (modal) for the user's demographics.
    Q_INVOKABLE short ShowPersonalizationForm();

    /// Whether the user has stated demographics. The demographics below are
    /// read from and written to the settings store on every access.
    bool Personalized() const;
    /// The user's age range (an OrvAgeRange value).
    short AgeRange() const;
    /// Stores the user's age range.
    void setAgeRange(short value);
    /// Stores the user's age range given as a whole number (setting the
    /// property by name comes here): one beyond 16 bits is refused as an
    /// overflow, logged, and nothing is stored; it never wraps.
    void setAgeRange(int value);
    /// The user's country code.
    QString CountryCode() const;
    /// Stores the user's country code.
    void setCountryCode(const QString &value);
    /// The user's gender ("M", "F" or empty).
    QString Gender() const;
    /// Stores the user's gender.
    void setGender(const QString &value);
    /// The user's postal code.
    QString PostalCode() const;
    /// Stores the user's postal code.
    void setPostalCode(const QString &value);
    /// The content rating the user asks for (an OrvRating value).
    short Rating() const;
    /// Stores the content rating the user asks for.
    void setRating(short value);
    /// Stores the rating given as a whole number; refused beyond 16 bits, as
    /// setAgeRange(int).
    void setRating(int value);

    /// The ads of the local catalogue, loaded from the data file on first need.
    QList<AdListing> AdList() const;

    /// The size of the control's face on a form in a design environment, in
    /// twips (75 pixels at 15 twips a pixel).
    static constexpr int kFaceSizeTwips = 1125;

Q_SIGNALS:
    /// An exchange has ended, successfully or not.
    void TransferComplete(bool Success);
    /// A progress text of the running exchange.
    void ProgressMessage(const QString &Message);
    /// The ad window has closed.
    void AdWindowClosed();

private:
    friend class OrvanePrivate;
    std::unique_ptr<OrvanePrivate> d;
};

} // namespace orvane
