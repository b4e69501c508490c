#pragma once

#include <QString>

#include <cstdint>

namespace orvane {

// An advertiser's id and name.
class OVAdvertiser
{
public:
    int32_t AdvertiserID() const { return m_advertiserID; }
    void setAdvertiserID(int32_t value) { m_advertiserID = value; }
    // Stored with leading and trailing spaces removed.
    QString Name() const { return m_name; }
    void setName(const QString &value);

private:
    int32_t m_advertiserID = 0;
    QString m_name;
};

} // namespace orvane
