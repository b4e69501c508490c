#include <orvane/Orvane.h>

#include "ReportStore.h"
#include "ReportWriter.h"
#include "catalogue/OVAdvertisement.h"
#include "catalogue/OVCommercials.h"
#include "exchange/ImageLimits.h"
#include "exchange/OVFraming.h"
#include "exchange/OVUsageReport.h"

#include "TestHome.h"

#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <cmath>
#include <csignal>
#include <limits>

using namespace orvane;

namespace {

const QString kProduct = QStringLiteral("{3F2504E0-4F89-11D3-9A0C-0305E82C3301}");

// The database of a data row: SQLite in the test's folder, or the throw-away
// PostgreSQL cluster that scripts/test runs the suite in (empty without one).
QString databaseFor(const QString &kind, const QString &folder)
{
    if (kind == QLatin1String("sqlite"))
        return QStringLiteral("sqlite:") + folder + QStringLiteral("/reports.db");
    return qEnvironmentVariable("ORVANE_TEST_PG_URL");
}

// A usage post of one statistic with its own ad id.
QByteArray post(const QString &adGuid, double lastViewTime = 46000.5, const QString &product = kProduct)
{
    OVUsageReport report;
    report.setProductGUID(product);
    report.AddUsageStat(adGuid, 1, 0, lastViewTime);
    return OVFraming::ComposeUsagePost(QStringLiteral("127.0.0.1"), report.GetStateIntoByteArray());
}

// Ad ids unique to one test row, so rows may share a PostgreSQL database.
class AdIds
{
public:
    AdIds()
        : m_prefix(QStringLiteral("{0B%1-0000-4000-8000-")
                       .arg(QRandomGenerator::global()->bounded(1 << 24), 6, 16, QLatin1Char('0'))
                       .toUpper())
    {
    }
    QString next() { return m_prefix + QStringLiteral("%1}").arg(m_next++, 12, 10, QLatin1Char('0')); }
    bool owns(const QString &guid) const { return guid.startsWith(m_prefix); }

private:
    QString m_prefix;
    int m_next = 0;
};

} // namespace

// The real server process with the sample campaign.
class ServerProcess
{
public:
    explicit ServerProcess(const QString &folder, const QString &db = QString(), QStringList extra = {},
        const QString &listen = QStringLiteral("127.0.0.1:0"))
        : m_folder(folder)
        , m_db(db.isEmpty() ? QStringLiteral("sqlite:") + folder + QStringLiteral("/reports.db") : db)
        , m_extra(std::move(extra))
        , m_listen(listen)
    {
        if (!QFileInfo::exists(campaign()))
            QProcess::execute(QStringLiteral(ADSERVER), {QStringLiteral("sample-campaign"), campaign()});
        start();
    }
    ~ServerProcess() { stop(); }

