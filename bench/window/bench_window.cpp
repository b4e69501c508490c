// DisplayNextAds on a 1,000-ad catalogue, against loading the same number of
// images alone, as a ratio.
#include "BenchHarness.h"
#include "WindowFixture.h"
#include "window/frmAdDisplayer.h"

#include <QApplication>
#include <QImage>

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    WindowFixture fixture;
    for (int i = 1; i <= 1000; ++i)
        fixture.add(i, QList<int>({1, 2, 3, 6})[i % 4], QString::number(i));
    orvane::frmAdDisplayer window;
    window.setCommercials(fixture.catalogue);
    window.Form_Load();
    // A group places one to four ads; the baseline loads two images, the average.
    const QString a = fixture.home.filePath(QStringLiteral("images/ad1.png"));
    const QString b = fixture.home.filePath(QStringLiteral("images/ad2.png"));
    const double load = bench::nsPerRun([&] {
        QImage p1, p2; // QPixmap would answer from its cache
        p1.load(a);
        p2.load(b);
        keep(p1);
    });
    const double display = bench::nsPerRun([&] { window.DisplayNextAds(); });
    std::printf("1,000-ad catalogue\n");
    bench::report("  loading two ad images (baseline)", load, load);
    bench::report("  DisplayNextAds", display, load);
    return 0;
}
