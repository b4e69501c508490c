#pragma once

#include <QString>

#include <cstdint>

namespace orvane {

// The usage statistic of one advertisement since the last report: plain
// properties, no validation.
class OVAdStat
{
public:
    QString AdIdGUIDString() const { return m_adIdGUIDString; }
    void setAdIdGUIDString(const QString &value) { m_adIdGUIDString = value; }
    int16_t ViewCount() const { return m_viewCount; }
    void setViewCount(int16_t value) { m_viewCount = value; }
    int16_t ClickCount() const { return m_clickCount; }
    void setClickCount(int16_t value) { m_clickCount = value; }
    // OLE Automation date.
    double LastViewTime() const { return m_lastViewTime; }
    void setLastViewTime(double value) { m_lastViewTime = value; }

private:
    QString m_adIdGUIDString;
    int16_t m_viewCount = 0;
    int16_t m_clickCount = 0;
    double m_lastViewTime = 0.0;
};

} // namespace orvane
