// The ad server when the world around it misbehaves: its database goes away,
// locks up or comes back, other programs take its port, peers hold connections
// open or send counts no control could have made.
#include "AdServerHarness.h"
#include "ConnectionLimits.h"
#include "DatabaseUrl.h"
#include "ReportStore.h"
#include "TestHome.h"

#include <memory>
#include <optional>

using namespace orvane::adserver;

namespace {

const QString kCampaignAd = campaignAd(1);
const QByteArray kAdsRequest = get("/Orvane/Ads", "Connection: close\r\n");

// A usage post of entries "GUID:views:clicks" separated by spaces.
QByteArray reportOf(const QString &entries)
{
    OVUsageReport report;
    report.setProductGUID(kProduct);
    for (const QString &entry : entries.split(u' ')) {
        const QStringList f = entry.split(u':');
        report.AddUsageStat(f[0], int16_t(f[1].toInt()), int16_t(f[2].toInt()), 46000.5);
    }
    return OVFraming::ComposeUsagePost(u"127.0.0.1"_s, report.GetStateIntoByteArray());
}

// Views of one id in a list of the stats, or -1 when it is not there.
int viewsIn(const QJsonObject &stats, const QString &list, const QString &guid)
{
    for (const QJsonValue &ad : stats.value(list).toArray())
        if (ad.toObject().value(u"guid"_s).toString() == guid)
            return ad.toObject().value(u"views"_s).toInt();
    return -1;
}

} // namespace