    bool start()
    {
        m_process.start(QStringLiteral(ADSERVER),
            QStringList {QStringLiteral("serve"), QStringLiteral("--campaign"), campaign(), QStringLiteral("--db"),
                db(), QStringLiteral("--listen"), m_listen}
                + m_extra);
        QByteArray out;
        const bool started = QTest::qWaitFor(
            [&] {
                m_process.waitForReadyRead(50);
                out += m_process.readAllStandardOutput();
                return out.contains('\n') || m_process.state() == QProcess::NotRunning;
            },
            10000);
        port = out.mid(out.lastIndexOf(':') + 1).trimmed().toUShort();
        return started && port > 0;
    }
    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        m_process.waitForFinished(15000);
    }
    void signal(int number) { ::kill(pid_t(m_process.processId()), number); }
    bool waitForExit(int ms) { return m_process.waitForFinished(ms); }
    int exitCode() const { return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1; }
    QString campaign() const { return m_folder + QStringLiteral("/campaign"); }
    QString db() const { return m_db; }
    QJsonObject stats() const
    {
        QProcess p;
        p.start(QStringLiteral(ADSERVER),
            {QStringLiteral("stats"), QStringLiteral("--db"), db(), QStringLiteral("--json")});
        p.waitForFinished(10000);
        return QJsonDocument::fromJson(p.readAllStandardOutput()).object();
    }
    // Views per stored ad id of `ids`.
    QHash<QString, int> views(const AdIds &ids) const
    {
        QHash<QString, int> found;
        for (const QJsonValue &ad : stats().value(QStringLiteral("ads")).toArray()) {
            const QString guid = ad.toObject().value(QStringLiteral("guid")).toString();
            if (ids.owns(guid))
                found.insert(guid, ad.toObject().value(QStringLiteral("views")).toInt());
        }
        return found;
    }
    // One raw exchange on a fresh connection (from `from` when given): what came
    // back before the close or the wait ran out.
    QByteArray raw(const QByteArray &request, int waitMs = 3000, const QHostAddress &from = QHostAddress()) const
    {
        QTcpSocket s;
        if (!from.isNull())
            s.bind(from);
        s.connectToHost(QHostAddress::LocalHost, port);
        s.waitForConnected(3000);
        s.write(request);
        QByteArray got;
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < waitMs && s.state() == QAbstractSocket::ConnectedState) {
            if (s.waitForReadyRead(50))
                got += s.readAll();
            const qsizetype end = got.indexOf("\r\n\r\n");
            if (end >= 0) {
                const qsizetype at = got.indexOf("Content-Length: ");
                if (at >= 0 && got.size() >= end + 4 + got.mid(at + 16, got.indexOf('\r', at) - at - 16).toInt())
                    break;
            }
        }
        return got + s.readAll();
    }

    quint16 port = 0;

private:
    QString m_folder;
    QString m_db;
    QStringList m_extra;
    QString m_listen;
    QProcess m_process;
};

// Clients posting reports with fresh ad ids, each on a new connection as soon
// as the last one is answered, until told to stop or the server goes away.
class ReportLoad
{
public:
    ReportLoad(quint16 port, AdIds *ids, int clients)
        : m_port(port)
        , m_ids(ids)
    {
        for (int i = 0; i < clients; ++i)
            next();
    }
    void stop() { m_stopping = true; }
    bool finished() const { return m_running == 0; }

    QSet<QString> acknowledged;
    int answered = 0;

private:
    void next()
    {
        if (m_stopping)
            return;
        ++m_running;
        auto *s = new QTcpSocket;
        const QString guid = m_ids->next();
        auto received = std::make_shared<QByteArray>();
        QObject::connect(s, &QTcpSocket::readyRead, s, [s, received] {
            *received += s->readAll();
            if (received->contains("\r\n\r\n"))
                s->disconnectFromHost();
        });
        QObject::connect(s, &QTcpSocket::stateChanged, s, [this, s, guid, received](auto state) {
            if (state != QAbstractSocket::UnconnectedState)
                return;
            *received += s->readAll();
            --m_running;
            s->deleteLater();
            if (received->isEmpty())
                return; // the server is gone: this client stops
            ++answered;
            if (received->startsWith("HTTP/1.1 200 OK"))
                acknowledged.insert(guid);
            next();
        });
        s->connectToHost(QHostAddress::LocalHost, m_port);
        s->write(post(guid));
    }

    quint16 m_port;
    AdIds *m_ids;
    int m_running = 0;
    bool m_stopping = false;
};

class TestAdServer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void transfersFillTheCatalogueAndCountsReachTheServerOnce();
    void requestsGetTheirAnswers_data();
    void requestsGetTheirAnswers();
    void poisonedReportsFailOnlyThemselves_data();
    void poisonedReportsFailOnlyThemselves();
    void oneRefusedRowFailsOnlyItsReport();
    void slowClientsCannotStarveTheServer();
    void acknowledgedReportsSurviveAStop_data();
    void acknowledgedReportsSurviveAStop();
    void twoServersShareOneDatabase();
    void refusedStartsExitWithTwo_data();
    void refusedStartsExitWithTwo();
};

