#include "Campaign.h"

#include "platform/ImageLimits.h"
#include "support/Ansi.h"
#include "support/OleDate.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>

namespace orvane::adserver {

namespace {

const QStringList kFields = {
    QStringLiteral("AdGUID"),
    QStringLiteral("AdvertiserGUID"),
    QStringLiteral("ClickURL"),
    QStringLiteral("ExpirationDate"),
    QStringLiteral("Size"),
    QStringLiteral("Rating"),
    QStringLiteral("ImageFormat"),
    QStringLiteral("ImageFileName"),
};

bool isAnsiText(const QString &text)
{
    for (QChar c : text) {
        if (c.unicode() == 0 || !Ansi::fromChar(c))
            return false;
    }
    return true;
}

// Relative, '/' separated, plain characters, no empty, "." or ".." segment.
bool isSafeRelativeName(const QString &name)
{
    static const QRegularExpression segment(QStringLiteral("^[A-Za-z0-9_][A-Za-z0-9._-]*$"));
    if (name.isEmpty() || name.size() > 255)
        return false;
    const QStringList parts = name.split(QLatin1Char('/'));
    for (const QString &part : parts) {
        if (!segment.match(part).hasMatch() || part == QLatin1String(".."))
            return false;
    }
    return true;
}

// The format the bytes say they are in (0 when none of ours).
int sniffImageFormat(const QByteArray &b)
{
    if (b.startsWith("GIF87a") || b.startsWith("GIF89a"))
        return ImageFormatGif;
    if (b.startsWith("\xFF\xD8\xFF"))
        return ImageFormatJpeg;
    if (b.startsWith("\x89PNG\r\n\x1A\n"))
        return ImageFormatPng;
    if (b.startsWith("BM"))
        return ImageFormatBmp;
    return 0;
}

QByteArray contentTypeOf(int format)
{
    switch (format) {
    case ImageFormatGif: return QByteArrayLiteral("image/gif");
    case ImageFormatJpeg: return QByteArrayLiteral("image/jpeg");
    case ImageFormatPng: return QByteArrayLiteral("image/png");
    case ImageFormatBmp: return QByteArrayLiteral("image/bmp");
    default: return QByteArrayLiteral("application/octet-stream");
    }
}

// "YYYY-MM-DD" is the end of that day; "YYYY-MM-DDTHH:MM[:SS]" is that moment; local time.
std::optional<double> parseExpiration(const QString &text)
{
    const QDate date = QDate::fromString(text, Qt::ISODate);
    if (date.isValid() && text.size() == 10)
        return OleDate::fromDateTime(QDateTime(date, QTime(23, 59, 59)));
    const QDateTime moment = QDateTime::fromString(text, Qt::ISODate);
    if (moment.isValid() && moment.timeSpec() == Qt::LocalTime)
        return OleDate::fromDateTime(moment);
    return std::nullopt;
}

// Width and height from the image's header, without decoding a pixel.
QSize imageSize(const QByteArray &bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    return reader.size();
}

} // namespace

bool Campaign::isGuidText(const QString &text)
{
    static const QRegularExpression guid(
        QStringLiteral("^\\{[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12}\\}$"));
    return guid.match(text).hasMatch();
}

bool Campaign::hasAd(const QString &adGuid) const
{
    return m_adGuids.contains(adGuid.toUpper());
}

QSize Campaign::pixelSize(int sizeCode)
{
    switch (sizeCode) {
    case 2: return {600, 280}; // Full
    case 1: return {600, 140}; // 1/2 Horizontal
    case 3: return {300, 280}; // 1/2 Vertical
    case 6: return {300, 140}; // 1/4 Horizontal
    default: return {};
    }
}

const CampaignImage *Campaign::image(const QString &fileName) const
{
    const auto it = m_images.constFind(fileName);
    return it == m_images.cend() ? nullptr : &it.value();
}

std::optional<Campaign> Campaign::load(const QString &folder, QString *error)
{
    auto refuse = [error](const QString &why) {
        if (error)
            *error = why;
        return std::nullopt;
    };

    const QFileInfo folderInfo(folder);
    if (!folderInfo.isDir())
        return refuse(QStringLiteral("campaign folder %1 does not exist").arg(folder));
    const QString root = folderInfo.canonicalFilePath();
    const QString jsonPath = root + QStringLiteral("/campaign.json");
    QFile file(jsonPath);
    if (!file.open(QIODevice::ReadOnly))
        return refuse(QStringLiteral("cannot read %1: %2").arg(jsonPath, file.errorString()));
    if (file.size() > 4 * 1024 * 1024)
        return refuse(QStringLiteral("%1 is too large").arg(jsonPath));
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return refuse(
            QStringLiteral("%1: %2 at offset %3").arg(jsonPath, parseError.errorString()).arg(parseError.offset));
    if (!doc.isObject() || !doc.object().value(QLatin1String("ads")).isArray())
        return refuse(QStringLiteral("%1: expected an object with an \"ads\" array").arg(jsonPath));

    Campaign campaign;
    campaign.m_folder = root;
    // Unknown fields are noted, not refused, so that a campaign written for a
    // later server still loads here.
    const QJsonObject top = doc.object();
    for (auto it = top.begin(); it != top.end(); ++it) {
        if (it.key() != QLatin1String("ads"))
            campaign.m_notes.append(QStringLiteral("campaign.json: unknown field \"%1\"").arg(it.key().left(60)));
    }
    QSet<QString> guids;
    QHash<QString, QString> localNames; // the client keeps only the last part of a name
    const QJsonArray ads = doc.object().value(QLatin1String("ads")).toArray();
    for (qsizetype i = 0; i < ads.size(); ++i) {
        const QString where = QStringLiteral("campaign.json: ad %1").arg(i + 1);
        if (!ads[i].isObject())
            return refuse(where + QStringLiteral(": not an object"));
        const QJsonObject o = ads[i].toObject();
        const QString name = where
            + (o.value(QLatin1String("AdGUID")).isString()
                    ? QStringLiteral(" (%1)").arg(o.value(QLatin1String("AdGUID")).toString().left(60))
                    : QString());
        for (auto it = o.begin(); it != o.end(); ++it) {
            if (!kFields.contains(it.key()))
                campaign.m_notes.append(name + QStringLiteral(": unknown field \"%1\"").arg(it.key().left(60)));
        }
        for (const QString &field : kFields) {
            if (!o.contains(field))
                return refuse(name + QStringLiteral(": missing %1").arg(field));
        }
        auto text = [&](const QString &field, QString *out) -> bool {
            const QJsonValue v = o.value(field);
            if (!v.isString())
                return false;
            *out = v.toString();
            return out->size() <= kMaxTextLength && isAnsiText(*out) && *out == out->trimmed();
        };
        auto number = [&](const QString &field, int *out) -> bool {
            const QJsonValue v = o.value(field);
            if (!v.isDouble() || v.toDouble() != double(v.toInt()))
                return false;
            *out = v.toInt();
            return true;
        };

        CampaignAd ad;
        QString expiration;
        if (!text(QStringLiteral("AdGUID"), &ad.adGuid) || !isGuidText(ad.adGuid))
            return refuse(name + QStringLiteral(": malformed AdGUID"));
        if (!text(QStringLiteral("AdvertiserGUID"), &ad.advertiserGuid) || !isGuidText(ad.advertiserGuid))
            return refuse(name + QStringLiteral(": malformed AdvertiserGUID"));
        if (guids.contains(ad.adGuid.toUpper()))
            return refuse(name + QStringLiteral(": AdGUID listed twice"));
        guids.insert(ad.adGuid.toUpper());
        if (!text(QStringLiteral("ClickURL"), &ad.clickUrl) || ad.clickUrl.isEmpty())
            return refuse(name + QStringLiteral(": malformed ClickURL"));
        if (!text(QStringLiteral("ExpirationDate"), &expiration))
            return refuse(name + QStringLiteral(": malformed ExpirationDate"));
        const std::optional<double> ole = parseExpiration(expiration);
        if (!ole)
            return refuse(name + QStringLiteral(": ExpirationDate is not an ISO date"));
        ad.expirationDate = *ole;
        if (!number(QStringLiteral("Size"), &ad.size) || (ad.size != 1 && ad.size != 2 && ad.size != 3 && ad.size != 6))
            return refuse(name + QStringLiteral(": Size must be 1, 2, 3 or 6"));
        if (!number(QStringLiteral("Rating"), &ad.rating) || (ad.rating != 0 && ad.rating != 10 && ad.rating != 20))
            return refuse(name + QStringLiteral(": Rating must be 0, 10 or 20"));
        if (!number(QStringLiteral("ImageFormat"), &ad.imageFormat) || ad.imageFormat < ImageFormatGif
            || ad.imageFormat > ImageFormatBmp)
            return refuse(name + QStringLiteral(": ImageFormat must be 1 (GIF), 2 (JPEG), 3 (PNG) or 4 (BMP)"));
        if (!text(QStringLiteral("ImageFileName"), &ad.imageFileName) || !isSafeRelativeName(ad.imageFileName))
            return refuse(name + QStringLiteral(": malformed ImageFileName"));

        const QString localName = ad.imageFileName.section(QLatin1Char('/'), -1);
        const auto clash = localNames.constFind(localName.toLower());
        if (clash != localNames.cend() && clash.value() != ad.imageFileName)
            return refuse(name
                + QStringLiteral(": ImageFileName %1 has the same file name as %2")
                      .arg(ad.imageFileName, clash.value()));
        localNames.insert(localName.toLower(), ad.imageFileName);

        if (!campaign.m_images.contains(ad.imageFileName)) {
            const QFileInfo info(root + QLatin1Char('/') + ad.imageFileName);
            const QString canonical = info.canonicalFilePath();
            if (!info.isFile() || canonical.isEmpty() || !canonical.startsWith(root + QLatin1Char('/')))
                return refuse(name + QStringLiteral(": image %1 is missing").arg(ad.imageFileName));
            QFile image(canonical);
            if (!image.open(QIODevice::ReadOnly))
                return refuse(name + QStringLiteral(": image %1 cannot be read").arg(ad.imageFileName));
            // Clients refuse larger images: offering one would only waste their transfers.
            if (image.size() > ImageLimits::kMaxImageBytes)
                return refuse(name
                    + QStringLiteral(": image %1 has %2 bytes, more than the %3 a client accepts")
                          .arg(ad.imageFileName)
                          .arg(image.size())
                          .arg(ImageLimits::kMaxImageBytes));
            CampaignImage entry;
            entry.bytes = image.readAll();
            const int format = sniffImageFormat(entry.bytes);
            if (format == 0)
                return refuse(name + QStringLiteral(": %1 is not a GIF, JPEG, PNG or BMP image").arg(ad.imageFileName));
            const QSize side = imageSize(entry.bytes);
            if (!side.isValid())
                return refuse(name + QStringLiteral(": the size of image %1 cannot be read").arg(ad.imageFileName));
            if (side.width() > ImageLimits::kMaxImageSide || side.height() > ImageLimits::kMaxImageSide)
                return refuse(name
                    + QStringLiteral(": image %1 is %2 x %3 pixels, more than the %4 a side a client accepts")
                          .arg(ad.imageFileName)
                          .arg(side.width())
                          .arg(side.height())
                          .arg(ImageLimits::kMaxImageSide));
            entry.contentType = contentTypeOf(format);
            entry.pixels = side;
            campaign.m_images.insert(ad.imageFileName, entry);
        }
        if (contentTypeOf(ad.imageFormat) != campaign.m_images.value(ad.imageFileName).contentType)
            return refuse(name
                + QStringLiteral(": ImageFormat %1 does not match the image %2")
                      .arg(ad.imageFormat)
                      .arg(ad.imageFileName));
        campaign.m_adGuids.insert(ad.adGuid.toUpper());
        campaign.m_ads.append(ad);
    }
    return campaign;
}

} // namespace orvane::adserver
