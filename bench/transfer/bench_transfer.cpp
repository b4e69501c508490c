// One complete exchange of 50 offers with 50 new images (about 20 KiB each)
// from the reference ad server, then one with every image present, each
// against its floor measured in the same run: a straight-line program doing
// the same work without the control. The floor posts the usage report and
// asks for the ad list on plain sockets; fetches the images with libcurl four
// at a time, as the control does, each into a file beside its name that is
// then renamed into place, and decodes each once (or only decodes them when
// present); and saves the data file's bytes twice the way the control saves
// it (a temporary file written and fsync'd, the old file linked as the backup,
// the rename, the folder fsync'd).
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
#include <memory>
#include <unistd.h>
#include <vector>

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

void durableSave(const QString &folder, const QByteArray &bytes)
{
    const QByteArray dat = QFile::encodeName(folder + QStringLiteral("/floor.dat"));
    const QByteArray bak = QFile::encodeName(folder + QStringLiteral("/floor.bak"));
    const QByteArray temporary = dat + ".tmp";
    const QByteArray link = bak + ".tmp";
    const int fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    if (::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size())
        ::fsync(fd);
    ::close(fd);
    if (::link(dat.constData(), link.constData()) == 0)
        ::rename(link.constData(), bak.constData());
    ::rename(temporary.constData(), dat.constData());
    const int dir = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ::fsync(dir);
    ::close(dir);
}

// Fetches every address four at a time into a file beside its name, renamed
// into place when complete.
void fetchAll(const QList<QByteArray> &addresses, const QStringList &paths)
{
    CURLM *multi = curl_multi_init();
    curl_multi_setopt(multi, CURLMOPT_MAX_TOTAL_CONNECTIONS, 4L);
    struct Transfer
    {
        CURL *easy;
        QFile file;
    };
    std::vector<std::unique_ptr<Transfer>> transfers;
    for (qsizetype i = 0; i < addresses.size(); ++i) {
        auto t = std::make_unique<Transfer>();
        t->easy = curl_easy_init();
        t->file.setFileName(paths[i] + QStringLiteral(".part"));
        t->file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        curl_easy_setopt(t->easy, CURLOPT_URL, addresses[i].constData());
        curl_easy_setopt(t->easy, CURLOPT_WRITEFUNCTION, &toFile);
        curl_easy_setopt(t->easy, CURLOPT_WRITEDATA, &t->file);
        curl_easy_setopt(t->easy, CURLOPT_PRIVATE, t.get());
        curl_multi_add_handle(multi, t->easy);
        transfers.push_back(std::move(t));
    }
    int running = 1;
    while (running > 0) {
        curl_multi_perform(multi, &running);
        int left = 0;
        while (CURLMsg *message = curl_multi_info_read(multi, &left)) {
            if (message->msg != CURLMSG_DONE)
                continue;
            Transfer *t = nullptr;
            curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &t);
            t->file.close();
            const QString done = t->file.fileName();
            QFile::rename(done, done.chopped(5));
        }
        if (running > 0)
            curl_multi_poll(multi, nullptr, 0, 1000, nullptr);
    }
    for (auto &t : transfers) {
        curl_multi_remove_handle(multi, t->easy);
        curl_easy_cleanup(t->easy);
    }
    curl_multi_cleanup(multi);
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
        durableSave(floorImages, dataFile);
        exchange(portNumber, orvane::OVFraming::ComposeAdListRequest(QStringLiteral("127.0.0.1")));
        QList<QByteArray> addresses;
        QStringList paths;
        for (int i = 1; i <= 50; ++i) {
            addresses.append(base + QByteArray::number(i) + ".png");
            paths.append(floorImages + QStringLiteral("/b%1.png").arg(i));
        }
        if (fetch)
            fetchAll(addresses, paths);
        for (const QString &path : paths)
            decode(path);
        durableSave(floorImages, dataFile);
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
