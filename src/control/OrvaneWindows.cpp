#include <orvane/Orvane.h>

#include "catalogue/OVCommercials.h"
#include "control/OrvanePrivate.h"
#include "personalization/OVUser.h"
#include "personalization/frmRegister.h"
#include "support/ErrorHandler.h"
#include "support/WholeNumber.h"
#include "window/frmAdDisplayer.h"

#include <QPointer>

namespace orvane {

short Orvane::Show(short ShowMode)
{
    if (!d->Enabled)
        return short(d->LastError = orvControlDisabled);
    if (frmAdDisplayer::AdWindowInstance())
        return short(d->LastError = orvFormAlreadyShown);
    if (ShowMode != 1)
        return short(d->LastError = orvInvalidShowMode);
    ErrorHandler handler(QStringLiteral("OVSocketClient.show"));
    handler.step([&] { d->commercials(); });
    if (!d->Commercials)
        return orvSuccess;
    d->ShowMode = ShowMode;
    // Each step runs on its own: a failing one is logged and the next runs.
    frmAdDisplayer window;
    handler.step([&] { window.setCommercials(d->Commercials); });
    handler.step([&] { window.setParentControl(this); });
    handler.step([&] {
        window.setWindowTitle(d->Text);
        window.setDescription(d->Text);
        window.Form_Load();
    });
    handler.step([&] { window.setIcon(d->Icon); });
    handler.step([&] { window.DisplayNextAds(); });
    handler.step([&] { window.exec(); });
    // However the modal loop ended (closed, the application quitting), the
    // window unloads once before it goes.
    handler.step([&] { window.unload(); });
    return orvSuccess;
}

short Orvane::Hide()
{
    if (!d->Enabled)
        return short(d->LastError = orvControlDisabled);
    if (d->ShowMode == 1)
        return short(d->LastError = orvError);
    if (frmAdDisplayer *window = frmAdDisplayer::AdWindowInstance())
        window->close();
    return orvSuccess;
}

short Orvane::ShowPersonalizationForm()
{
    if (!d->Enabled) {
        d->LastError = orvControlDisabled;
    } else if (d->TransferInProgress) {
        d->LastError = orvTransferInProgress;
    } else if (!frmAdDisplayer::AdWindowInstance()) {
        QPointer<Orvane> alive(this);
        guarded(QStringLiteral("OVSocketClient.ShowPersonalizationForm"), [] {
            frmRegister form;
            form.exec();
        });
        // The host may have ended the control while the form was open.
        if (!alive)
            return orvSuccess;
        d->LastError = orvSuccess;
    } else {
        d->LastError = orvFormAlreadyShown;
    }
    return short(d->LastError);
}

bool Orvane::Personalized() const
{
    bool result = false;
    guarded(QStringLiteral("OVSocketClient.Personalized"), [&] {
        OVUser user;
        user.Load();
        result = user.Personalized();
    });
    return result;
}

namespace {
template <typename T, typename Get>
T readUser(const char *source, Get get)
{
    T value {};
    guarded(QStringLiteral("OVSocketClient") + QLatin1String(source), [&] {
        OVUser user;
        user.Load();
        value = get(user);
    });
    return value;
}

template <typename Set>
void writeUser(const char *source, Set set)
{
    guarded(QStringLiteral("OVSocketClient") + QLatin1String(source), [&] {
        OVUser user;
        user.Load();
        set(user);
        user.Save(false);
    });
}

// The two 16-bit properties: a value beyond 16 bits is an overflow before the
// store is touched, never a wrapped number.
void writeNumber(const char *source, int value, void (OVUser::*set)(int32_t))
{
    guarded(QStringLiteral("OVSocketClient") + QLatin1String(source), [&] {
        const int16_t number = narrowed(value);
        OVUser user;
        user.Load();
        (user.*set)(number);
        user.Save(false);
    });
}
} // namespace

short Orvane::AgeRange() const
{
    return readUser<short>("GetAgeRange", [](const OVUser &u) { return narrowed(u.AgeRange()); });
}
void Orvane::setAgeRange(short value)
{
    setAgeRange(int(value));
}
void Orvane::setAgeRange(int value)
{
    writeNumber("SetAgeRange", value, &OVUser::setAgeRange);
}
QString Orvane::CountryCode() const
{
    return readUser<QString>("GetCountryCode", [](const OVUser &u) { return u.CountryCode(); });
}
void Orvane::setCountryCode(const QString &value)
{
    writeUser("SetCountryCode", [&value](OVUser &u) { u.setCountryCode(value); });
}
QString Orvane::Gender() const
{
    return readUser<QString>("GetGender", [](const OVUser &u) { return u.Gender(); });
}
void Orvane::setGender(const QString &value)
{
    writeUser("SetGender", [&value](OVUser &u) { u.setGender(value); });
}
QString Orvane::PostalCode() const
{
    return readUser<QString>("GetPostalCode", [](const OVUser &u) { return u.PostalCode(); });
}
void Orvane::setPostalCode(const QString &value)
{
    writeUser("SetPostalCode", [&value](OVUser &u) { u.setPostalCode(value); });
}
short Orvane::Rating() const
{
    return readUser<short>("GetRating", [](const OVUser &u) { return narrowed(u.Rating()); });
}
void Orvane::setRating(short value)
{
    setRating(int(value));
}
void Orvane::setRating(int value)
{
    writeNumber("SetRating", value, &OVUser::setRating);
}

} // namespace orvane
