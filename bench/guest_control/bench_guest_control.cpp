// The CPU that Transfer uses while it waits 10 s for a server that accepts the
// connection and never answers, against its floor measured in the same run:
// an idle event loop that has sent the same usage post on its own connection
// to the same silent server and waits the same 10 s for an answer (a timer
// ends it). Both use the CPU only for what wakes them.
#include "BenchHarness.h"

#include <orvane/Orvane.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include "exchange/OVFraming.h"
#include "exchange/OVUsageReport.h"

#include <sys/resource.h>

#include <cstdio>

namespace {
double cpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Share
{
    double cpu = 0;
    double wall = 0;
    double ratio() const { return wall > 0 ? cpu / wall : 0; }
};

template <typename F>
Share measure(F &&body)
{
    QElapsedTimer wall;
    wall.start();
    const double cpu = cpuSeconds();
    body();
    return {cpuSeconds() - cpu, wall.elapsed() / 1000.0};
}
} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    bench::Home home;
    QDir().mkpath(home.filePath(QStringLiteral("config/Quintrel")));
    {
        QFile ini(home.filePath(QStringLiteral("config/Quintrel/Orvane.ini")));
        ini.open(QIODevice::WriteOnly);
        ini.write("[Preferences]\nTransferTimeoutSeconds=10\n");
    }
    QGuiApplication app(argc, argv);

    // Accepts every connection and never says a word.
    QTcpServer silent;
    silent.listen(QHostAddress::LocalHost, 0);
    QList<QTcpSocket *> held;
    QObject::connect(&silent, &QTcpServer::newConnection, [&] {
        while (QTcpSocket *s = silent.nextPendingConnection())
            held.append(s);
    });

    const int waitMs = 10'000;
    // Floor: the same post on a plain socket, then the event loop idles until
    // the timer ends the wait.
    const Share idle = measure([&] {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, silent.serverPort());
        QEventLoop loop;
        QObject::connect(&socket, &QTcpSocket::connected, [&] {
            socket.write(orvane::OVFraming::ComposeUsagePost(
                QStringLiteral("127.0.0.1"), orvane::OVUsageReport().GetStateIntoByteArray()));
        });
        QObject::connect(&socket, &QTcpSocket::readyRead, &loop, &QEventLoop::quit);
        QTimer::singleShot(waitMs, &loop, &QEventLoop::quit);
        loop.exec();
    });
    orvane::Orvane control;
    control.ReadProperties(orvane::MemoryPropertyBag());
    control.setRemoteHost(QStringLiteral("127.0.0.1"));
    control.setRemotePort(QString::number(silent.serverPort()));
    control.setProductGUID(QStringLiteral("{3F2504E0-4F89-11D3-9A0C-0305E82C3301}"));
    control.setDataFolder(home.filePath(QStringLiteral("data")));
    control.setImageFolder(home.filePath(QStringLiteral("images")));
    QDir().mkpath(control.DataFolder());
    short result = 0;
    const Share wait = measure([&] { result = control.Transfer(); });

    std::printf("idle event loop (floor): %.4f s CPU in %.1f s (%.3f%% of the wait)\n", idle.cpu, idle.wall,
        100 * idle.ratio());
    std::printf("Transfer wait (result %d): %.4f s CPU in %.1f s (%.3f%% of the wait)  ratio to floor %.2f\n",
        int(result), wait.cpu, wait.wall, 100 * wait.ratio(), idle.ratio() > 0 ? wait.ratio() / idle.ratio() : 0.0);
    return wait.ratio() < 0.01 ? 0 : 1;
}