void TestAdServer::transfersFillTheCatalogueAndCountsReachTheServerOnce()
{
    TestHome home;
    ServerProcess server(home.path());
    QVERIFY(server.port > 0);
    Orvane control;
    control.ReadProperties(MemoryPropertyBag());
    control.setRemoteHost(QStringLiteral("127.0.0.1"));
    control.setRemotePort(QString::number(server.port));
    control.setProductGUID(kProduct);
    control.setDataFolder(home.path() + QStringLiteral("/data"));
    control.setImageFolder(home.path() + QStringLiteral("/images"));
    QDir().mkpath(control.DataFolder());
    bool ok = false;
    connect(&control, &Orvane::TransferComplete, this, [&](bool s) { ok = s; });
    QCOMPARE(int(control.Transfer()), 0);
    QVERIFY(ok);

    const QString guid = QStringLiteral("{0A000000-0000-4000-8000-000000000003}");
    {
        OVCommercials catalogue;
        catalogue.LoadAdInfoFromLocalStorage(control.DataFolder(), control.ImageFolder());
        QCOMPARE(catalogue.AdCount(), int16_t(12));
        QCOMPARE(QDir(control.ImageFolder()).entryList(QDir::Files).size(), 12);
        const auto ad = catalogue.GetAdByGUID(guid);
        ad->setViewCount(7);
        ad->setClickCount(2);
        QVERIFY(catalogue.SaveAdInfoToLocalStorage());
    }
    // A fresh control loads the counts from the data file, as after a restart.
    Orvane again;
    again.ReadProperties(MemoryPropertyBag());
    again.setRemoteHost(control.RemoteHost());
    again.setRemotePort(control.RemotePort());
    again.setProductGUID(control.ProductGUID());
    again.setDataFolder(control.DataFolder());
    again.setImageFolder(control.ImageFolder());
    QCOMPARE(int(again.Transfer()), 0);
    QCOMPARE(int(again.Transfer()), 0); // nothing more to report

    const QJsonObject stats = server.stats();
    QCOMPARE(stats.value(QStringLiteral("reports")).toInt(), 3);
    const QJsonArray ads = stats.value(QStringLiteral("ads")).toArray();
    QCOMPARE(ads.size(), 1);
    QCOMPARE(ads[0].toObject().value(QStringLiteral("guid")).toString(), guid);
    QCOMPARE(ads[0].toObject().value(QStringLiteral("views")).toInt(), 7);
    QCOMPARE(ads[0].toObject().value(QStringLiteral("clicks")).toInt(), 2);
    OVCommercials after;
    after.LoadAdInfoFromLocalStorage(control.DataFolder(), control.ImageFolder());
    QCOMPARE(after.GetAdByGUID(guid)->ViewCount(), int16_t(0));
    QCOMPARE(after.GetAdByGUID(guid)->ClickCount(), int16_t(0));
}

