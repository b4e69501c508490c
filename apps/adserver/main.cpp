// orvane-adserver: the reference ad server.
//   serve --campaign DIR --db URL --listen ADDR:PORT [--public-url URL] [limits] [operations]
//   stats --db URL [--json]
//   report --db URL [--since DAY] [--until DAY] [--by DIMENSIONS] [--format table|csv|json]
//   sample-campaign DIR
//   check-campaign DIR
#include "AccessLog.h"
#include "AdminRoutes.h"
#include "AdminServer.h"
#include "CampaignCheck.h"
#include "CampaignHolder.h"
#include "DashboardRoutes.h"
#include "DatabaseUrl.h"
#include "Metrics.h"
#include "ReportCommand.h"
#include "ReportStore.h"
#include "SampleCampaign.h"
#include "ServerLog.h"
#include "ServerPool.h"

#include <orvane/OrvaneVersion.h>

#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSocketNotifier>
#include <QThread>

#include <csignal>
#include <cstdio>
#include <unistd.h>

using namespace orvane::adserver;

namespace {
int g_signalPipe[2] = {-1, -1};

// The signal's number goes through the pipe: SIGHUP reloads, the others stop.
void onSignal(int signal)
{
    const char c = char(signal);
    [[maybe_unused]] ssize_t n = write(g_signalPipe[1], &c, 1);
}

void onShutdownBound(int)
{
    static const char message[] = "orvane-adserver: shutdown took too long, exiting\n";
    [[maybe_unused]] ssize_t n = write(STDERR_FILENO, message, sizeof message - 1);
    _exit(3);
}

int fail(const QString &message)
{
    std::fprintf(stderr, "orvane-adserver: %s\n", qPrintable(message));
    return 2;
}

const char *kUsage = "usage: orvane-adserver serve --campaign DIR --db URL --listen ADDR:PORT [--public-url URL]\n"
                     "           [--idle-timeout SECONDS] [--request-timeout SECONDS] [--commit-timeout SECONDS]\n"
                     "           [--max-connections N] [--max-per-peer N] [--threads N] [--retain-raw-days N]\n"
                     "           [--admin-listen ADDR:PORT [--admin-token-file FILE]] [--access-log off|common|json]\n"
                     "       orvane-adserver stats --db URL [--json]\n"
                     "       orvane-adserver report --db URL [--since YYYY-MM-DD] [--until YYYY-MM-DD]\n"
                     "           [--by day|ad|product|advertiser|age|gender|country|rating[,...]]...\n"
                     "           [--format table|csv|json]\n"
                     "       orvane-adserver sample-campaign DIR\n"
                     "       orvane-adserver check-campaign DIR\n"
                     "       orvane-adserver --version\n";

// Not in the usage: keeps no rollups, only to measure what keeping them costs.
const QString kWithoutRollups = QStringLiteral("--bench-without-rollups");

int usage(const QString &why)
{
    std::fprintf(stderr, "orvane-adserver: %s\n%s", qPrintable(why), kUsage);
    return 2;
}

// --name value pairs and bare flags; anything unknown is an error.
bool parseFlags(const QStringList &args, const QStringList &valued, const QStringList &bare,
    QHash<QString, QString> *out, QString *error)
{
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        if (bare.contains(a)) {
            out->insert(a, QStringLiteral("1"));
        } else if (valued.contains(a)) {
            if (i + 1 >= args.size()) {
                *error = a + QStringLiteral(" needs a value");
                return false;
            }
            out->insert(a, args[++i]);
        } else {
            *error = QStringLiteral("unknown argument ") + a;
            return false;
        }
    }
    return true;
}

// A number of seconds above zero, as milliseconds; -1 when it is not one.
int milliseconds(const QString &text)
{
    bool ok = false;
    const double seconds = text.toDouble(&ok);
    return ok && seconds > 0 && seconds <= 86400 ? int(seconds * 1000 + 0.5) : -1;
}

QHash<QString, QString> advertisersOf(const Campaign &campaign)
{
    QHash<QString, QString> map;
    for (const CampaignAd &ad : campaign.ads())
        map.insert(ad.adGuid, ad.advertiserGuid);
    return map;
}

