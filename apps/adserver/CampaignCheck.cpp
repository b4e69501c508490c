#include "CampaignCheck.h"

#include "support/OleDate.h"

#include <cstdio>

namespace orvane::adserver {

namespace {
// Control characters of a hostile campaign file must not reach the terminal.
QByteArray printable(const QString &text)
{
    QByteArray bytes = text.toUtf8();
    for (char &c : bytes) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = '?';
    }
    return bytes;
}
} // namespace

QStringList CampaignCheck::warnings(const Campaign &campaign, const QDateTime &now)
{
    QStringList out = campaign.notes();
    const double today = OleDate::fromDateTime(now);
    for (qsizetype i = 0; i < campaign.ads().size(); ++i) {
        const CampaignAd &ad = campaign.ads()[i];
        const QString name = QStringLiteral("campaign.json: ad %1 (%2)").arg(i + 1).arg(ad.adGuid);
        if (ad.expirationDate < today)
            out.append(name
                + QStringLiteral(": expired on %1, so it is not offered")
                      .arg(OleDate::toDateTime(ad.expirationDate).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))));
        const CampaignImage *image = campaign.image(ad.imageFileName);
        const QSize wanted = Campaign::pixelSize(ad.size);
        if (image && image->pixels != wanted)
            out.append(name
                + QStringLiteral(": image %1 is %2 x %3 pixels, while Size %4 is %5 x %6")
                      .arg(ad.imageFileName)
                      .arg(image->pixels.width())
                      .arg(image->pixels.height())
                      .arg(ad.size)
                      .arg(wanted.width())
                      .arg(wanted.height()));
    }
    return out;
}

int CampaignCheck::run(const QString &folder)
{
    QString error;
    const std::optional<Campaign> campaign = Campaign::load(folder, &error);
    if (!campaign) {
        std::fprintf(stderr, "error: %s\n", printable(error).constData());
        return 1;
    }
    const QStringList found = warnings(*campaign, QDateTime::currentDateTime());
    for (const QString &warning : found)
        std::printf("warning: %s\n", printable(warning).constData());
    std::printf("%s: %lld ads, %lld warnings\n", printable(campaign->folder()).constData(),
        static_cast<long long>(campaign->ads().size()), static_cast<long long>(found.size()));
    return 0;
}

} // namespace orvane::adserver
