#include "SampleCampaign.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLinearGradient>
#include <QPainter>

namespace orvane::adserver {

namespace {
struct Sample
{
    const char *name;
    int size;
    int rating;
    QColor color;
};

// Pixel sizes of the size codes.
QSize pixels(int size)
{
    switch (size) {
    case 2: return {600, 280};
    case 1: return {600, 140};
    case 3: return {300, 280};
    default: return {300, 140};
    }
}
} // namespace

bool writeSampleCampaign(const QString &folder, QString *error)
{
    const Sample samples[] = {
        {"Harbour Coffee", 2, 20, QColor(0x8d, 0x5b, 0x3e)},
        {"Northwind Bikes", 2, 0, QColor(0x2e, 0x7d, 0x32)},
        {"Lumen Lamps", 1, 20, QColor(0xf9, 0xa8, 0x25)},
        {"Quill Notebooks", 1, 20, QColor(0x3f, 0x51, 0xb5)},
        {"Tidewater Tea", 1, 0, QColor(0x00, 0x83, 0x8f)},
        {"Peak Outdoor", 3, 20, QColor(0x6d, 0x4c, 0x41)},
        {"Nova Games", 3, 10, QColor(0x7b, 0x1f, 0xa2)},
        {"Orchard Juice", 3, 20, QColor(0xef, 0x6c, 0x00)},
        {"Cinder Grill", 6, 0, QColor(0xc6, 0x28, 0x28)},
        {"Pixel Print", 6, 20, QColor(0x37, 0x47, 0x4f)},
        {"Midnight Lounge", 6, 10, QColor(0x1a, 0x23, 0x7e)},
        {"Sunny Garden", 6, 20, QColor(0x55, 0x8b, 0x2f)},
    };
    if (!QDir().mkpath(folder + QStringLiteral("/images"))) {
        *error = QStringLiteral("cannot create %1").arg(folder);
        return false;
    }
    QJsonArray ads;
    int n = 0;
    for (const Sample &s : samples) {
        ++n;
        const QSize size = pixels(s.size);
        QImage image(size, QImage::Format_RGB32);
        QPainter p(&image);
        QLinearGradient gradient(0, 0, size.width(), size.height());
        gradient.setColorAt(0, s.color.lighter(130));
        gradient.setColorAt(1, s.color.darker(140));
        p.fillRect(image.rect(), gradient);
        p.setPen(QPen(Qt::white, 4));
        p.drawRect(image.rect().adjusted(6, 6, -7, -7));
        QFont font = p.font();
        font.setPixelSize(size.height() / 5);
        font.setBold(true);
        p.setFont(font);
        p.drawText(image.rect(), Qt::AlignCenter | Qt::TextWordWrap, QString::fromLatin1(s.name));
        p.end();
        const QString file = QStringLiteral("images/ad%1.png").arg(n, 2, 10, QLatin1Char('0'));
        if (!image.save(folder + u'/' + file, "PNG")) {
            *error = QStringLiteral("cannot write %1").arg(file);
            return false;
        }
        QJsonObject ad;
        ad.insert(
            QStringLiteral("AdGUID"), QStringLiteral("{0A000000-0000-4000-8000-%1}").arg(n, 12, 10, QLatin1Char('0')));
        ad.insert(QStringLiteral("AdvertiserGUID"),
            QStringLiteral("{0B000000-0000-4000-8000-%1}").arg(n, 12, 10, QLatin1Char('0')));
        ad.insert(QStringLiteral("ClickURL"), QStringLiteral("https://example.com/ads/%1").arg(n));
        ad.insert(QStringLiteral("ExpirationDate"), QDate::currentDate().addYears(1).toString(Qt::ISODate));
        ad.insert(QStringLiteral("Size"), s.size);
        ad.insert(QStringLiteral("Rating"), s.rating);
        ad.insert(QStringLiteral("ImageFormat"), 3);
        ad.insert(QStringLiteral("ImageFileName"), file);
        ads.append(ad);
    }
    QFile json(folder + QStringLiteral("/campaign.json"));
    if (!json.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        *error = json.errorString();
        return false;
    }
    json.write(QJsonDocument(QJsonObject {{QStringLiteral("ads"), ads}}).toJson());
    return true;
}

} // namespace orvane::adserver
