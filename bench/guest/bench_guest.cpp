// How much the exchange costs the host it lives in.
// (a) The longest stall of the host's event loop (a 1 ms timer's longest gap
//     between ticks) during an exchange of 255 offers whose images each take
//     200 ms to come, against the same timer's longest gap while the loop
//     idles for as long (best of two rounds each).
// (b) The picture test of a 95 KB PNG of 5700 x 5700 pixels against decoding
//     an ordinary 600 x 280 ad: time per call, and the growth of the peak
//     resident memory of a fresh process doing only that.
#include "BenchHarness.h"

#include "exchange/OVContentUpdate.h"
#include "exchange/OVHTTPClient.h"
#include "platform/PictureTester.h"
#include "support/OVRegistryHelpers.h"

#include "ScriptedServer.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QProcess>
#include <QRandomGenerator>

namespace {

QByteArray savedPng(const QImage &image)
{
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return out;
}

QByteArray ordinaryAd()
{
    QImage image(600, 280, QImage::Format_RGB32);
    QRandomGenerator random(11);
    image.fill(Qt::darkCyan);
    for (int i = 0; i < 4000; ++i) // some detail, as a real ad has
        image.setPixel(random.bounded(600), random.bounded(280), random.generate());
    return savedPng(image);
}

struct Gaps
{
    qint64 longest = 0;
    int over16ms = 0;
    int ticks = 0;
};

// The gaps between the ticks of a 1 ms timer while `until` is false.
Gaps gaps(const std::function<bool()> &until)
{
    QElapsedTimer sinceTick;
    sinceTick.start();
    Gaps g;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    probe.setInterval(1);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const qint64 gap = sinceTick.restart();
        g.longest = std::max(g.longest, gap);
        g.over16ms += gap > 16;
        ++g.ticks;
    });
    probe.start();
    while (!until())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    return g;
}

void stallDuringExchange(const QString &home)
{
    using namespace orvane;
    using namespace orvane::OVRegistryHelpers;
    CreateSettingsKey(kPreferencesKey, HKEY_CURRENT_USER);
    WriteSettingsValue(HKEY_CURRENT_USER, kPreferencesKey, QStringLiteral("TransferTimeoutSeconds"), 60, REG_SZ);

    constexpr int kOffers = 255;
    constexpr int kImageDelayMs = 200;
    ImageServer images;
    images.delayMs = kImageDelayMs;
    const QByteArray ad = ordinaryAd();
    OVContentUpdate update;
    update.setBaseURL(images.base());
    for (int i = 1; i <= kOffers; ++i) {
        const QByteArray name = "ad" + QByteArray::number(i) + ".png";
        images.add(name, ad);
        update.AddAnOffering(QStringLiteral("{0C000000-0000-4000-8000-%1}").arg(i, 12, 10, QLatin1Char('0')),
            QStringLiteral("{0D000000-0000-4000-8000-000000000001}"), QStringLiteral("https://example.com/"), 80000.0,
            1, QString::fromLatin1(name), 20, 6);
    }
    const ScriptedServer::Answer ack {"HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"};
    const ScriptedServer::Answer content {ScriptedServer::contentResponse(update.GetStateIntoByteArray())};
    ScriptedServer server({ack, content, ack, content});

    OVHTTPClient client;
    client.setRemoteHost(QStringLiteral("127.0.0.1"));
    client.setRemotePort(server.port());
    client.setProductGUID(QStringLiteral("{3F2504E0-4F89-11D3-9A0C-0305E82C3301}"));
    client.setImageFolder(home + QStringLiteral("/images"));
    bool done = false, ok = false;
    int received = 0;
    QObject::connect(&client, &OVHTTPClient::DataExchanged, [&](bool success) {
        done = true;
        ok = success;
    });
    QObject::connect(&client, &OVHTTPClient::ProgressMessage,
        [&](const QString &m) { received += m.startsWith(QStringLiteral("Received http")); });
    // Best of two rounds each: the machine's other load shows in both.
    Gaps stall, quiet;
    qint64 took = 0;
    for (int round = 0; round < 2; ++round) {
        QDir(home + QStringLiteral("/images")).removeRecursively();
        done = false;
        received = 0;
        QElapsedTimer wall;
        wall.start();
        client.StartDataExchange();
        const Gaps exchange = gaps([&] { return done; });
        took = wall.elapsed();
        if (round == 0 || exchange.longest < stall.longest)
            stall = exchange;
        QElapsedTimer idle;
        idle.start();
        const Gaps idleLoop = gaps([&] { return idle.elapsed() >= took; });
        if (round == 0 || idleLoop.longest < quiet.longest)
            quiet = idleLoop;
    }

    std::printf("(a) exchange of %d offers (%d fit the content update), each image answered after %d ms: %s, "
                "%d images in %lld ms\n",
        kOffers, update.OfferingsInLastState(), kImageDelayMs, ok ? "succeeded" : "FAILED", received,
        static_cast<long long>(took));
    const double base = double(quiet.longest) * 1e6;
    bench::report("  longest event-loop gap, idle loop (baseline)", base, base);
    bench::report("  longest event-loop gap during the exchange", double(stall.longest) * 1e6, base);
    bench::report("  one image's delay, for scale", kImageDelayMs * 1e6, base);
    std::printf("  gaps over 16 ms: idle %d of %d ticks, exchange %d of %d ticks\n", quiet.over16ms, quiet.ticks,
        stall.over16ms, stall.ticks);
}

