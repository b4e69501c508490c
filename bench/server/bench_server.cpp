// The reference server's acknowledged usage reports per second with 1, 8 and
// 64 concurrent clients (SQLite, and PostgreSQL when ORVANE_TEST_PG_URL names
// a database), and its images per second against Python's http.server serving
// the same files, measured in the same run.
#include "exchange/OVFraming.h"
#include "exchange/OVUsageReport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

using namespace orvane;

namespace {
struct Server
{
    QProcess process;
    quint16 port = 0;
    bool start(const QString &program, const QStringList &args, const QByteArray &marker)
    {
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(program, args);
        QByteArray out;
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 10000 && !out.contains(marker)) {
            process.waitForReadyRead(100);
            out += process.readAll();
        }
        const qsizetype at = out.indexOf(marker);
        if (at < 0)
            return false;
        port = out.mid(at + marker.size()).split(' ').value(0).split('\n').value(0).trimmed().toUShort();
        return port > 0;
    }
    ~Server()
    {
        process.terminate();
        process.waitForFinished(5000);
    }
};

// `clients` connections, each sending `request` again as soon as its answer
// is complete (a new connection per request), for `ms` milliseconds.
double requestsPerSecond(quint16 port, const QByteArray &request, int clients, int ms, const QByteArray &okPrefix)
{
    int done = 0;
    QElapsedTimer timer;
    timer.start();
    std::vector<std::unique_ptr<QTcpSocket>> sockets(clients);
    std::function<void(int)> go = [&](int i) {
        if (timer.elapsed() > ms)
            return;
        auto socket = std::make_unique<QTcpSocket>();
        QTcpSocket *s = socket.get();
        auto received = std::make_shared<QByteArray>();
        QObject::connect(s, &QTcpSocket::readyRead, s, [&, s, i, received] {
            *received += s->readAll();
            const qsizetype end = received->indexOf("\r\n\r\n");
            if (end < 0)
                return;
            const qsizetype at = received->indexOf("Content-Length: ");
            const qsizetype length = at >= 0 && at < end
                ? received->mid(at + 16, received->indexOf("\r\n", at) - at - 16).toLongLong()
                : 0;
            if (received->size() < end + 4 + length)
                return;
            if (received->startsWith(okPrefix))
                ++done;
            s->disconnect();
            s->abort();
            QTimer::singleShot(0, [&, i] { go(i); });
        });
        s->connectToHost(QHostAddress::LocalHost, port);
        s->write(request);
        sockets[i] = std::move(socket);
    };
    for (int i = 0; i < clients; ++i)
        go(i);
    while (timer.elapsed() < ms + 2000 && (timer.elapsed() < ms || done == 0))
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done * 1000.0 / std::max<qint64>(timer.elapsed(), 1);
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    QProcess::execute(QStringLiteral(ADSERVER), {QStringLiteral("sample-campaign"), dir.filePath(QStringLiteral("c"))});

    OVUsageReport report;
    report.setProductGUID(QStringLiteral("{3F2504E0-4F89-11D3-9A0C-0305E82C3301}"));
    for (int i = 1; i <= 12; ++i)
        report.AddUsageStat(
            QStringLiteral("{0A000000-0000-4000-8000-%1}").arg(i, 12, 10, QLatin1Char('0')), 3, 1, 47000.0);
    const QByteArray post = OVFraming::ComposeUsagePost(QStringLiteral("127.0.0.1"), report.GetStateIntoByteArray());

    QStringList dbs {QStringLiteral("sqlite:") + dir.filePath(QStringLiteral("r.db"))};
    if (!qEnvironmentVariableIsEmpty("ORVANE_TEST_PG_URL"))
        dbs << qEnvironmentVariable("ORVANE_TEST_PG_URL");
    quint16 lastPort = 0;
    for (const QString &db : dbs) {
        Server server;
        if (!server.start(QStringLiteral(ADSERVER),
                {QStringLiteral("serve"), QStringLiteral("--campaign"), dir.filePath(QStringLiteral("c")),
                    QStringLiteral("--db"), db, QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0")},
                "listening on 127.0.0.1:")) {
            std::printf("server did not start for %s\n", qPrintable(db));
            continue;
        }
        std::printf("acknowledged usage reports per second, %s\n", db.startsWith(u's') ? "SQLite" : "PostgreSQL");
        double one = 0;
        for (int clients : {1, 8, 64}) {
            const double rate = requestsPerSecond(server.port, post, clients, 3000, "HTTP/1.1 200 OK");
            if (clients == 1)
                one = rate;
            std::printf("  %2d clients  %8.0f /s  ratio to 1 client %.2f\n", clients, rate, rate / std::max(one, 1.0));
            std::fflush(stdout);
        }
        lastPort = server.port;
    }
    Q_UNUSED(lastPort);

    Server ads;
    ads.start(QStringLiteral(ADSERVER),
        {QStringLiteral("serve"), QStringLiteral("--campaign"), dir.filePath(QStringLiteral("c")),
            QStringLiteral("--db"), QStringLiteral("sqlite:") + dir.filePath(QStringLiteral("i.db")),
            QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0")},
        "listening on 127.0.0.1:");
    Server python;
    python.start(QStringLiteral("python3"),
        {QStringLiteral("-u"), QStringLiteral("-m"), QStringLiteral("http.server"), QStringLiteral("0"),
            QStringLiteral("--bind"), QStringLiteral("127.0.0.1"), QStringLiteral("--directory"),
            dir.filePath(QStringLiteral("c"))},
        " port ");
    const QByteArray imageRequest = "GET /images/images/ad01.png HTTP/1.1\r\nHost: x\r\n\r\n";
    const QByteArray pythonRequest = "GET /images/ad01.png HTTP/1.0\r\nHost: x\r\n\r\n";
    std::printf("images per second, 8 clients\n");
    const double floor = requestsPerSecond(python.port, pythonRequest, 8, 3000, "HTTP/1.0 200");
    const double ours = requestsPerSecond(ads.port, imageRequest, 8, 3000, "HTTP/1.1 200 OK");
    std::printf("  python http.server (baseline) %8.0f /s  ratio 1.00\n", floor);
    std::printf("  orvane-adserver               %8.0f /s  ratio %.2f\n", ours, ours / std::max(floor, 1.0));
    return 0;
}