void TestAdServer::requestsGetTheirAnswers_data()
{
    QTest::addColumn<QString>("listen");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("status");
    QTest::addColumn<QByteArray>("contains"); // "PORT" stands for the server's port

    const QString local = QStringLiteral("127.0.0.1:0");
    const QString any = QStringLiteral("0.0.0.0:0");
    const QByteArray ads = "GET /Orvane/Ads HTTP/1.1\r\nHost: ";
    QTest::newRow("garbage report") << local
                                    << OVFraming::ComposeUsagePost(
                                           QStringLiteral("x"), QByteArray("\x03\x00\x05garbage", 10))
                                    << QByteArray("HTTP/1.1 400") << QByteArray();
    QTest::newRow("overlong target") << local << "GET /" + QByteArray(20000, 'a') + " HTTP/1.1\r\n\r\n"
                                     << QByteArray("HTTP/1.1 400") << QByteArray();
    QTest::newRow("escape from the images")
        << local << QByteArray("GET /images/../campaign.json HTTP/1.1\r\nHost: x\r\n\r\n") << QByteArray("HTTP/1.1 404")
        << QByteArray();
    QTest::newRow("image") << local << QByteArray("GET /images/images/ad01.png HTTP/1.1\r\nHost: x\r\n\r\n")
                           << QByteArray("HTTP/1.1 200 OK") << QByteArray("image/png");
    QTest::newRow("ads on one address name it")
        << local << ads + "ads.example.com\r\n\r\n"
        << QByteArray("HTTP/1.1 200 OK") << QByteArray("http://127.0.0.1:PORT/images");
    QTest::newRow("ads on every address name the Host")
        << any << ads + "ads.example.com\r\n\r\n"
        << QByteArray("HTTP/1.1 200 OK") << QByteArray("http://ads.example.com:PORT/images");
    QTest::newRow("Host with its port") << any << ads + "10.1.2.3:8080\r\n\r\n"
                                        << QByteArray("HTTP/1.1 200 OK") << QByteArray("http://10.1.2.3:8080/images");
    QTest::newRow("IPv6 Host") << any << ads + "[::1]\r\n\r\n"
                               << QByteArray("HTTP/1.1 200 OK") << QByteArray("http://[::1]:PORT/images");
    QTest::newRow("Host with a path") << any << ads + "evil.example/x\r\n\r\n"
                                      << QByteArray("HTTP/1.1 400") << QByteArray();
    QTest::newRow("Host with a bad port") << any << ads + "a.example:99999\r\n\r\n"
                                          << QByteArray("HTTP/1.1 400") << QByteArray();
    QTest::newRow("no Host") << any << QByteArray("GET /Orvane/Ads HTTP/1.1\r\n\r\n") << QByteArray("HTTP/1.1 400")
                             << QByteArray();
}

void TestAdServer::requestsGetTheirAnswers()
{
    QFETCH(QString, listen);
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, status);
    QFETCH(QByteArray, contains);
    TestHome home;
    ServerProcess server(home.path(), QString(), {}, listen);
    QVERIFY(server.port > 0);
    const QByteArray answer = server.raw(request);
    QVERIFY2(answer.startsWith(status), answer.left(200).constData());
    QVERIFY2(answer.contains(QByteArray(contains).replace("PORT", QByteArray::number(server.port))),
        answer.left(400).constData());
}

void TestAdServer::poisonedReportsFailOnlyThemselves_data()
{
    QTest::addColumn<QString>("db");
    QTest::addColumn<double>("lastViewTime");
    QTest::addColumn<QString>("product");
    const QString nul = kProduct.left(37) + QChar(u'\0');
    for (const char *db : {"sqlite", "postgresql"}) {
        const QString kind = QString::fromLatin1(db);
        QTest::addRow("%s NaN view time", db) << kind << std::numeric_limits<double>::quiet_NaN() << kProduct;
        QTest::addRow("%s infinite view time", db) << kind << std::numeric_limits<double>::infinity() << kProduct;
        QTest::addRow("%s view time past 9999", db) << kind << 3.0e6 << kProduct;
        QTest::addRow("%s NUL in the product id", db) << kind << 46000.5 << nul;
    }
}

