#pragma once

#include <QString>

#include <cstdint>

namespace orvane {

// An advertiser's name.
class OVAdvertiser
{
public:
    // Stored with leading and trailing spaces removed.
    QString Name() const { return m_name; }
    void setName(const QString &value);

private:
    QString m_name;
};

} // namespace orvane
