#pragma once

#include <QString>

#include <cstdint>

namespace orvane {

// The user's optional demographics, kept in the Demographics key of the
// settings store with a time stamp per field. Instances share only the store.
class OVUser
{
public:
    int32_t Rating() const { return m_rating; }
    void setRating(int32_t value);
    int32_t AgeRange() const { return m_ageRange; }
    void setAgeRange(int32_t value);
    QString Gender() const { return m_gender; }
    void setGender(const QString &value);
    QString PostalCode() const { return m_postalCode; }
    void setPostalCode(const QString &value);
    QString CountryCode() const { return m_countryCode; }
    void setCountryCode(const QString &value);

    // True when all five time stamps are present in the store (read each call).
    bool Personalized() const;

    void Save(bool ForceSaveAllValues = false);
    void Load();

    bool isLoading() const { return m_loading; }

    // The leading number of a stored text, to the nearest whole number with
    // halves to even; 0 when the text does not start with a number.
    static int32_t parseStoredNumber(const QString &text);

private:
    enum Field { RatingField, AgeRangeField, GenderField, PostalCodeField, CountryCodeField, FieldCount };
    void markChanged(Field field);

    int32_t m_ageRange = 0;
    QString m_gender;
    QString m_postalCode;
    QString m_countryCode;
    int32_t m_rating = 0;
    bool m_changed[FieldCount] = {};
    bool m_loading = false;
};

} // namespace orvane
