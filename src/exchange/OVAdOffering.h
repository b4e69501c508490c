#pragma once

#include <QString>

#include <cstdint>

namespace orvane {

// One advertisement offered by the ad server.
class OVAdOffering
{
public:
    // Stored with leading and trailing spaces removed.
    QString AdGUID() const { return m_adGUID; }
    void setAdGUID(const QString &value);
    QString AdvertiserGUID() const { return m_advertiserGUID; }
    void setAdvertiserGUID(const QString &value) { m_advertiserGUID = value; }
    // OLE Automation date.
    double ExpirationDate() const { return m_expirationDate; }
    void setExpirationDate(double value) { m_expirationDate = value; }
    QString ClickURL() const { return m_clickURL; }
    void setClickURL(const QString &value) { m_clickURL = value; }
    // Relative to the content update's BaseURL.
    QString ImageFileName() const { return m_imageFileName; }
    void setImageFileName(const QString &value) { m_imageFileName = value; }
    int32_t Size() const { return m_size; }
    void setSize(int32_t value) { m_size = value; }
    int32_t Rating() const { return m_rating; }
    void setRating(int32_t value) { m_rating = value; }
    int32_t ImageFormat() const { return m_imageFormat; }
    void setImageFormat(int32_t value) { m_imageFormat = value; }

    // Eight trace lines, one per property. Throws OVFault when the trace file
    // cannot be written.
    void DumpToTraceLog() const;

private:
    QString m_adGUID;
    QString m_advertiserGUID;
    double m_expirationDate = 0.0;
    QString m_clickURL;
    QString m_imageFileName;
    int32_t m_size = 0;
    int32_t m_rating = 0;
    int32_t m_imageFormat = 0;
};

} // namespace orvane
