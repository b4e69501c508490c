#pragma once

#include "catalogue/OVAdvertisement.h"
#include "catalogue/OVCommercials.h"
#include "personalization/OVUser.h"

#include <QColor>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include <memory>

// A catalogue in a temporary folder, with drawn images of the ad sizes.
struct WindowFixture
{
    QTemporaryDir home;
    std::shared_ptr<orvane::OVCommercials> catalogue = std::make_shared<orvane::OVCommercials>();

    WindowFixture()
    {
        qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config")).toLocal8Bit());
        qputenv("XDG_STATE_HOME", home.filePath(QStringLiteral("state")).toLocal8Bit());
        QDir().mkpath(home.filePath(QStringLiteral("images")));
        catalogue->LoadAdInfoFromLocalStorage(home.path(), home.filePath(QStringLiteral("images")));
        orvane::OVUser().Save(true);
    }

    static QSize pixels(int size)
    {
        switch (size) {
        case 2: return {600, 280};
        case 1: return {600, 140};
        case 3: return {300, 280};
        default: return {300, 140};
        }
    }

    // A record of the size whose image is one of `images` files drawn per
    // size, so that large catalogues share a few hundred files.
    void addSharing(int n, int size, int images)
    {
        const QString file = QStringLiteral("shared%1_%2.png").arg(size).arg(n % images);
        if (!QFile::exists(home.filePath(QStringLiteral("images/") + file)))
            draw(n, size, QString::number(n % images), file);
        addRecord(n, size, file);
    }

    void add(int n, int size, const QString &label)
    {
        const QString file = QStringLiteral("ad%1.png").arg(n);
        draw(n, size, label, file);
        addRecord(n, size, file);
    }

    void draw(int n, int size, const QString &label, const QString &file)
    {
        const QSize px = pixels(size);
        QImage image(px, QImage::Format_RGB32);
        image.fill(QColor::fromHsv((n * 47) % 360, 140, 190));
        QPainter p(&image);
        p.setPen(Qt::white);
        QFont f = p.font();
        f.setPixelSize(px.height() / 5);
        p.setFont(f);
        p.drawText(image.rect(), Qt::AlignCenter, label);
        p.end();
        image.save(home.filePath(QStringLiteral("images/") + file));
    }

    void addRecord(int n, int size, const QString &file)
    {
        auto ad = std::make_shared<orvane::OVAdvertisement>();
        ad->setAdGUID(QStringLiteral("{%1-0000-4000-8000-000000000000}").arg(n, 8, 10, QLatin1Char('0')));
        ad->setSize(size);
        ad->setRating(20);
        ad->setExpirationDate(80000.0);
        ad->setImageFileName(file);
        ad->setClickURL(QStringLiteral("https://example.com/%1").arg(n));
        catalogue->AddAdvertisement(ad);
    }
};