// "ADDR:PORT", "[V6ADDR]:PORT".
bool parseEndpoint(const QString &text, QHostAddress *address, quint16 *port)
{
    const qsizetype colon = text.lastIndexOf(u':');
    bool portOk = false;
    const uint number = colon > 0 ? text.mid(colon + 1).toUInt(&portOk) : 0;
    QString host = text.left(colon);
    if (host.startsWith(u'[') && host.endsWith(u']'))
        host = host.mid(1, host.size() - 2);
    *address = QHostAddress(host);
    *port = quint16(number);
    return portOk && number <= 65535 && !address->isNull();
}

QString shownEndpoint(const QHostAddress &address, quint16 port)
{
    const QString host = address.protocol() == QAbstractSocket::IPv6Protocol
        ? QLatin1Char('[') + address.toString() + QLatin1Char(']')
        : address.toString();
    return host + QLatin1Char(':') + QString::number(port);
}

// The admin token: the file's first line, at least 16 characters.
bool readToken(const QString &path, QByteArray *token, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read the admin token file %1: %2").arg(path, file.errorString());
        return false;
    }
    *token = file.read(4096).split('\n').value(0).trimmed();
    if (token->size() < 16) {
        *error = QStringLiteral("the admin token in %1 is shorter than 16 characters").arg(path);
        return false;
    }
    return true;
}

