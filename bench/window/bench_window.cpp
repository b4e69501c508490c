// DisplayNextAds on catalogues of 1,000, 10,000 and 32,767 ads, against its
// floor measured in the same run: decoding the images of one group, the
// 168,000 pixels that every layout fills (one full-size ad, two halves or
// four quarters, taken in turn as the four layouts come up equally often).
// The pixmap cache is off for both, so every group decodes its images.
#include "BenchHarness.h"
#include "WindowFixture.h"
#include "window/frmAdDisplayer.h"

#include <QApplication>
#include <QPixmap>
#include <QPixmapCache>

namespace {
constexpr int kImagesPerSize = 100;

// One group's images, decoded as the window loads them.
struct GroupFloor
{
    QString folder;
    int run = 0;

    Q_NEVER_INLINE void operator()()
    {
        static const int sizes[4][4] = {{2}, {1, 1}, {3, 3}, {6, 6, 6, 6}};
        static const int counts[4] = {1, 2, 2, 4};
        const int layout = run % 4;
        for (int k = 0; k < counts[layout]; ++k) {
            // The files of a size: ad i has size {1, 2, 3, 6}[i % 4].
            const int size = sizes[layout][k];
            const int n = (4 * (run * 4 + k) + (size == 6 ? 3 : size - 1)) % kImagesPerSize;
            QPixmap picture;
            if (!picture.load(folder + QStringLiteral("/shared%1_%2.png").arg(size).arg(n)))
                std::printf("floor image missing\n");
            keep(picture);
        }
        ++run;
    }
};

// Not every build compared has the catalogue's reserve.
template <typename Catalogue>
void reserveIfAble(Catalogue &catalogue, int n)
{
    if constexpr (requires { catalogue.reserve(n); })
        catalogue.reserve(n);
}

Q_NEVER_INLINE void displayNextAds(orvane::frmAdDisplayer &window)
{
    window.DisplayNextAds();
}
} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QPixmapCache::setCacheLimit(0);
    const QList<int> sizes = {1, 2, 3, 6};
    // Catalogue sizes from the command line, or the three.
    const QList<int> counts = bench::countsFrom(argc, argv, {1'000, 10'000, 32'767});
    for (int count : counts) {
        WindowFixture fixture;
        reserveIfAble(*fixture.catalogue, count);
        for (int i = 1; i <= count; ++i)
            fixture.addSharing(i, sizes[i % 4], kImagesPerSize);
        orvane::frmAdDisplayer window;
        window.setCommercials(fixture.catalogue);
        window.Form_Load();
        GroupFloor floor {fixture.home.filePath(QStringLiteral("images"))};
        // Interleaved, so that both see the same machine.
        double floorNs = 1e300;
        double displayNs = 1e300;
        for (int round = 0; round < 3; ++round) {
            floorNs = std::min(floorNs, bench::nsPerRun([&] { floor(); }, 2));
            displayNs = std::min(displayNs, bench::nsPerRun([&] { displayNextAds(window); }, 2));
        }
        std::printf("%d-ad catalogue\n", count);
        bench::report("  decoding one group's 168,000 pixels (floor)", floorNs, floorNs);
        bench::report("  DisplayNextAds", displayNs, floorNs);
    }
    return 0;
}
