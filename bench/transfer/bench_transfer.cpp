// One complete exchange of 50 offers with 50 new images (about 20 KiB each)
// from the reference ad server, then one with every image present, each
// against its floor measured in the same run: a straight-line program doing
// the same work without the control. The floor posts the usage report and
// asks for the ad list on plain sockets, fetches the images with libcurl into
// files and decodes each once (or only decodes them when present), and writes
// the data file's size twice with fsync, as the exchange saves it twice.
#include "BenchHarness.h"

#include <orvane/Orvane.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QTcpSocket>

#include "exchange/OVFraming.h"
#include "exchange/OVUsageReport.h"

#include <curl/curl.h>

#include <fcntl.h>
#include <unistd.h>

namespace {
size_t toFile(char *data, size_t size, size_t n, void *file)
{
    return static_cast<QFile *>(file)->write(data, qint64(size * n)) == qint64(size * n) ? size * n : 0;
}

// One request on its own connection, read to the end of the announced content.
QByteArray exchange(quint16 port, const QByteArray &request)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    socket.waitForConnected();
    socket.write(request);
    QByteArray received;
    while (socket.waitForReadyRead(5000)) {
        received += socket.readAll();
        const qsizetype end = received.indexOf("\r\n\r\n");
        if (end >= 0 && received.size() >= end + 4 + orvane::OVFraming::ContentLength(received))
            break;
    }
    return received;
}

void writeSynced(const QString &path, const QByteArray &bytes)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return;
    if (::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size())
        ::fsync(fd);
    ::close(fd);
}

void decode(const QString &path)
{
    QImage image;
    image.load(path);
    keep(image);
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
    bench::Home home;
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
    const quint16 portNumber = port.toUShort();
    const QString floorImages = home.filePath(QStringLiteral("floor"));
    const QByteArray base = "http://127.0.0.1:" + port.toLatin1() + "/images/images/b";
    auto floor = [&](bool fetch) {
        orvane::OVUsageReport report;
        report.setProductGUID(control.ProductGUID());
        exchange(portNumber,
            orvane::OVFraming::ComposeUsagePost(QStringLiteral("127.0.0.1"), report.GetStateIntoByteArray()));
        const QByteArray dataFile(QFileInfo(control.DataFolder() + QStringLiteral("/OVImage.dat")).size(), 'd');
        writeSynced(floorImages + QStringLiteral("/floor.dat"), dataFile);
        exchange(portNumber, orvane::OVFraming::ComposeAdListRequest(QStringLiteral("127.0.0.1")));
        CURL *easy = curl_easy_init();
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &toFile);
        for (int i = 1; i <= 50; ++i) {
            const QString path = floorImages + QStringLiteral("/b%1.png").arg(i);
            if (fetch) {
                QFile file(path);
                file.open(QIODevice::WriteOnly | QIODevice::Truncate);
                curl_easy_setopt(easy, CURLOPT_URL, (base + QByteArray::number(i) + ".png").constData());
                curl_easy_setopt(easy, CURLOPT_WRITEDATA, &file);
                curl_easy_perform(easy);
            }
            decode(path);
        }
        curl_easy_cleanup(easy);
        writeSynced(floorImages + QStringLiteral("/floor.dat"), dataFile);
    };

    double exchangeNew = 1e300, present = 1e300, floorNew = 1e300, floorPresent = 1e300;
    for (int r = 0; r < rounds; ++r) {
        QDir(control.ImageFolder()).removeRecursively();
        QElapsedTimer t;
        t.start();
        control.Transfer();
        exchangeNew = std::min(exchangeNew, double(t.nsecsElapsed()));
        t.restart();
        control.Transfer();
        present = std::min(present, double(t.nsecsElapsed()));

        QDir(floorImages).removeRecursively();
        QDir().mkpath(floorImages);
        t.restart();
        floor(true);
        floorNew = std::min(floorNew, double(t.nsecsElapsed()));
        t.restart();
        floor(false);
        floorPresent = std::min(floorPresent, double(t.nsecsElapsed()));
    }
    std::printf("50 offers, 50 images of about 20 KiB (best of %d)\n", rounds);
    bench::report("  floor, images new (baseline)", floorNew, floorNew);
    bench::report("  Transfer, all images new", exchangeNew, floorNew);
    bench::report("  floor, images present (baseline)", floorPresent, floorPresent);
    bench::report("  Transfer, all images present", present, floorPresent);
    server.terminate();
    server.waitForFinished();
    return 0;
}
