// One of several programs on a data folder: ROUNDS rounds of a show (views
// and clicks counted and saved) or a transfer with such a show while it runs.
// Prints "counted VIEWS CLICKS": the counts whose save completed.
// usage: usage_counter DATA IMAGES PORT PRODUCT ROUNDS SEED
#include <orvane/Orvane.h>
#include <orvane/PropertyBag.h>

#include "catalogue/OVCommercials.h"

#include <QApplication>
#include <QRandomGenerator>

#include <cstdio>

using namespace orvane;

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 7)
        return 2;
    const QString data = args[1], images = args[2];
    QRandomGenerator random(args[6].toUInt());
    int views = 0, clicks = 0;
    const auto show = [&] {
        OVCommercials catalogue;
        catalogue.LoadAdInfoFromLocalStorage(data, images);
        if (catalogue.AdCount() == 0)
            return;
        int v = 0, c = 0;
        for (int i = 0; i < 3; ++i) {
            const auto ad = catalogue.Ad(int16_t(random.bounded(catalogue.AdCount()) + 1));
            ad->setViewCount(int16_t(ad->ViewCount() + 1));
            ++v;
            if (random.bounded(3) == 0) {
                ad->setClickCount(int16_t(ad->ClickCount() + 1));
                ++c;
            }
        }
        if (catalogue.SaveAdInfoToLocalStorage() && !catalogue.SavePending()) {
            views += v;
            clicks += c;
        }
    };
    for (int round = 0; round < args[5].toInt(); ++round) {
        if (random.bounded(2) == 0) {
            show();
            continue;
        }
        Orvane control;
        control.ReadProperties(MemoryPropertyBag());
        control.setRemoteHost(QStringLiteral("127.0.0.1"));
        control.setRemotePort(args[3]);
        control.setProductGUID(args[4]);
        control.setDataFolder(data);
        control.setImageFolder(images);
        QObject::connect(&control, &Orvane::ProgressMessage, [&](const QString &m) {
            if (m == QStringLiteral("Sending usage data"))
                show();
        });
        if (control.Transfer() != 0)
            return 1;
    }
    std::printf("counted %d %d\n", views, clicks);
    return 0;
}
