// Renders the ad window in each of its four layouts and the personalization
// form into PNG files in the folder given.
#include "WindowFixture.h"
#include "personalization/frmRegister.h"
#include "platform/RandomSource.h"
#include "window/frmAdDisplayer.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>

namespace {
// Picks each layout in turn: the first value of a group decides its layout.
class LayoutRandom : public orvane::platform::RandomSource
{
public:
    double next() override { return value; }
    void reseedFromClock() override {}
    double value = 0.0;
};
} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: render_screenshots FOLDER\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    const struct
    {
        const char *name;
        QList<int> sizes;
        double draw;
    } layouts[] = {
        {"ad-window-full", {2}, 0.1},
        {"ad-window-half-horizontal", {1, 1}, 0.3},
        {"ad-window-half-vertical", {3, 3}, 0.6},
        {"ad-window-quarters", {6, 6, 6, 6}, 0.9},
    };
    LayoutRandom random;
    orvane::platform::RandomSource::install(&random);
    for (const auto &layout : layouts) {
        WindowFixture fixture;
        int n = 0;
        for (int size : layout.sizes) {
            ++n;
            fixture.add(n, size, QStringLiteral("Ad %1").arg(n));
        }
        random.value = layout.draw;
        orvane::frmAdDisplayer window;
        window.setCommercials(fixture.catalogue);
        window.setWindowTitle(QStringLiteral("Thanks to our sponsors..."));
        window.setDescription(QStringLiteral("Thanks to our sponsors..."));
        window.Form_Load();
        window.DisplayNextAds();
        window.show();
        QApplication::processEvents();
        const QString file = out + u'/' + QString::fromLatin1(layout.name) + QStringLiteral(".png");
        window.grab().save(file, "PNG");
        std::printf("%s\n", qPrintable(file));
    }
    orvane::platform::RandomSource::install(nullptr);
    WindowFixture fixture;
    orvane::frmRegister form;
    form.show();
    QApplication::processEvents();
    const QString file = out + QStringLiteral("/personalization-form.png");
    form.grab().save(file, "PNG");
    std::printf("%s\n", qPrintable(file));
    return 0;
}
