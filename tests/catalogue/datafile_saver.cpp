// Saves a catalogue of RECORDS records in FOLDER over and over, printing the
// number of every save that completed, until it is killed.
#include "catalogue/OVCommercials.h"

#include <QCoreApplication>

#include <cstdio>

using namespace orvane;

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
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
