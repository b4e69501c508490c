// The data file's save against its floor, a durable replace of the same bytes
// (a temporary file written, fsync'd, renamed over the old one, and the folder
// fsync'd, so that the rename survives a power cut, as the save does), and its
// load against a plain read, on 70, 1,000 and 32,767 records; the random
// selection on a large catalogue.
#include <orvane/ResultCodes.h>

#include "../BenchHarness.h"
#include "catalogue/OVCommercials.h"
#include "personalization/OVUser.h"
#include "support/OleDate.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

using namespace orvane;

namespace {
void fill(OVCommercials &catalogue, int records)
{
    const double nextWeek = OleDate::fromDateTime(QDateTime::currentDateTime().addDays(7));
    for (int n = 0; n < records; ++n) {
        auto ad = std::make_shared<OVAdvertisement>();
        // Random-looking, as the server's are: they differ from the start.
        const uint32_t mixed = uint32_t(n) * 2654435761u;
        ad->setAdGUID(QStringLiteral("{%1-ABCD-4000-8000-%2}")
                          .arg(mixed, 8, 16, QLatin1Char('0'))
                          .arg(n, 12, 16, QLatin1Char('0'))
                          .toUpper());
        ad->setAdvertiserName(QStringLiteral("Advertiser %1").arg(n));
        ad->setClickURL(QStringLiteral("http://example.com/%1").arg(n));
        ad->setImageFileName(QStringLiteral("ad%1.gif").arg(n));
        ad->setExpirationDate(nextWeek);
        ad->setRating(20);
        ad->setSize(n % 2 ? 2 : 6);
        catalogue.AddAdvertisement(ad);
    }
}

Q_NEVER_INLINE void durableReplace(const QString &folder, const QString &path, const QByteArray &bytes)
{
    const QByteArray temporary = QFile::encodeName(path + QStringLiteral(".new"));
    const int fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    if (::write(fd, bytes.constData(), size_t(bytes.size())) != bytes.size())
        std::perror("write");
    ::fsync(fd);
    ::close(fd);
    ::rename(temporary.constData(), QFile::encodeName(path).constData());
    const int dir = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ::fsync(dir);
    ::close(dir);
}

Q_NEVER_INLINE void save(OVCommercials &catalogue)
{
    keep(catalogue.SaveAdInfoToLocalStorage());
}

Q_NEVER_INLINE void load(OVCommercials &catalogue, const QString &folder)
{
    catalogue.LoadAdInfoFromLocalStorage(folder, folder);
    keep(catalogue.AdCount());
}

// A load into a new catalogue, as at the control's start; the catalogue is
// released outside the time taken.
double timedLoadNs(const QString &folder)
{
    return bench::nsPerTimedRun(
        [&] {
            auto catalogue = std::make_unique<OVCommercials>();
            QElapsedTimer timer;
            timer.start();
            load(*catalogue, folder);
            const qint64 ns = timer.nsecsElapsed();
            catalogue.reset();
            return ns;
        },
        2);
}

Q_NEVER_INLINE void readPlain(const QString &path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    keep(file.readAll());
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    bench::Home home;
    const QString folder = home.filePath(QStringLiteral("data"));

    // Record counts from the command line, or the three.
    const QList<int> counts = bench::countsFrom(argc, argv, {70, 1000, 32767});
    for (int records : counts) {
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

        // Interleaved, so that floor and subject see the same machine.
        double replaceNs = 1e300, saveNs = 1e300, readNs = 1e300, loadNs = 1e300;
        for (int round = 0; round < 3; ++round) {
            replaceNs = std::min(replaceNs, bench::nsPerRun([&] { durableReplace(folder, plain, bytes); }, 2));
            saveNs = std::min(saveNs, bench::nsPerRun([&] { save(catalogue); }, 2));
            readNs = std::min(readNs, bench::nsPerRun([&] { readPlain(dat); }, 2));
            loadNs = std::min(loadNs, timedLoadNs(folder));
        }

        std::printf("%d records, %lld bytes\n", records, static_cast<long long>(bytes.size()));
        bench::report("  durable replace (floor)", replaceNs, replaceNs);
        bench::report("  SaveAdInfoToLocalStorage", saveNs, replaceNs);
        bench::report("  plain read (floor)", readNs, readNs);
        bench::report("  LoadAdInfoFromLocalStorage", loadNs, readNs);
        std::printf("  load per record %.3f us\n", loadNs / records / 1000.0);
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
