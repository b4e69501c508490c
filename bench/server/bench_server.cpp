// The reference server's acknowledged usage reports per second with 1, 8 and
// 64 concurrent clients, what keeping the daily rollups costs of that, and the
// time of a report from the rollups with 1 M and 10 M raw rows (SQLite, and PostgreSQL when ORVANE_TEST_PG_URL names a
// database), and its images per second with 64 clients against nginx serving
// the same files with as many workers as the server has event loops, measured
// in the same run. When ORVANE_BENCH_BASELINE_SERVER names another build of
// orvane-adserver (an earlier version), its figures are measured in the same
// run too, and the ratio of this build's to them is printed.
#include "LoadClient.h"
#include "ReportBench.h"

#include "exchange/OVFraming.h"
#include "exchange/OVUsageReport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>

#include <unistd.h>

using namespace orvane;

namespace {

constexpr int kMs = 3000;

struct Server
{
    QProcess process;
    quint16 port = 0;
    bool start(const QString &program, const QStringList &args)
    {
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(program, args);
        QByteArray out;
        QElapsedTimer t;
        t.start();
        const QByteArray marker = "listening on 127.0.0.1:";
        // Other lines may come first (a database's notices).
        while (t.elapsed() < 10000 && process.state() != QProcess::NotRunning
            && !(out.contains(marker) && out.indexOf('\n', out.indexOf(marker)) > 0)) {
            process.waitForReadyRead(100);
            out += process.readAll();
        }
        const qsizetype at = out.indexOf(marker);
        port = at < 0 ? 0 : out.mid(at + marker.size()).split('\n').value(0).trimmed().toUShort();
        return port > 0;
    }
    ~Server()
    {
        process.terminate();
        process.waitForFinished(15000);
    }
};

bool startAdServer(
    Server &server, const QString &program, const QString &campaign, const QString &db, const QStringList &extra = {})
{
    return server.start(program,
        QStringList {QStringLiteral("serve"), QStringLiteral("--campaign"), campaign, QStringLiteral("--db"), db,
            QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0")}
            + extra);
}

// Reports per second with the rollups kept against the same server keeping
// none, alternating so that the machine's other load falls on both alike.
void runRollupCost(const QString &db, const QString &campaign, const QTemporaryDir &dir, const QByteArray &post)
{
    constexpr int kRounds = 3;
    constexpr int kClients = 64;
    double with = 0, without = 0;
    for (int round = 0; round < kRounds; ++round) {
        for (bool rollups : {false, true}) {
            Server server;
            const QString url = db == u"sqlite"
                ? QStringLiteral("sqlite:") + dir.filePath(QStringLiteral("cost-%1-%2.db").arg(round).arg(rollups))
                : db;
            if (!startAdServer(server, QStringLiteral(ADSERVER), campaign, url,
                    rollups ? QStringList() : QStringList {QStringLiteral("--bench-without-rollups")}))
                return;
            (rollups ? with : without)
                += bench::runLoad(server.port, post, kClients, kMs, "HTTP/1.1 200 OK").okPerSecond;
        }
    }
    std::printf("rollup cost, %s, %d clients: without %.0f /s, with %.0f /s, ratio %.3f (cost %.1f%%)\n",
        db == u"sqlite" ? "SQLite" : "PostgreSQL", kClients, without / kRounds, with / kRounds, with / without,
        100.0 * (1.0 - with / without));
    std::fflush(stdout);
}

// nginx on 127.0.0.1 serving the campaign folder under /images/, or 0 when it is not installed.
quint16 startNginx(QProcess &nginx, const QString &folder, const QString &campaign, int workers)
{
    QString program = QStandardPaths::findExecutable(QStringLiteral("nginx"));
    if (program.isEmpty())
        program = QStandardPaths::findExecutable(QStringLiteral("nginx"), {QStringLiteral("/usr/sbin")});
    if (program.isEmpty())
        return 0;
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    QString conf
        = QStringLiteral("%1worker_processes %2;\ndaemon off;\npid %3/nginx.pid;\nerror_log %3/error.log;\n"
                         "events { worker_connections 1024; }\n"
                         "http {\n access_log off;\n sendfile on;\n keepalive_timeout 10;\n types { image/png png; }\n"
                         " client_body_temp_path %3/t1; proxy_temp_path %3/t2; fastcgi_temp_path %3/t3;\n"
                         " uwsgi_temp_path %3/t4; scgi_temp_path %3/t5;\n"
                         " server { listen 127.0.0.1:%4; location /images/ { alias %5/; } }\n}\n")
              .arg(geteuid() == 0 ? QStringLiteral("user root;\n") : QString())
              .arg(workers)
              .arg(folder)
              .arg(port)
              .arg(campaign);
    QFile file(folder + QStringLiteral("/nginx.conf"));
    file.open(QIODevice::WriteOnly);
    file.write(conf.toUtf8());
    file.close();
    nginx.setProcessChannelMode(QProcess::MergedChannels);
    nginx.start(program,
        {QStringLiteral("-p"), folder, QStringLiteral("-c"), file.fileName(), QStringLiteral("-e"),
            folder + QStringLiteral("/error.log")});
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 5000) {
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, port);
        if (s.waitForConnected(200))
            return port;
        QThread::msleep(50);
    }
    std::printf("nginx did not start: %s\n", nginx.readAll().constData());
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // "--load PORT images|reports SECONDS": only the load, on a server started by
    // hand (to profile it). "--reports": only the rollup cost and the report query.
    const QStringList args = app.arguments();
    const bool reportsOnly = args.size() == 2 && args[1] == u"--reports";
    const bool loadOnly = args.size() == 5 && args[1] == u"--load";
    QTemporaryDir dir;
    const QString campaign = dir.filePath(QStringLiteral("c"));
    QProcess::execute(QStringLiteral(ADSERVER), {QStringLiteral("sample-campaign"), campaign});

