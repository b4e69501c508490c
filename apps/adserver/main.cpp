// orvane-adserver: the reference ad server.
//   serve --campaign DIR --db URL --listen ADDR:PORT [--public-url URL] [limits]
//   stats --db URL [--json]
//   sample-campaign DIR
#include "DatabaseUrl.h"
#include "ReportStore.h"
#include "SampleCampaign.h"
#include "ServerPool.h"

#include <orvane/OrvaneVersion.h>

#include <QCoreApplication>
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

void onSignal(int)
{
    const char c = 1;
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
                     "           [--max-connections N] [--max-per-peer N] [--threads N]\n"
                     "       orvane-adserver stats --db URL [--json]\n"
                     "       orvane-adserver sample-campaign DIR\n"
                     "       orvane-adserver --version\n";

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

int serve(const QStringList &args)
{
    QHash<QString, QString> flags;
    QString error;
    if (!parseFlags(args,
            {"--campaign", "--db", "--listen", "--public-url", "--idle-timeout", "--request-timeout",
                "--commit-timeout", "--max-connections", "--max-per-peer", "--threads"},
            {}, &flags, &error))
        return usage(error);
    for (const char *required : {"--campaign", "--db", "--listen"}) {
        if (!flags.contains(QString::fromLatin1(required)))
            return usage(QStringLiteral("missing ") + QString::fromLatin1(required));
    }
    const QString listen = flags.value(QStringLiteral("--listen"));
    const qsizetype colon = listen.lastIndexOf(u':');
    bool portOk = false;
    const uint port = colon > 0 ? listen.mid(colon + 1).toUInt(&portOk) : 0;
    QString host = listen.left(colon);
    if (host.startsWith(u'[') && host.endsWith(u']'))
        host = host.mid(1, host.size() - 2);
    const QHostAddress address(host);
    if (!portOk || port > 65535 || address.isNull())
        return usage(QStringLiteral("--listen wants ADDR:PORT, got ") + listen);

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

    auto campaign = Campaign::load(flags.value(QStringLiteral("--campaign")), &error);
    if (!campaign)
        return fail(error);
    auto url = DatabaseUrl::parse(flags.value(QStringLiteral("--db")), &error);
    if (!url)
        return fail(error);
    ReportWriter writer(*url, commitTimeoutMs);
    if (!writer.start(&error))
        return fail(QStringLiteral("cannot open database %1: %2").arg(url->display(), error));

    ConnectionLimits limits(options.maxConnections, options.maxConnectionsPerPeer);
    ServerPool server(&*campaign, &writer, &limits, options);
    if (!server.start(loops, address, quint16(port), &error))
        return fail(QStringLiteral("cannot listen on %1: %2").arg(listen, error));

    if (pipe(g_signalPipe) != 0)
        return fail(QStringLiteral("cannot create the signal pipe"));
    QSocketNotifier notifier(g_signalPipe[0], QSocketNotifier::Read);
    bool stopping = false;
    QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
        char c;
        [[maybe_unused]] ssize_t n = read(g_signalPipe[0], &c, 1);
        if (stopping)
            return;
        stopping = true;
        // Past the bound the process ends without waiting any longer: a report
        // not yet acknowledged is sent again by its client.
        std::signal(SIGALRM, onShutdownBound);
        alarm(unsigned((options.shutdownBoundMs + 999) / 1000));
        server.shutdown();
    });
    QObject::connect(&server, &ServerPool::drained, QCoreApplication::instance(), &QCoreApplication::quit);
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);

    const QString shown = address.protocol() == QAbstractSocket::IPv6Protocol
        ? QLatin1Char('[') + server.address().toString() + QLatin1Char(']')
        : server.address().toString();
    std::printf("listening on %s:%u\n", qPrintable(shown), unsigned(server.port()));
    std::fflush(stdout);
    const int code = QCoreApplication::exec();
    server.stop();
    writer.stop(); // commits what is still queued, closes the database
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
    auto store = ReportStore::open(*url, &error);
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
    if (command == QLatin1String("--help") || command == QLatin1String("-h")) {
        std::printf("%s", kUsage);
        return 0;
    }
    return usage(command.isEmpty() ? QStringLiteral("no command") : QStringLiteral("unknown command ") + command);
}
