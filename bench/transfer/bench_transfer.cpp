// One complete exchange of 50 offers with 50 new images (about 20 KiB each)
// from the reference ad server, against fetching the same 52 resources with
// libcurl directly in the same run; then an exchange with every image present.
#include "BenchHarness.h"

#include <orvane/Orvane.h>

#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QTcpSocket>
#include <QTemporaryDir>

#include "exchange/OVFraming.h"
#include "exchange/OVUsageReport.h"

#include <curl/curl.h>

namespace {
size_t discard(char *, size_t size, size_t n, void *)
{
    return size * n;
}

void makeCampaign(const QString &folder)
{
    QDir().mkpath(folder + QStringLiteral("/images"));
    QJsonArray ads;
    QRandomGenerator random(7);
    for (int i = 1; i <= 50; ++i) {
        QImage image(90, 70, QImage::Format_RGB32); // noise keeps PNG near 20 KiB
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                image.setPixel(x, y, random.generate());
        const QString file = QStringLiteral("images/b%1.png").arg(i);
        image.save(folder + u'/' + file, "PNG");
        ads.append(QJsonObject {
            {QStringLiteral("AdGUID"), QStringLiteral("{0C000000-0000-4000-8000-%1}").arg(i, 12, 10, QLatin1Char('0'))},
            {QStringLiteral("AdvertiserGUID"), QStringLiteral("{0D000000-0000-4000-8000-000000000001}")},
            {QStringLiteral("ClickURL"), QStringLiteral("https://example.com/%1").arg(i)},
            {QStringLiteral("ExpirationDate"), QStringLiteral("2099-01-01")}, {QStringLiteral("Size"), 6},
            {QStringLiteral("Rating"), 20}, {QStringLiteral("ImageFormat"), 3},
            {QStringLiteral("ImageFileName"), file}});
    }
    QFile json(folder + QStringLiteral("/campaign.json"));
    json.open(QIODevice::WriteOnly);
    json.write(QJsonDocument(QJsonObject {{QStringLiteral("ads"), ads}}).toJson());
}
} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config")).toLocal8Bit());
    qputenv("XDG_STATE_HOME", home.filePath(QStringLiteral("state")).toLocal8Bit());
    QGuiApplication app(argc, argv);
    makeCampaign(home.filePath(QStringLiteral("campaign")));

    QProcess server;
    server.start(QStringLiteral(ADSERVER),
        {QStringLiteral("serve"), QStringLiteral("--campaign"), home.filePath(QStringLiteral("campaign")),
            QStringLiteral("--db"), QStringLiteral("sqlite:") + home.filePath(QStringLiteral("r.db")),
            QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0")});
    server.waitForReadyRead(10000);
    const QByteArray line = server.readAllStandardOutput();
    const QString port = QString::fromLatin1(line.mid(line.lastIndexOf(':') + 1).trimmed());

    orvane::Orvane control;
    control.ReadProperties(orvane::MemoryPropertyBag());
    control.setRemoteHost(QStringLiteral("127.0.0.1"));
    control.setRemotePort(port);
    control.setProductGUID(QStringLiteral("{3F2504E0-4F89-11D3-9A0C-0305E82C3301}"));
    control.setDataFolder(home.filePath(QStringLiteral("data")));
    control.setImageFolder(home.filePath(QStringLiteral("images")));
    QDir().mkpath(control.DataFolder());

    const int rounds = 5;
    double exchange = 1e300, present = 1e300, direct = 1e300;
    for (int r = 0; r < rounds; ++r) {
        QDir(control.ImageFolder()).removeRecursively();
        QElapsedTimer t;
        t.start();
        control.Transfer();
        exchange = std::min(exchange, double(t.nsecsElapsed()));
        t.restart();
        control.Transfer();
        present = std::min(present, double(t.nsecsElapsed()));

        // The same 52 resources directly: the usage post on a plain socket (the
        // server acknowledges it once committed), the rest with libcurl on one
        // reused connection.
        t.restart();
        {
            orvane::OVUsageReport report;
            report.setProductGUID(control.ProductGUID());
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, port.toUShort());
            socket.waitForConnected();
            socket.write(
                orvane::OVFraming::ComposeUsagePost(QStringLiteral("127.0.0.1"), report.GetStateIntoByteArray()));
            socket.waitForReadyRead();
        }
        CURL *easy = curl_easy_init();
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &discard);
        const QByteArray base = "http://127.0.0.1:" + port.toLatin1();
        curl_easy_setopt(easy, CURLOPT_URL, (base + "/Orvane/Ads").constData());
        curl_easy_perform(easy);
        for (int i = 1; i <= 50; ++i) {
            curl_easy_setopt(
                easy, CURLOPT_URL, (base + "/images/images/b" + QByteArray::number(i) + ".png").constData());
            curl_easy_perform(easy);
        }
        curl_easy_cleanup(easy);
        direct = std::min(direct, double(t.nsecsElapsed()));
    }
    std::printf("50 offers, 50 images of about 20 KiB (best of %d)\n", rounds);
    bench::report("  52 resources directly (baseline)", direct, direct);
    bench::report("  Transfer, all images new", exchange, direct);
    bench::report("  Transfer, all images present", present, direct);
    server.terminate();
    server.waitForFinished();
    return 0;
}