long statusKiB(const QByteArray &field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    status.open(QIODevice::ReadOnly);
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field + ':'))
            return line.mid(field.size() + 1).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

// In a fresh process: how far one call raises the peak resident memory.
long peakGrowthKiB(const char *self, const QString &mode, const QString &file)
{
    QProcess child;
    child.start(QString::fromLocal8Bit(self), {QStringLiteral("--peak"), mode, file});
    child.waitForFinished(60000);
    return child.readAllStandardOutput().trimmed().toLong();
}

int peakChild(const QString &mode, const QString &file)
{
    QFile f(file);
    f.open(QIODevice::ReadOnly);
    const QByteArray bytes = f.readAll();
    orvane::platform::PictureTester &tester = orvane::platform::PictureTester::instance();
    // Loads what a first call loads, and warms the allocator alike for both.
    QImage small(8, 8, QImage::Format_RGB32);
    small.fill(Qt::red);
    const QByteArray smallPng = savedPng(small);
    keep(tester.isPicture(smallPng));
    keep(QImage::fromData(smallPng));
    // The peak resident size starts again from the present one.
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (!clear.open(QIODevice::WriteOnly) || clear.write("5") != 1)
        return 1;
    clear.close();
    const long before = statusKiB("VmRSS");
    if (mode == QStringLiteral("test"))
        keep(tester.isPicture(bytes));
    else
        keep(QImage::fromData(bytes));
    std::printf("%ld\n", statusKiB("VmHWM") - before);
    return 0;
}

void pictureTest(const char *self, const QString &home)
{
    QImage huge(5700, 5700, QImage::Format_RGB888);
    huge.fill(Qt::black);
    const QByteArray hugePng = savedPng(huge);
    huge = QImage();
    const QByteArray ad = ordinaryAd();
    const QString hugeFile = home + QStringLiteral("/huge.png");
    const QString adFile = home + QStringLiteral("/ad.png");
    for (const auto &[name, bytes] : {std::pair {hugeFile, hugePng}, std::pair {adFile, ad}}) {
        QFile f(name);
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
    }
    orvane::platform::PictureTester &tester = orvane::platform::PictureTester::instance();
    const double decodeAd = bench::nsPerRun([&] { keep(QImage::fromData(ad)); });
    const double testAd = bench::nsPerRun([&] { keep(tester.isPicture(ad)); });
    const double testHuge = bench::nsPerRun([&] { keep(tester.isPicture(hugePng)); });
    std::printf("(b) picture test: 600 x 280 ad of %lld bytes, 5700 x 5700 PNG of %lld bytes (refused: %s)\n",
        static_cast<long long>(ad.size()), static_cast<long long>(hugePng.size()),
        tester.isPicture(hugePng) ? "NO" : "yes");
    bench::report("  decoding the 600 x 280 ad (baseline)", decodeAd, decodeAd);
    bench::report("  picture test of the 600 x 280 ad", testAd, decodeAd);
    bench::report("  picture test of the 5700 x 5700 PNG", testHuge, decodeAd);
    std::printf("  peak memory growth: decoding the ad %ld KiB, testing the ad %ld KiB, testing the 5700 x 5700 PNG "
                "%ld KiB\n",
        peakGrowthKiB(self, QStringLiteral("decode"), adFile), peakGrowthKiB(self, QStringLiteral("test"), adFile),
        peakGrowthKiB(self, QStringLiteral("test"), hugeFile));
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc == 4 && QByteArray(argv[1]) == "--peak") {
        QGuiApplication app(argc, argv);
        return peakChild(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    }
    bench::Home home;
    QGuiApplication app(argc, argv);
    stallDuringExchange(home.path());
    pictureTest(argv[0], home.path());
    return 0;
}