int serve(const QStringList &args)
{
    QHash<QString, QString> flags;
    QString error;
    if (!parseFlags(args,
            {"--campaign", "--db", "--listen", "--public-url", "--idle-timeout", "--request-timeout",
                "--commit-timeout", "--max-connections", "--max-per-peer", "--threads", "--admin-listen",
                "--admin-token-file", "--access-log", "--retain-raw-days"},
            {kWithoutRollups}, &flags, &error))
        return usage(error);
    for (const char *required : {"--campaign", "--db", "--listen"}) {
        if (!flags.contains(QString::fromLatin1(required)))
            return usage(QStringLiteral("missing ") + QString::fromLatin1(required));
    }
    const QString listen = flags.value(QStringLiteral("--listen"));
    QHostAddress address;
    quint16 port = 0;
    if (!parseEndpoint(listen, &address, &port))
        return usage(QStringLiteral("--listen wants ADDR:PORT, got ") + listen);
    QHostAddress adminAddress;
    quint16 adminPort = 0;
    const QString adminListen = flags.value(QStringLiteral("--admin-listen"));
    if (flags.contains(QStringLiteral("--admin-listen")) && !parseEndpoint(adminListen, &adminAddress, &adminPort))
        return usage(QStringLiteral("--admin-listen wants ADDR:PORT, got ") + adminListen);
    if (flags.contains(QStringLiteral("--admin-token-file")) && adminAddress.isNull())
        return usage(QStringLiteral("--admin-token-file needs --admin-listen"));
    const std::optional<AccessLog::Format> accessLog
        = AccessLog::parseFormat(flags.value(QStringLiteral("--access-log"), QStringLiteral("common")));
    if (!accessLog)
        return usage(QStringLiteral("--access-log wants off, common or json"));
    AccessLog::setFormat(*accessLog);
    ServerLog::detachFromSlowReaders();

    ServerOptions options;
    int commitTimeoutMs = ReportStore::kDefaultCommitTimeoutMs;
    options.publicUrl = flags.value(QStringLiteral("--public-url"));
    for (auto [flag, target] : {std::pair {"--idle-timeout", &options.idleTimeoutMs},
             std::pair {"--request-timeout", &options.requestTimeoutMs},
             std::pair {"--commit-timeout", &commitTimeoutMs}}) {
        if (!flags.contains(QString::fromLatin1(flag)))
            continue;
        *target = milliseconds(flags.value(QString::fromLatin1(flag)));
        if (*target < 0)
            return usage(QStringLiteral("%1 wants a number of seconds").arg(QString::fromLatin1(flag)));
    }
    int loops = std::clamp(QThread::idealThreadCount(), 1, 64);
    for (auto [flag, target] : {std::pair {"--max-connections", &options.maxConnections},
             std::pair {"--max-per-peer", &options.maxConnectionsPerPeer}, std::pair {"--threads", &loops}}) {
        if (!flags.contains(QString::fromLatin1(flag)))
            continue;
        bool ok = false;
        *target = flags.value(QString::fromLatin1(flag)).toInt(&ok);
        if (!ok || *target < 1 || *target > 100000)
            return usage(QStringLiteral("%1 wants a count from 1 to 100000").arg(QString::fromLatin1(flag)));
    }
    if (loops > 64)
        return usage(QStringLiteral("--threads wants at most 64"));
    if (options.maxConnectionsPerPeer > options.maxConnections)
        return usage(QStringLiteral("--max-per-peer must not exceed --max-connections"));

    QByteArray token;
    if (flags.contains(QStringLiteral("--admin-token-file"))
        && !readToken(flags.value(QStringLiteral("--admin-token-file")), &token, &error))
        return fail(error);
    std::unique_ptr<CampaignHolder> campaigns = CampaignHolder::load(flags.value(QStringLiteral("--campaign")), &error);
    if (!campaigns)
        return fail(error);
    auto url = DatabaseUrl::parse(flags.value(QStringLiteral("--db")), &error);
    if (!url)
        return fail(error);
    ReportWriter writer(*url);
    StoreOptions storeOptions;
    storeOptions.rollups = !flags.contains(kWithoutRollups);
    if (flags.contains(QStringLiteral("--retain-raw-days"))) {
        bool ok = false;
        storeOptions.retainRawDays = flags.value(QStringLiteral("--retain-raw-days")).toInt(&ok);
        if (!ok || storeOptions.retainRawDays < 1 || storeOptions.retainRawDays > 100000)
            return usage(QStringLiteral("--retain-raw-days wants a count of days from 1 to 100000"));
    }
    storeOptions.commitTimeoutMs = commitTimeoutMs;
    writer.setStoreOptions(storeOptions);
    if (!writer.start(&error))
        return fail(QStringLiteral("cannot open database %1: %2").arg(url->display(), error));
    writer.recordCampaignAds(advertisersOf(*campaigns->current()));

    ConnectionLimits limits(options.maxConnections, options.maxConnectionsPerPeer);
    ServerPool server(campaigns.get(), &writer, &limits, options);
    if (!server.start(loops, address, port, &error))
        return fail(QStringLiteral("cannot listen on %1: %2").arg(listen, error));
    // On the main thread's loop, apart from the report loops and their connection limits.
    AdminServer admin(token);
    addHealthRoutes(admin);
    addDashboardRoutes(admin, *url);
    if (!adminAddress.isNull() && !admin.listen(adminAddress, adminPort, &error))
        return fail(QStringLiteral("cannot listen on %1: %2").arg(adminListen, error));

    if (pipe(g_signalPipe) != 0)
        return fail(QStringLiteral("cannot create the signal pipe"));
    QSocketNotifier notifier(g_signalPipe[0], QSocketNotifier::Read);
    bool stopping = false;
    Metrics &metrics = Metrics::instance();
    qint64 committedBefore = 0;
    QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
        char c = 0;
        [[maybe_unused]] ssize_t n = read(g_signalPipe[0], &c, 1);
        if (c == SIGHUP) {
            if (!stopping && campaigns->reload())
                writer.recordCampaignAds(advertisersOf(*campaigns->current()));
            return;
        }
        if (stopping)
            return;
        stopping = true;
        committedBefore = metrics.reportsCommitted.load();
        ServerLog::event(QStringLiteral("shutting down on %1: %2 connections open, %3 reports queued")
                             .arg(QString::fromLatin1(c == SIGINT ? "SIGINT" : "SIGTERM"))
                             .arg(metrics.openConnections.load())
                             .arg(metrics.writerQueueDepth.load()));
        admin.shutdown();
        // Past the bound the process ends without waiting any longer: a report
        // not yet acknowledged is sent again by its client.
        std::signal(SIGALRM, onShutdownBound);
        alarm(unsigned((options.shutdownBoundMs + 999) / 1000));
        server.shutdown();
    });
    QObject::connect(&server, &ServerPool::drained, QCoreApplication::instance(), &QCoreApplication::quit);
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    std::signal(SIGHUP, onSignal);
    std::signal(SIGPIPE, SIG_IGN); // a log reader gone away must not end the server

    // The first line, which scripts wait for; the log lines follow it.
    ServerLog::writeLine("listening on " + shownEndpoint(server.address(), server.port()).toUtf8());
    ServerLog::event(QStringLiteral("started: %1 event loops, database %2").arg(loops).arg(url->display()));
    campaigns->logLoaded(false);
    if (!adminAddress.isNull())
        ServerLog::event(QStringLiteral("admin listening on ") + shownEndpoint(admin.address(), admin.port()));
    const int code = QCoreApplication::exec();
    server.stop();
    writer.stop(); // commits what is still queued, closes the database
    ServerLog::event(QStringLiteral("stopped: %1 reports committed while draining, %2 connections left")
                         .arg(metrics.reportsCommitted.load() - committedBefore)
                         .arg(metrics.openConnections.load()));
    return code;
}

