// The data file's save and load against plain file writes and reads of the
// same number of bytes, and the random selection on a large catalogue.
#include <orvane/ResultCodes.h>

#include "../BenchHarness.h"
#include "catalogue/OVCommercials.h"
#include "personalization/OVUser.h"
#include "support/OleDate.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>

#include <cstdio>
#include <unistd.h>

using namespace orvane;

namespace {
void fill(OVCommercials &catalogue, int records)
{
    const double nextWeek = OleDate::fromDateTime(QDateTime::currentDateTime().addDays(7));
    for (int n = 0; n < records; ++n) {
        auto ad = std::make_shared<OVAdvertisement>();
        ad->setAdGUID(QStringLiteral("{00000000-0000-0000-0000-%1}").arg(n, 12, 10, QLatin1Char('0')));
        ad->setAdvertiserName(QStringLiteral("Advertiser %1").arg(n));
        ad->setClickURL(QStringLiteral("http://example.com/%1").arg(n));
        ad->setImageFileName(QStringLiteral("ad%1.gif").arg(n));
        ad->setExpirationDate(nextWeek);
        ad->setRating(20);
        ad->setSize(n % 2 ? 2 : 6);
        catalogue.AddAdvertisement(ad);
    }
}

void writePlain(const QString &path, const QByteArray &bytes, bool durable)
{
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(bytes);
    file.flush();
    if (durable)
        ::fsync(file.handle());
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    bench::Home home;
    const QString folder = home.filePath(QStringLiteral("data"));

    for (int records : {70, 1000}) {
        OVCommercials catalogue;
        fill(catalogue, records);
        catalogue.setDataFolder(folder);
        catalogue.SaveAdInfoToLocalStorage();
        const QString dat = folder + QStringLiteral("/OVImage.dat");
        QFile saved(dat);
        saved.open(QIODevice::ReadOnly);
        const QByteArray bytes = saved.readAll();
        saved.close();
        const QString plain = folder + QStringLiteral("/plain.bin");

        const double write = bench::nsPerRun([&] { writePlain(plain, bytes, false); });
        const double writeSync = bench::nsPerRun([&] { writePlain(plain, bytes, true); });
        const double copy = bench::nsPerRun([&] {
            QFile::remove(plain);
            QFile::copy(dat, plain);
        });
        const double save = bench::nsPerRun([&] { keep(catalogue.SaveAdInfoToLocalStorage()); });
        const double read = bench::nsPerRun([&] {
            QFile file(dat);
            file.open(QIODevice::ReadOnly);
            keep(file.readAll());
        });
        const double load = bench::nsPerRun([&] {
            OVCommercials loaded;
            loaded.LoadAdInfoFromLocalStorage(folder, folder);
            keep(loaded.AdCount());
        });

        std::printf("%d records, %lld bytes\n", records, static_cast<long long>(bytes.size()));
        bench::report("  plain write (baseline)", write, write);
        bench::report("  plain write + fsync", writeSync, write);
        bench::report("  plain file copy", copy, write);
        bench::report("  SaveAdInfoToLocalStorage", save, write);
        bench::report("  SaveAdInfoToLocalStorage vs write + fsync", save, writeSync);
        bench::report("  plain read (baseline)", read, read);
        bench::report("  LoadAdInfoFromLocalStorage", load, read);
    }

    OVCommercials catalogue;
    fill(catalogue, 1000);
    const double userLoad = bench::nsPerRun([] {
        OVUser user;
        user.Load();
        keep(user.Rating());
    });
    const double any = bench::nsPerRun([&] { keep(catalogue.GetUnusedRandomAd(2, true, orvane::UnspecifiedRating)); });
    // Only the last record qualifies: every record is looked at.
    for (int i = 1; i < catalogue.AdCount(); ++i)
        catalogue.Ad(int16_t(i))->setVisible(true);
    const double scan = bench::nsPerRun([&] { keep(catalogue.GetUnusedRandomAd(2, true, orvane::UnspecifiedRating)); });
    std::printf("GetUnusedRandomAd, 1000 records\n");
    bench::report("  OVUser::Load alone (baseline)", userLoad, userLoad);
    bench::report("  GetUnusedRandomAd, most records eligible", any, userLoad);
    bench::report("  GetUnusedRandomAd, one record eligible", scan, userLoad);
    return 0;
}