void TestAdServer::poisonedReportsFailOnlyThemselves()
{
    QFETCH(QString, db);
    QFETCH(double, lastViewTime);
    QFETCH(QString, product);
    TestHome home;
    const QString url = databaseFor(db, home.path());
    if (url.isEmpty())
        QSKIP("no PostgreSQL cluster (ORVANE_TEST_PG_URL is not set)");
    ServerProcess server(home.path(), url);
    QVERIFY(server.port > 0);
    // 40 posts at once, so that they meet in the same group commits.
    AdIds ids;
    std::vector<std::unique_ptr<QTcpSocket>> sockets;
    QStringList valid;
    for (int i = 0; i < 40; ++i) {
        const QString guid = ids.next();
        const bool poisoned = i == 7 || i == 30;
        if (!poisoned)
            valid << guid;
        sockets.push_back(std::make_unique<QTcpSocket>());
        sockets.back()->connectToHost(QHostAddress::LocalHost, server.port);
        sockets.back()->write(poisoned ? post(guid, lastViewTime, product) : post(guid));
    }
    QHash<int, QByteArray> answers;
    QVERIFY(QTest::qWaitFor(
        [&] {
            for (int i = 0; i < 40; ++i) {
                answers[i] += sockets[i]->readAll();
            }
            return std::all_of(
                answers.cbegin(), answers.cend(), [](const QByteArray &a) { return a.contains("\r\n\r\n"); });
        },
        10000));
    for (int i = 0; i < 40; ++i)
        QVERIFY2(answers[i].startsWith(i == 7 || i == 30 ? "HTTP/1.1 400" : "HTTP/1.1 200 OK"), answers[i].constData());
    const QHash<QString, int> stored = server.views(ids);
    QCOMPARE(stored.size(), 38);
    for (const QString &guid : valid)
        QCOMPARE(stored.value(guid), 1);
}

void TestAdServer::oneRefusedRowFailsOnlyItsReport()
{
    // Should a value the database refuses ever get past the checks, it fails its
    // own report, not the group commit it meets the others in.
    TestHome home;
    QString error;
    const std::optional<adserver::DatabaseUrl> url
        = adserver::DatabaseUrl::parse(databaseFor(QStringLiteral("sqlite"), home.path()), &error);
    QVERIFY(url);
    adserver::ReportWriter writer(*url);
    QVERIFY2(writer.start(&error), qPrintable(error));
    QSignalSpy committed(&writer, &adserver::ReportWriter::committed);
    QList<quint64> tickets;
    for (int i = 0; i < 5; ++i) {
        adserver::StoredReport report;
        report.received = QDateTime::currentDateTimeUtc();
        report.peer = QStringLiteral("127.0.0.1");
        report.productGuid = kProduct;
        report.gender = report.postalCode = report.countryCode = QStringLiteral("");
        // SQLite keeps a NaN as NULL, which the NOT NULL column refuses.
        report.ads.append({QStringLiteral("{0A000000-0000-4000-8000-000000000001}"), 1, 0,
            i == 2 ? std::numeric_limits<double>::quiet_NaN() : 46000.0});
        tickets << writer.submit(report);
    }
    QList<quint64> stored;
    QList<quint64> failed;
    QVERIFY(QTest::qWaitFor(
        [&] {
            for (; !committed.isEmpty(); committed.removeFirst()) {
                stored += committed.first().at(0).value<QList<quint64>>();
                failed += committed.first().at(1).value<QList<quint64>>();
            }
            return stored.size() + failed.size() == 5;
        },
        10000));
    QCOMPARE(failed, QList<quint64> {tickets[2]});
    writer.stop();
    auto store = adserver::ReportStore::open(*url, &error);
    QCOMPARE(store->stats(&error)->reports, 4);
}