class TestAdServerFaults : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void peersAreNetworks_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<bool>("samePeer");
        QTest::newRow("one IPv4 /24") << u"10.1.2.3"_s << u"10.1.2.250"_s << true;
        QTest::newRow("next IPv4 /24") << u"10.1.2.3"_s << u"10.1.3.3"_s << false;
        QTest::newRow("IPv4-mapped IPv6") << u"::ffff:10.1.2.3"_s << u"10.1.2.9"_s << true;
        QTest::newRow("one IPv6 /64") << u"2001:db8:1:2::1"_s << u"2001:db8:1:2:ffff:1:2:3"_s << true;
        QTest::newRow("next IPv6 /64") << u"2001:db8:1:2::1"_s << u"2001:db8:1:3::1"_s << false;
    }
    void peersAreNetworks()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(bool, samePeer);
        QCOMPARE(ConnectionLimits::group(QHostAddress(a)) == ConnectionLimits::group(QHostAddress(b)), samePeer);
    }

    void countsAreChecked_data()
    {
        QTest::addColumn<QString>("db");
        QTest::addColumn<QString>("entries"); // AD stands for an ad of the campaign, NEW for an id outside it
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("counted"); // views added to AD's total
        for (const char *db : {"sqlite", "postgresql"}) {
            const QString kind = QString::fromLatin1(db);
            QTest::addRow("%s one ad twice", db) << kind << u"AD:20000:5 AD:12767:5"_s << 200 << 32767;
            QTest::addRow("%s views beyond a control", db) << kind << u"AD:20000:0 AD:12768:0"_s << 400 << 0;
            QTest::addRow("%s clicks beyond a control", db) << kind << u"AD:1:32000 AD:1:768"_s << 400 << 0;
            QTest::addRow("%s id outside the campaign", db) << kind << u"AD:3:0 NEW:9:0"_s << 200 << 3;
        }
    }
    void countsAreChecked()
    {
        QFETCH(QString, entries);
        QFETCH(int, status);
        QFETCH(int, counted);
        FETCH_DATABASE(url);
        TestHome home;
        ServerProcess server(home.path(), *url);
        AdIds ids;
        const QString unknown = ids.next();
        const int before = std::max(0, viewsIn(server.stats(), u"ads"_s, kCampaignAd));
        const QByteArray body = reportOf(entries.replace(u"AD"_s, kCampaignAd).replace(u"NEW"_s, unknown));
        QCOMPARE(statusOf(exchange(server.port, body)), status);
        const QJsonObject after = server.stats();
        QCOMPARE(std::max(0, viewsIn(after, u"ads"_s, kCampaignAd)) - before, counted);
        QCOMPARE(viewsIn(after, u"ads"_s, unknown), -1);
        QCOMPARE(viewsIn(after, u"unknown"_s, unknown), entries.contains(unknown) ? 9 : -1);
    }

    void secondServerOnAPortFailsToStart()
    {
        TestHome home;
        ServerProcess first(home.path());
        ServerProcess second(home.path(), QString(), {u"--listen"_s, u"127.0.0.1:%1"_s.arg(first.port)});
        QCOMPARE(second.process.state(), QProcess::NotRunning);
        QCOMPARE(second.process.exitCode(), 2);
        QVERIFY(second.process.readAllStandardError().contains("already served"));
        QCOMPARE(statusOf(exchange(first.port, post(kCampaignAd))), 200);
    }

    void deletedDatabaseLosesNoAcknowledgedReport_data()
    {
        testdata::boolRows("replaced", "deleted", "replaced"); // by another database, or deleted
    }
    void deletedDatabaseLosesNoAcknowledgedReport()
    {
        QFETCH(bool, replaced);
        TestHome home;
        ServerProcess server(home.path());
        AdIds ids;
        QCOMPARE(statusOf(exchange(server.port, post(ids.next()))), 200);
        const QString file = home.path() + u"/reports.db"_s;
        for (const char *suffix : {"", "-wal", "-shm"})
            QFile::remove(file + QLatin1String(suffix));
        if (replaced) { // by a database of its own, made by another program
            QString error;
            QVERIFY(ReportStore::open(*DatabaseUrl::parse(u"sqlite:"_s + file + u".new"_s, &error), &error));
            QVERIFY(QFile::rename(file + u".new"_s, file));
        }
        AdIds after;
        QSet<QString> acknowledged;
        for (int i = 0; i < 20; ++i) {
            const QString guid = after.next();
            if (statusOf(exchange(server.port, post(guid))) == 200)
                acknowledged.insert(guid);
        }
        QCOMPARE(acknowledged.size(), 20);
        const QHash<QString, int> stored = server.views(after);
        QCOMPARE(QSet<QString>(stored.keyBegin(), stored.keyEnd()), acknowledged);
    }

    void postgresRestartIsRecovered()
    {
        const QString url = qEnvironmentVariable("ORVANE_TEST_PG_URL");
        const QString restart = qEnvironmentVariable("ORVANE_TEST_PG_RESTART");
        if (url.isEmpty() || restart.isEmpty())
            QSKIP("no PostgreSQL cluster to restart (ORVANE_TEST_PG_RESTART is not set)");
        TestHome home;
        ServerProcess server(home.path(), url, {u"--commit-timeout"_s, u"0.5"_s});
        AdIds ids;
        QCOMPARE(statusOf(exchange(server.port, post(ids.next()))), 200);
        QCOMPARE(QProcess::execute(u"sh"_s, {u"-c"_s, restart + u" >/dev/null"_s}), 0);
        // Reports are refused (503) until the server has its connection again, then acknowledged.
        QSet<QString> acknowledged;
        QList<int> others;
        const auto postOne = [&] {
            const QString guid = ids.next();
            const int status = statusOf(exchange(server.port, post(guid)));
            if (status == 200)
                acknowledged.insert(guid);
            else if (status != 503)
                others.append(status);
            return status == 200;
        };
        QTRY_VERIFY_WITH_TIMEOUT(postOne(), 10000);
        QCOMPARE(others, QList<int>());
        const QHash<QString, int> stored = server.views(ids);
        for (const QString &guid : acknowledged)
            QCOMPARE(stored.value(guid), 1);
    }

    void lockedDatabaseAnswersWithinTheBound_data() { bothDatabases(); }
    void lockedDatabaseAnswersWithinTheBound()
    {
        FETCH_DATABASE(url);
        TestHome home;
        ServerProcess server(home.path(), *url,
            {u"--commit-timeout"_s, u"0.3"_s, u"--max-connections"_s, u"16"_s, u"--max-per-peer"_s, u"16"_s});
        AdIds ids;
        std::optional<ReportLoad> load;
        {
            TableLock lock(url->isEmpty() ? u"sqlite:"_s + home.path() + u"/reports.db"_s : *url);
            // More clients post reports than the server holds connections.
            load.emplace(server.port, &ids, 24, [](const QString &guid) { return post(guid); });
            QTRY_VERIFY(load->answers.size() >= 24);
            // The ad lists are served all the same.
            for (int i = 0; i < 5; ++i)
                QCOMPARE(statusOf(exchange(server.port, kAdsRequest, QHostAddress(u"127.0.0.2"_s))), 200);
            QVERIFY(load->answers.keys(true).isEmpty());
        }
        QTRY_VERIFY(!load->answers.keys(true).isEmpty());
        QVERIFY(load->settle());
        const QHash<QString, int> stored = server.views(ids);
        for (auto answer = load->answers.cbegin(); answer != load->answers.cend(); ++answer)
            QCOMPARE(stored.value(answer.key()), answer.value() ? 1 : 0);
    }

    void slowConnectionsFromManyAddressesAreShed()
    {
        TestHome home;
        ServerProcess server(home.path(), QString(), {u"--max-connections"_s, u"64"_s, u"--max-per-peer"_s, u"64"_s});
        std::vector<std::unique_ptr<QTcpSocket>> silent;
        for (int address = 1; address <= 8; ++address) {
            for (int i = 0; i < 64; ++i) {
                silent.push_back(std::make_unique<QTcpSocket>());
                silent.back()->bind(QHostAddress(u"127.0.0.%1"_s.arg(address)));
                silent.back()->connectToHost(QHostAddress::LocalHost, server.port);
            }
        }
        QTRY_VERIFY(std::all_of(silent.cbegin(), silent.cend(),
            [](const auto &s) { return s->state() != QAbstractSocket::ConnectingState; }));
        for (int i = 0; i < 20; ++i) {
            QElapsedTimer served;
            served.start();
            QCOMPARE(statusOf(exchange(server.port, kAdsRequest, QHostAddress(u"127.0.0.%1"_s.arg(9 + i)))), 200);
            QVERIFY(served.elapsed() < 1000);
        }
    }
};

QTEST_MAIN(TestAdServerFaults)
#include "test_adserver_faults.moc"
