// Saves a catalogue of RECORDS records in FOLDER over and over, printing the
// number of every save that completed, until it is killed. With --check (used
// by scripts/stress-datafile) it loads what a killed saver left and prints
// "ok VIEWS BACKUP TEMPORARIES" or "bad REASON".
#include "catalogue/OVCommercials.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdio>

using namespace orvane;

namespace {
// The views every record of the file holds, or -1 when they differ or the
// file has not `records` records. Loaded from a copy: a load may rotate files.
int loadedViews(const QString &folder, const QString &name, int records)
{
    const QString path = folder + QStringLiteral("/check");
    QDir().mkpath(path);
    QFile::remove(path + QStringLiteral("/OVImage.dat"));
    if (!QFile::copy(folder + u'/' + name, path + QStringLiteral("/OVImage.dat")))
        return -1;
    OVCommercials loaded;
    loaded.LoadAdInfoFromLocalStorage(path, path);
    const int views = loaded.AdCount() == records ? loaded.Ad(1)->ViewCount() : -1;
    for (const auto &ad : loaded.Ads())
        if (ad->ViewCount() != views)
            return -1;
    return views;
}

int check(const QString &folder, int records)
{
    const int views = loadedViews(folder, QStringLiteral("OVImage.dat"), records);
    const bool hasBackup = QFile::exists(folder + QStringLiteral("/OVImage.bak"));
    const int backupViews = hasBackup ? loadedViews(folder, QStringLiteral("OVImage.bak"), records) : 0;
    const auto temporaries
        = QDir(folder).entryList({QStringLiteral(".OVImage.*.??????.tmp")}, QDir::Files | QDir::Hidden).size();
    if (views < 0 || backupViews < 0)
        std::printf("bad %s\n", views < 0 ? "data file" : "backup");
    else
        std::printf("ok %d %d %lld\n", views, int(hasBackup), qlonglong(temporaries));
    return 0;
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 4 && QByteArray(argv[1]) == "--check")
        return check(QString::fromLocal8Bit(argv[2]), atoi(argv[3]));
    if (argc != 3)
        return 2;
    const QString folder = QString::fromLocal8Bit(argv[1]);
    OVCommercials catalogue;
    catalogue.LoadAdInfoFromLocalStorage(folder, folder);
    catalogue.ClearAds();
    for (int n = 0; n < atoi(argv[2]); ++n) {
        auto ad = std::make_shared<OVAdvertisement>();
        ad->setAdGUID(QStringLiteral("{00000000-0000-0000-0000-%1}").arg(n, 12, 10, QLatin1Char('0')));
        catalogue.AddAdvertisement(ad);
    }
    for (int16_t i = 1;; i = i == 32767 ? 1 : i + 1) {
        for (const auto &ad : catalogue.Ads())
            ad->setViewCount(i);
        if (catalogue.SaveAdInfoToLocalStorage() && !catalogue.SavePending())
            std::printf("%d\n", i);
        else
            std::printf("failed\n");
        std::fflush(stdout);
    }
}