void TestAdServer::slowClientsCannotStarveTheServer()
{
    TestHome home;
    ServerProcess server(home.path(), QString(),
        {QStringLiteral("--request-timeout"), QStringLiteral("1"), QStringLiteral("--idle-timeout"),
            QStringLiteral("0.5")});
    QVERIFY(server.port > 0);
    // One peer opens 300 connections and trickles a header, a byte at a time.
    std::vector<std::unique_ptr<QTcpSocket>> slow;
    for (int i = 0; i < 300; ++i) {
        slow.push_back(std::make_unique<QTcpSocket>());
        slow.back()->connectToHost(QHostAddress::LocalHost, server.port);
    }
    QTimer trickle;
    connect(&trickle, &QTimer::timeout, this, [&] {
        for (auto &s : slow) {
            if (s->state() == QAbstractSocket::ConnectedState)
                s->write("G");
        }
    });
    trickle.start(100);
    QTest::qWait(300);
    // Another peer is served at once.
    QElapsedTimer served;
    served.start();
    const QByteArray answer
        = server.raw("GET /Orvane/Ads HTTP/1.1\r\nHost: x\r\n\r\n", 3000, QHostAddress(QStringLiteral("127.0.0.2")));
    QVERIFY2(answer.startsWith("HTTP/1.1 200 OK"), answer.left(100).constData());
    QVERIFY(served.elapsed() < 1000);
    // The trickling connections are cut when their request's time is up, and a
    // silent one after the idle time.
    QTcpSocket silent;
    silent.connectToHost(QHostAddress::LocalHost, server.port);
    QVERIFY(silent.waitForConnected(3000));
    QVERIFY(QTest::qWaitFor(
        [&] {
            return std::none_of(slow.cbegin(), slow.cend(),
                [](const auto &s) { return s->state() == QAbstractSocket::ConnectedState; });
        },
        5000));
    QVERIFY(QTest::qWaitFor([&] { return silent.state() == QAbstractSocket::UnconnectedState; }, 3000));
    QCOMPARE(server.stats().value(QStringLiteral("reports")).toInt(), 0);
}

void TestAdServer::acknowledgedReportsSurviveAStop_data()
{
    QTest::addColumn<QString>("db");
    QTest::addColumn<int>("signal");
    for (const char *db : {"sqlite", "postgresql"}) {
        QTest::addRow("%s SIGKILL", db) << QString::fromLatin1(db) << SIGKILL;
        QTest::addRow("%s SIGTERM", db) << QString::fromLatin1(db) << SIGTERM;
    }
}

void TestAdServer::acknowledgedReportsSurviveAStop()
{
    QFETCH(QString, db);
    QFETCH(int, signal);
    TestHome home;
    const QString url = databaseFor(db, home.path());
    if (url.isEmpty())
        QSKIP("no PostgreSQL cluster (ORVANE_TEST_PG_URL is not set)");
    ServerProcess server(home.path(), url);
    QVERIFY(server.port > 0);
    AdIds ids;
    ReportLoad load(server.port, &ids, 16);
    QVERIFY(QTest::qWaitFor([&] { return load.answered >= 100; }, 10000));
    // Somewhere in a group's way from the socket through the commit to the answers.
    QTest::qWait(QRandomGenerator::global()->bounded(15));
    QElapsedTimer stopping;
    stopping.start();
    server.signal(signal);
    QVERIFY(server.waitForExit(12000));
    // Every connection gets its answer or its close; nothing is left hanging.
    QVERIFY(QTest::qWaitFor([&] { return load.finished(); }, 5000));
    if (signal == SIGTERM) {
        QVERIFY(stopping.elapsed() < 10000);
        QCOMPARE(server.exitCode(), 0);
    }
    QVERIFY(server.start()); // recovery after a kill
    server.stop();
    const QHash<QString, int> stored = server.views(ids);
    qInfo("answered %d, acknowledged %d, stored %d", load.answered, int(load.acknowledged.size()), int(stored.size()));
    for (const QString &guid : std::as_const(load.acknowledged))
        QCOMPARE(stored.value(guid), 1);
    // An orderly stop answers every report it stores: none is sent again.
    if (signal == SIGTERM)
        QCOMPARE(stored.size(), load.acknowledged.size());
}

