#include "personalization/OVUser.h"

#include "platform/Clock.h"
#include "support/ErrorHandler.h"
#include "support/OVRegistryHelpers.h"
#include "support/TrimSpaces.h"

#include <QRegularExpression>

#include <cmath>
#include <limits>

namespace orvane {

using namespace OVRegistryHelpers;

namespace {
struct FieldNames
{
    const char16_t *value;
    const char16_t *stamp;
};
// In the order Save writes them: rating, age range, gender, postal code, country code.
constexpr FieldNames kNames[] = {
    {u"Rating", u"RatingUpdated"},
    {u"AgeRange", u"AgeRangeUpdated"},
    {u"Gender", u"GenderUpdated"},
    {u"PostalCode", u"PostalCodeUpdated"},
    {u"CountryCode", u"CountryCodeUpdated"},
};

QString name(const char16_t *text)
{
    return QString::fromUtf16(text);
}

bool stampPresent(const char16_t *stampName)
{
    return !ReadSettingsValue(HKEY_CURRENT_USER, kDemographicsKey, name(stampName)).toString().isEmpty();
}
} // namespace

void OVUser::markChanged(Field field)
{
    if (!m_loading)
        m_changed[field] = true;
}

void OVUser::setRating(int32_t value)
{
    m_rating = value;
    markChanged(RatingField);
}

void OVUser::setAgeRange(int32_t value)
{
    m_ageRange = value;
    markChanged(AgeRangeField);
}

void OVUser::setGender(const QString &value)
{
    m_gender = trimSpaces(value);
    markChanged(GenderField);
}

void OVUser::setPostalCode(const QString &value)
{
    m_postalCode = trimSpaces(value);
    markChanged(PostalCodeField);
}

void OVUser::setCountryCode(const QString &value)
{
    m_countryCode = trimSpaces(value);
    markChanged(CountryCodeField);
}

bool OVUser::Personalized() const
{
    // Always all five, in the order rating, age range, postal code, country code, gender.
    bool result = true;
    for (const char16_t *stamp : {kNames[RatingField].stamp, kNames[AgeRangeField].stamp, kNames[PostalCodeField].stamp,
             kNames[CountryCodeField].stamp, kNames[GenderField].stamp}) {
        bool present = false;
        guarded(QStringLiteral("OVConnect.Personalized"), [&] { present = stampPresent(stamp); });
        result = result && present;
    }
    return result;
}

void OVUser::Save(bool ForceSaveAllValues)
{
    ErrorHandler handler(QStringLiteral("OVConnect.Save"));
    handler.step([] { CreateSettingsKey(kDemographicsKey, HKEY_CURRENT_USER); });
    QString stamp;
    handler.step([&] { stamp = platform::Clock::instance().localNow().toString(QStringLiteral("MM/dd/yy HH:mm:ss")); });
    const QString values[FieldCount]
        = {QString::number(m_rating), QString::number(m_ageRange), m_gender, m_postalCode, m_countryCode};
    for (int field = 0; field < FieldCount; ++field) {
        if (!ForceSaveAllValues && !m_changed[field])
            continue;
        handler.step([&] {
            WriteSettingsValue(HKEY_CURRENT_USER, kDemographicsKey, name(kNames[field].value), values[field], REG_SZ);
        });
        handler.step(
            [&] { WriteSettingsValue(HKEY_CURRENT_USER, kDemographicsKey, name(kNames[field].stamp), stamp, REG_SZ); });
        m_changed[field] = false;
    }
}

void OVUser::Load()
{
    ErrorHandler handler(QStringLiteral("OVConnect.Load"));
    m_loading = true;
    auto read = [](const char16_t *valueName, const QString &defaultValue) {
        return ReadSettingsValueOrDefault(HKEY_CURRENT_USER, kDemographicsKey, name(valueName), defaultValue)
            .toString();
    };
    const QString zero = QStringLiteral("0");
    handler.step([&] { setAgeRange(parseStoredNumber(read(kNames[AgeRangeField].value, zero))); });
    handler.step([&] { setGender(read(kNames[GenderField].value, QString())); });
    handler.step([&] { setPostalCode(read(kNames[PostalCodeField].value, QString())); });
    handler.step([&] { setCountryCode(read(kNames[CountryCodeField].value, QString())); });
    handler.step([&] { setRating(parseStoredNumber(read(kNames[RatingField].value, zero))); });
    m_loading = false;
}

int32_t OVUser::parseStoredNumber(const QString &text)
{
    static const QRegularExpression leading(QStringLiteral("^\\s*([+-]?(?:\\d+\\.?\\d*|\\.\\d+)(?:[eE][+-]?\\d+)?)"));
    const QRegularExpressionMatch match = leading.match(text);
    if (!match.hasMatch())
        return 0;
    const double value = match.captured(1).toDouble();
    if (!std::isfinite(value) || value >= 2147483647.5 || value < -2147483648.5)
        raiseFault(FaultOverflow);
    return static_cast<int32_t>(std::nearbyint(value)); // default rounding mode: halves to even
}

} // namespace orvane