    OVUsageReport report;
    report.setProductGUID(QStringLiteral("{3F2504E0-4F89-11D3-9A0C-0305E82C3301}"));
    for (int i = 1; i <= 12; ++i)
        report.AddUsageStat(
            QStringLiteral("{0A000000-0000-4000-8000-%1}").arg(i, 12, 10, QLatin1Char('0')), 3, 1, 47000.0);
    const QByteArray post = OVFraming::ComposeUsagePost(QStringLiteral("127.0.0.1"), report.GetStateIntoByteArray());

    if (loadOnly) {
        const QByteArray request
            = args[3] == u"images" ? QByteArray("GET /images/images/ad01.png HTTP/1.1\r\nHost: x\r\n\r\n") : post;
        const bench::LoadResult r
            = bench::runLoad(args[2].toUShort(), request, 64, args[4].toInt() * 1000, "HTTP/1.1 200 OK");
        std::printf("%.0f /s, %lld failed\n", r.okPerSecond, static_cast<long long>(r.failed));
        return 0;
    }

    QList<QPair<QString, QString>> programs {{QStringLiteral("this build"), QStringLiteral(ADSERVER)}};
    const QString baseline = qEnvironmentVariable("ORVANE_BENCH_BASELINE_SERVER");
    if (!baseline.isEmpty())
        programs.prepend({QStringLiteral("baseline build"), baseline});
    QStringList dbs {QStringLiteral("sqlite")};
    if (!qEnvironmentVariableIsEmpty("ORVANE_TEST_PG_URL"))
        dbs << qEnvironmentVariable("ORVANE_TEST_PG_URL");
    if (reportsOnly) {
        for (const QString &db : dbs)
            runRollupCost(db, campaign, dir, post);
        for (const QString &db : dbs)
            bench::runReportBench(db, dir.path());
        return 0;
    }

    int run = 0;
    for (const QString &db : dbs) {
        std::printf("acknowledged usage reports per second, %s\n", db == u"sqlite" ? "SQLite" : "PostgreSQL");
        QHash<int, double> before;
        for (const auto &[label, program] : programs) {
            Server server;
            const QString url
                = db == u"sqlite" ? QStringLiteral("sqlite:") + dir.filePath(QStringLiteral("r%1.db").arg(++run)) : db;
            if (!startAdServer(server, program, campaign, url)) {
                std::printf("  %s did not start\n", qPrintable(label));
                continue;
            }
            for (int clients : {1, 8, 64}) {
                const bench::LoadResult r = bench::runLoad(server.port, post, clients, kMs, "HTTP/1.1 200 OK");
                std::printf("  %-14s %2d clients %8.0f /s", qPrintable(label), clients, r.okPerSecond);
                if (label == programs.front().first && programs.size() > 1)
                    before[clients] = r.okPerSecond;
                else if (programs.size() > 1)
                    std::printf("  ratio to baseline %.2f", r.okPerSecond / std::max(before[clients], 1.0));
                std::printf("%s\n", r.failed ? qPrintable(QStringLiteral("  (%1 failed)").arg(r.failed)) : "");
                std::fflush(stdout);
            }
        }
    }

    for (const QString &db : dbs)
        runRollupCost(db, campaign, dir, post);
    for (const QString &db : dbs)
        bench::runReportBench(db, dir.path());

    const QByteArray imageRequest = "GET /images/images/ad01.png HTTP/1.1\r\nHost: x\r\n\r\n";
    const int loops = std::max(QThread::idealThreadCount(), 1);
    std::printf("images per second, 64 clients, %d event loops or workers\n", loops);
    QProcess nginx;
    const quint16 nginxPort = startNginx(nginx, dir.path(), campaign, loops);
    const double floor
        = nginxPort ? bench::runLoad(nginxPort, imageRequest, 64, kMs, "HTTP/1.1 200 OK").okPerSecond : 0;
    if (nginxPort)
        std::printf("  nginx (baseline)  %8.0f /s  ratio 1.00\n", floor);
    else
        std::printf("  nginx is not installed (apt-get install nginx-light): no baseline\n");
    nginx.terminate();
    nginx.waitForFinished(5000);
    for (const auto &[label, program] : programs) {
        Server server;
        if (!startAdServer(server, program, campaign,
                QStringLiteral("sqlite:") + dir.filePath(QStringLiteral("i%1.db").arg(++run))))
            continue;
        const double ours = bench::runLoad(server.port, imageRequest, 64, kMs, "HTTP/1.1 200 OK").okPerSecond;
        std::printf("  %-16s %8.0f /s", qPrintable(label), ours);
        if (floor > 0)
            std::printf("  ratio %.2f", ours / floor);
        std::printf("\n");
    }
    return 0;
}