int stats(const QStringList &args)
{
    QHash<QString, QString> flags;
    QString error;
    if (!parseFlags(args, {"--db"}, {"--json"}, &flags, &error))
        return usage(error);
    if (!flags.contains(QStringLiteral("--db")))
        return usage(QStringLiteral("missing --db"));
    auto url = DatabaseUrl::parse(flags.value(QStringLiteral("--db")), &error);
    if (!url)
        return fail(error);
    StoreOptions options;
    options.mayCreate = false; // a mistyped path is an error, not a new empty database
    options.rollups = false;
    auto store = ReportStore::open(*url, &error, options);
    if (!store)
        return fail(QStringLiteral("cannot open database %1: %2").arg(url->display(), error));
    const auto totals = store->stats(&error);
    if (!totals)
        return fail(error);
    if (flags.contains(QStringLiteral("--json"))) {
        const auto list = [](const QList<AdTotals> &totals) {
            QJsonArray ads;
            for (const AdTotals &ad : totals)
                ads.append(QJsonObject {{QStringLiteral("guid"), ad.guid}, {QStringLiteral("views"), ad.views},
                    {QStringLiteral("clicks"), ad.clicks}});
            return ads;
        };
        QJsonObject root {{QStringLiteral("reports"), totals->reports}, {QStringLiteral("ads"), list(totals->ads)}};
        if (!totals->unknown.isEmpty())
            root.insert(QStringLiteral("unknown"), list(totals->unknown));
        std::printf("%s\n", QJsonDocument(root).toJson(QJsonDocument::Compact).constData());
    } else {
        std::printf("reports: %lld\n", static_cast<long long>(totals->reports));
        for (const AdTotals &ad : totals->ads)
            std::printf("%s  views %lld  clicks %lld\n", qPrintable(ad.guid), static_cast<long long>(ad.views),
                static_cast<long long>(ad.clicks));
        for (const AdTotals &ad : totals->unknown)
            std::printf("%s  not in the campaign, not counted: views %lld  clicks %lld\n", qPrintable(ad.guid),
                static_cast<long long>(ad.views), static_cast<long long>(ad.clicks));
    }
    return 0;
}
} // namespace

int main(int argc, char **argv)
{
    const QString command = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (command == QLatin1String("--version")) {
        std::printf("orvane-adserver %s\n", ORVANE_VERSION_STR);
        return 0;
    }
    if (command == QLatin1String("sample-campaign")) {
        // Drawing text needs a font database: a windowless GUI application.
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QGuiApplication app(argc, argv);
        if (argc != 3)
            return usage(QStringLiteral("sample-campaign takes one folder"));
        QString error;
        if (!writeSampleCampaign(QString::fromLocal8Bit(argv[2]), &error))
            return fail(error);
        return 0;
    }
    // Qt's own event dispatcher serves many sockets with less work than GLib's.
    qputenv("QT_NO_GLIB", "1");
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(2);
    if (args.contains(QStringLiteral("--help"))) {
        std::printf("%s", kUsage);
        return 0;
    }
    if (command == QLatin1String("serve"))
        return serve(args);
    if (command == QLatin1String("stats"))
        return stats(args);
    if (command == QLatin1String("report"))
        return runReportCommand(args);
    if (command == QLatin1String("check-campaign")) {
        if (args.size() != 1)
            return usage(QStringLiteral("check-campaign takes one folder"));
        return CampaignCheck::run(args.front());
    }
    if (command == QLatin1String("--help") || command == QLatin1String("-h")) {
        std::printf("%s", kUsage);
        return 0;
    }
    return usage(command.isEmpty() ? QStringLiteral("no command") : QStringLiteral("unknown command ") + command);
}