void TestAdServer::twoServersShareOneDatabase()
{
    TestHome home;
    const QString url = databaseFor(QStringLiteral("postgresql"), home.path());
    if (url.isEmpty())
        QSKIP("no PostgreSQL cluster (ORVANE_TEST_PG_URL is not set)");
    ServerProcess first(home.path(), url);
    ServerProcess second(home.path(), url);
    QVERIFY(first.port > 0 && second.port > 0 && first.port != second.port);
    AdIds ids;
    ReportLoad one(first.port, &ids, 8);
    ReportLoad two(second.port, &ids, 8);
    QVERIFY(QTest::qWaitFor([&] { return one.answered >= 100 && two.answered >= 100; }, 10000));
    one.stop();
    two.stop();
    QVERIFY(QTest::qWaitFor([&] { return one.finished() && two.finished(); }, 5000));
    const QHash<QString, int> stored = first.views(ids);
    QCOMPARE(stored.size(), one.acknowledged.size() + two.acknowledged.size());
    for (const QString &guid : one.acknowledged + two.acknowledged)
        QCOMPARE(stored.value(guid), 1);
}

void TestAdServer::refusedStartsExitWithTwo_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("image"); // what replaces the campaign's first image
    QTest::addColumn<QByteArray>("message");
    const QStringList serve {QStringLiteral("serve"), QStringLiteral("--campaign"), QStringLiteral("CAMPAIGN"),
        QStringLiteral("--db"), QStringLiteral("sqlite:/tmp/never.db"), QStringLiteral("--listen"),
        QStringLiteral("127.0.0.1:0")};
    QTest::newRow("no arguments") << QStringList {QStringLiteral("serve")} << QString() << QByteArray("missing");
    QTest::newRow("unknown command") << QStringList {QStringLiteral("bogus")} << QString()
                                     << QByteArray("unknown command");
    QTest::newRow("no campaign") << QStringList {QStringLiteral("serve"), QStringLiteral("--campaign"),
        QStringLiteral("/nonexistent"), QStringLiteral("--db"), QStringLiteral("sqlite:/tmp/never.db"),
        QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0")}
                                 << QString() << QByteArray("does not exist");
    QTest::newRow("zero time-out") << serve + QStringList {QStringLiteral("--request-timeout"), QStringLiteral("0")}
                                   << QString() << QByteArray("seconds");
    QTest::newRow("peer cap above the total") << serve
            + QStringList {QStringLiteral("--max-connections"), QStringLiteral("10"), QStringLiteral("--max-per-peer"),
                QStringLiteral("20")} << QString()
                                              << QByteArray("must not exceed");
    QTest::newRow("image of too many bytes") << serve << QStringLiteral("bytes") << QByteArray("1048576 a client");
    QTest::newRow("image too wide") << serve << QStringLiteral("wide") << QByteArray("2049 x 8 pixels");
    QTest::newRow("image too tall") << serve << QStringLiteral("tall") << QByteArray("8 x 2049 pixels");
}

void TestAdServer::refusedStartsExitWithTwo()
{
    QFETCH(QStringList, args);
    QFETCH(QString, image);
    QFETCH(QByteArray, message);
    TestHome home;
    const QString campaign = home.path() + QStringLiteral("/campaign");
    QProcess::execute(QStringLiteral(ADSERVER), {QStringLiteral("sample-campaign"), campaign});
    const QString ad01 = campaign + QStringLiteral("/images/ad01.png");
    if (image == QLatin1String("bytes")) {
        QFile file(ad01);
        QVERIFY(file.open(QIODevice::Append));
        file.write(QByteArray(ImageLimits::kMaxImageBytes, '\0'));
    } else if (!image.isEmpty()) {
        const int side = ImageLimits::kMaxImageSide + 1;
        QImage picture(image == QLatin1String("wide") ? QSize(side, 8) : QSize(8, side), QImage::Format_RGB32);
        picture.fill(Qt::white);
        QVERIFY(picture.save(ad01, "PNG"));
    }
    args.replaceInStrings(QStringLiteral("CAMPAIGN"), campaign);
    QProcess p;
    p.start(QStringLiteral(ADSERVER), args);
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitCode(), 2);
    const QByteArray err = p.readAllStandardError();
    QVERIFY2(err.contains(message), err.constData());
}

QTEST_MAIN(TestAdServer)
#include "test_adserver.moc"
