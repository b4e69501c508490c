#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>
#include <QSize>
#include <QString>
#include <QStringList>

#include <optional>

namespace orvane::adserver {

// Image format codes of a campaign's ads, as they travel in the content update.
enum ImageFormatCode : int { ImageFormatGif = 1, ImageFormatJpeg = 2, ImageFormatPng = 3, ImageFormatBmp = 4 };

// One ad on offer, as the campaign file states it.
struct CampaignAd
{
    QString adGuid;
    QString advertiserGuid;
    QString clickUrl;
    double expirationDate = 0; // OLE Automation date, local time: the last moment it may be shown
    int size = 0;
    int rating = 0;
    int imageFormat = 0;
    QString imageFileName; // relative to the campaign folder, '/' separated
};

struct CampaignImage
{
    QByteArray bytes;
    QByteArray contentType;
    QSize pixels;
};

// A campaign folder: campaign.json and the image files it names. Loading checks
// every entry and reads every image into memory, so a campaign that loads is
// served without touching the disk again.
class Campaign
{
public:
    static constexpr qsizetype kMaxTextLength = 1024;

    // The campaign, or nothing with a one-line reason in `error`.
    static std::optional<Campaign> load(const QString &folder, QString *error);

    const QString &folder() const { return m_folder; }
    const QList<CampaignAd> &ads() const { return m_ads; }
    // Whether an ad of this id is listed, whatever the case of its hex digits.
    bool hasAd(const QString &adGuid) const;
    // The image listed under exactly this name, or none.
    const CampaignImage *image(const QString &fileName) const;

    // What loading passed over without refusing: fields it does not know.
    const QStringList &notes() const { return m_notes; }

    static bool isGuidText(const QString &text);
    // Width and height in pixels of an ad size code; invalid for a code with no size.
    static QSize pixelSize(int sizeCode);

private:
    QString m_folder;
    QList<CampaignAd> m_ads;
    QSet<QString> m_adGuids; // upper case
    QHash<QString, CampaignImage> m_images;
    QStringList m_notes;
};

} // namespace orvane::adserver
