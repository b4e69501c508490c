#include <orvane/Orvane.h>

#include "catalogue/OVAdvertisement.h"
#include "catalogue/OVCommercials.h"
#include "exchange/OVFraming.h"
#include "exchange/OVUsageReport.h"
#include "personalization/OVUser.h"
#include "platform/ImageLimits.h"

#include "AdServerHarness.h"
#include "TestHome.h"

#include <QImage>
#include <QRandomGenerator>
#include <QTimer>

#include <csignal>
#include <limits>

class TestAdServer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void transfersFillTheCatalogueAndCountsReachTheServerOnce()
    {
        TestHome home;
        ServerProcess server(home.path());
        const QString images = home.path() + u"/images"_s;
        {
            Orvane user; // the demographics live in the user's settings store
            user.setRating(20);
            user.setAgeRange(30);
        }
        // A fresh control each time loads the counts from the data file, as after a restart.
        const auto transfer = [&] {
            Orvane control;
            control.ReadProperties(MemoryPropertyBag());
            control.setRemoteHost(u"127.0.0.1"_s);
            control.setRemotePort(QString::number(server.port));
            control.setProductGUID(kProduct);
            control.setDataFolder(home.path());
            control.setImageFolder(images);
            return control.Transfer();
        };
        QCOMPARE(transfer(), short(0));
        OVCommercials catalogue;
        catalogue.LoadAdInfoFromLocalStorage(home.path(), images);
        QCOMPARE(catalogue.AdCount(), int16_t(12));
        QCOMPARE(QDir(images).entryList(QDir::Files).size(), 12);
        const QString guid = campaignAd(3);
        catalogue.GetAdByGUID(guid)->setViewCount(7);
        catalogue.GetAdByGUID(guid)->setClickCount(2);
        QVERIFY(catalogue.SaveAdInfoToLocalStorage());
        QCOMPARE(transfer(), short(0));
        QCOMPARE(transfer(), short(0)); // nothing more to report

        const QJsonObject ad {{u"guid"_s, guid}, {u"views"_s, 7}, {u"clicks"_s, 2}};
        QCOMPARE(server.stats(), QJsonObject({{u"reports"_s, 3}, {u"ads"_s, QJsonArray {ad}}}));
        // The user's rating and age range travel with every report.
        const Run byUser = server.report({u"--by"_s, u"rating"_s, u"--by"_s, u"age"_s, u"--format"_s, u"json"_s});
        QCOMPARE(QJsonDocument::fromJson(byUser.out).object(),
            QJsonObject({{u"rating"_s, 20}, {u"age"_s, 30}, {u"views"_s, 7}, {u"clicks"_s, 2}, {u"ctr"_s, 2.0 / 7},
                {u"reports"_s, 3}}));
    }

    void requestsGetTheirAnswers_data()
    {
        QTest::addColumn<bool>("everyAddress"); // or 127.0.0.1 only
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("answer"); // its start|a part of it; PORT is the server's port
        const auto get = [](const QByteArray &target, const QByteArray &host = "x") {
            return "GET " + target + " HTTP/1.1\r\nHost: " + host + "\r\nConnection: close\r\n\r\n";
        };
        const QByteArray ok = "HTTP/1.1 200 OK|";
        const QByteArray bad = "HTTP/1.1 400";
        const QByteArray garbage = OVFraming::ComposeUsagePost(u"x"_s, QByteArray("\x03\x00\x05garbage", 10));
        QTest::newRow("garbage report") << false << garbage << bad;
        QTest::newRow("overlong target") << false << get("/" + QByteArray(20000, 'a')) << bad;
        QTest::newRow("escape from the images")
            << false << get("/images/../campaign.json") << QByteArray("HTTP/1.1 404");
        QTest::newRow("image") << false << get("/images/images/ad01.png") << ok + "image/png";
        QTest::newRow("ads on one address name it")
            << false << get("/Orvane/Ads", "ads.example.com") << ok + "http://127.0.0.1:PORT/images";
        QTest::newRow("ads on every address name the Host")
            << true << get("/Orvane/Ads", "ads.example.com") << ok + "http://ads.example.com:PORT/images";
        QTest::newRow("Host with its port")
            << true << get("/Orvane/Ads", "10.1.2.3:8080") << ok + "http://10.1.2.3:8080/images";
        QTest::newRow("IPv6 Host") << true << get("/Orvane/Ads", "[::1]") << ok + "http://[::1]:PORT/images";
        QTest::newRow("Host with a path") << true << get("/Orvane/Ads", "evil.example/x") << bad;
        QTest::newRow("Host with a bad port") << true << get("/Orvane/Ads", "a.example:99999") << bad;
        QTest::newRow("no Host") << true << QByteArray("GET /Orvane/Ads HTTP/1.1\r\nConnection: close\r\n\r\n") << bad;
    }

    void requestsGetTheirAnswers()
    {
        QFETCH(bool, everyAddress);
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, answer);
        TestHome home;
        ServerProcess server(home.path(), QString(), {u"--listen"_s, everyAddress ? u"0.0.0.0:0"_s : u"127.0.0.1:0"_s});
        const QByteArray got = exchange(server.port, request);
        const QByteArrayList parts = answer.replace("PORT", QByteArray::number(server.port)).split('|');
        QVERIFY2(got.startsWith(parts[0]) && got.contains(parts.value(1)), got.left(400).constData());
    }

    void slowClientsCannotStarveTheServer()
    {
        TestHome home;
        ServerProcess server(home.path(), QString(), {u"--request-timeout"_s, u"1"_s, u"--idle-timeout"_s, u"0.5"_s});
        // One peer opens 300 connections and trickles a header, a byte at a time.
        std::vector<std::unique_ptr<QTcpSocket>> slow;
        for (int i = 0; i < 300; ++i) {
            slow.push_back(std::make_unique<QTcpSocket>());
            slow.back()->connectToHost(QHostAddress::LocalHost, server.port);
        }
        const auto connected = [](const auto &s) { return s->state() == QAbstractSocket::ConnectedState; };
        QTimer trickle;
        connect(&trickle, &QTimer::timeout, this, [&] {
            for (auto &s : slow)
                if (connected(s))
                    s->write("G");
        });
        trickle.start(100);
        QTest::qWait(300);
        // Another peer is served at once.
        QElapsedTimer served;
        served.start();
        const QByteArray answer
            = exchange(server.port, get("/Orvane/Ads", "Connection: close\r\n"), QHostAddress(u"127.0.0.2"_s));
        QVERIFY2(answer.startsWith("HTTP/1.1 200 OK"), answer.left(100).constData());
        QVERIFY(served.elapsed() < 1000);
        // The trickling connections are cut when their request's time is up, and a
        // silent one after the idle time.
        QTcpSocket silent;
        silent.connectToHost(QHostAddress::LocalHost, server.port);
        QVERIFY(silent.waitForConnected(3000));
        QVERIFY(QTest::qWaitFor([&] { return std::none_of(slow.cbegin(), slow.cend(), connected); }, 5000));
        QVERIFY(QTest::qWaitFor([&] { return silent.state() == QAbstractSocket::UnconnectedState; }, 3000));
        QCOMPARE(server.stats().value(u"reports"_s).toInt(), 0);
    }

    void acknowledgedReportsAreStoredOnce_data()
    {
        QTest::addColumn<QString>("db");
        QTest::addColumn<double>("lastViewTime"); // of every tenth report
        QTest::addColumn<QString>("product"); // of every tenth report
        QTest::addColumn<int>("signal"); // stops the server under the load, or 0
        const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
        for (const char *db : {"sqlite", "postgresql"}) {
            const QString kind = QString::fromLatin1(db);
            QTest::addRow("%s NaN view time", db) << kind << nan << kProduct << 0;
            QTest::addRow("%s infinite view time", db) << kind << inf << kProduct << 0;
            QTest::addRow("%s view time past 9999", db) << kind << 3.0e6 << kProduct << 0;
            QTest::addRow("%s NUL in the product id", db) << kind << 46000.5 << kProduct.left(37) + QChar(u'\0') << 0;
            QTest::addRow("%s SIGKILL", db) << kind << nan << kProduct << SIGKILL;
            QTest::addRow("%s SIGTERM", db) << kind << nan << kProduct << SIGTERM;
        }
    }

    void acknowledgedReportsAreStoredOnce()
    {
        QFETCH(double, lastViewTime);
        QFETCH(QString, product);
        QFETCH(int, signal);
        FETCH_DATABASE(url);
        TestHome home;
        // Every tenth report is poisoned and meets valid ones in the same group commits.
        const auto poisoned = [](const QString &guid) { return guid.endsWith(u"7}"_s); };
        // Random view counts: a report stored twice or lost shows in the sums.
        const quint32 seed = QRandomGenerator::global()->generate();
        qInfo("seed %u", seed);
        QRandomGenerator random(seed);
        QHash<QString, int> sent;
        const auto compose = [&](const QString &guid) {
            const int views = sent[guid] = random.bounded(1, 100);
            return poisoned(guid) ? post(guid, lastViewTime, product) : post(guid, 46000.5, kProduct, int16_t(views));
        };
        ServerProcess server(home.path(), *url);
        AdIds ids;
        ReportLoad load(server.port, &ids, 16, compose);
        // On PostgreSQL a second server shares the database and serves on throughout.
        std::optional<ServerProcess> other;
        std::optional<ReportLoad> otherLoad;
        if (!url->isEmpty()) {
            other.emplace(home.path(), *url);
            otherLoad.emplace(other->port, &ids, 8, compose);
        }
        QVERIFY(QTest::qWaitFor(
            [&] { return load.answers.size() >= 100 && (!otherLoad || otherLoad->answers.size() >= 100); }, 10000));
        if (signal) {
            // Somewhere in a group's way from the socket through the commit to the answers.
            QTest::qWait(QRandomGenerator::global()->bounded(15));
            QElapsedTimer stopping;
            stopping.start();
            ::kill(pid_t(server.process.processId()), signal);
            QVERIFY(server.process.waitForFinished(12000));
            // Every connection gets its answer or its close; nothing is left hanging.
            QVERIFY(QTest::qWaitFor([&] { return load.running == 0; }, 5000));
            if (signal == SIGTERM) {
                QVERIFY(stopping.elapsed() < 10000);
                QCOMPARE(server.process.exitStatus(), QProcess::NormalExit);
                QCOMPARE(server.process.exitCode(), 0);
            }
            QVERIFY(server.start()); // recovery after a kill
        }
        QVERIFY(load.settle());
        QHash<QString, bool> answers = load.answers;
        if (otherLoad) {
            QVERIFY(otherLoad->settle());
            answers.insert(otherLoad->answers);
        }
        const QHash<QString, int> stored = server.views(ids);
        qInfo("acknowledged %lld, stored %lld", qlonglong(answers.keys(true).size()), qlonglong(stored.size()));
        for (auto answer = answers.cbegin(); answer != answers.cend(); ++answer) {
            // A poisoned report fails alone; a valid one is acknowledged unless the server was stopped first.
            QVERIFY2(poisoned(answer.key()) ? !answer.value() : answer.value() || signal, qPrintable(answer.key()));
            QCOMPARE(stored.value(answer.key()), answer.value() ? sent.value(answer.key()) : 0);
        }
        // Short of a kill, every stored report was acknowledged: none is sent again.
        if (signal != SIGKILL)
            QCOMPARE(stored.size(), answers.keys(true).size());
        // The rollups hold exactly the raw reports, nothing lost or counted twice whatever the stop; the
        // made-up ids are not the campaign's, so none of their views reaches them.
        QVERIFY(reportRows(server.report({u"--by"_s, u"ad"_s, u"--format"_s, u"json"_s}).out, u"ad"_s, ids.prefix)
                    .isEmpty());
        const QJsonObject total = QJsonDocument::fromJson(server.report({u"--format"_s, u"json"_s}).out).object();
        QCOMPARE(total.value(u"reports"_s).toInteger(), server.stats().value(u"reports"_s).toInteger());
    }

    void reportsGroupAndPrintSafely_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("expected"); // TODAY stands for the UTC day
        const QByteArray ad1 = "{0A000000-0000-4000-8000-000000000001}";
        const QByteArray ad2 = "{0A000000-0000-4000-8000-000000000002}";
        QTest::newRow("table by ad") << QStringList {u"--by"_s, u"ad"_s}
                                     << "ad                                      views  clicks     ctr  reports\n" + ad1
                + "      5       1  20.00%        2\n" + ad2 + "      1       0   0.00%        1\n";
        QTest::newRow("CSV by country, escaped and quoted")
            << QStringList {u"--by"_s, u"country"_s, u"--format"_s, u"csv"_s}
            << QByteArray("country,views,clicks,ctr,reports\r\n\"\\x1b[2J,\"\"x\",2,0,0.000000,1\r\n"
                          "DE,4,1,0.250000,1\r\n");
        QTest::newRow("JSON by day and advertiser")
            << QStringList {u"--by"_s, u"day,advertiser"_s, u"--format"_s, u"json"_s}
            << QByteArray("{\"advertiser\":\"{0B000000-0000-4000-8000-000000000001}\",\"clicks\":1,\"ctr\":0.2,"
                          "\"day\":\"TODAY\",\"reports\":2,\"views\":5}\n"
                          "{\"advertiser\":\"{0B000000-0000-4000-8000-000000000002}\",\"clicks\":0,\"ctr\":0,"
                          "\"day\":\"TODAY\",\"reports\":1,\"views\":1}\n");
        QTest::newRow("table of totals over a range") << QStringList {u"--since"_s, u"TODAY"_s, u"--until"_s,
            u"TODAY"_s} << QByteArray("views  clicks     ctr  reports\n    6       1  16.67%        2\n");
        QTest::newRow("nothing after today") << QStringList {u"--since"_s, u"2999-01-01"_s, u"--by"_s, u"gender"_s}
                                             << QByteArray("gender  views  clicks  ctr  reports\n");
        QTest::newRow("ads and audience do not combine")
            << QStringList {u"--by"_s, u"ad,age"_s} << QByteArray("ERROR do not combine");
        QTest::newRow("unknown dimension") << QStringList {u"--by"_s, u"hour"_s} << QByteArray("ERROR not hour");
        QTest::newRow("malformed day") << QStringList {u"--since"_s, u"2026-13-01"_s} << QByteArray("ERROR YYYY");
    }

    void reportsGroupAndPrintSafely()
    {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, expected);
        TestHome home;
        ServerProcess server(home.path());
        const auto send = [&](const QString &country, const QString &gender, int age, int rating,
                              const QList<std::pair<int, int>> &counts) {
            OVUsageReport report;
            report.setProductGUID(kProduct);
            report.User()->setCountryCode(country);
            report.User()->setGender(gender);
            report.User()->setAgeRange(age);
            report.User()->setRating(rating);
            for (qsizetype i = 0; i < counts.size(); ++i)
                report.AddUsageStat(campaignAd(i + 1), int16_t(counts[i].first), int16_t(counts[i].second), 46000.5);
            return exchange(server.port, OVFraming::ComposeUsagePost(u"x"_s, report.GetStateIntoByteArray()));
        };
        QVERIFY(send(u"DE"_s, u"F"_s, 30, 10, {{3, 1}, {1, 0}}).startsWith("HTTP/1.1 200 OK"));
        QVERIFY(send(u"\x1b[2J,\"x"_s, u"M"_s, 0, 20, {{2, 0}}).startsWith("HTTP/1.1 200 OK"));
        const QByteArray today = QDateTime::currentDateTimeUtc().date().toString(Qt::ISODate).toLatin1();
        const Run run = server.report(args.replaceInStrings(u"TODAY"_s, QString::fromLatin1(today)));
        if (expected.startsWith("ERROR ")) {
            QCOMPARE(run.code, 2);
            QVERIFY2(run.err.contains(expected.mid(6)), run.err.constData());
        } else {
            QCOMPARE(run.code, 0);
            QCOMPARE(run.out, expected.replace("TODAY", today));
        }
    }

    void schemaUpgradesInPlaceAndKeepsRawRowsForAWhile_data() { bothDatabases(); }
    void schemaUpgradesInPlaceAndKeepsRawRowsForAWhile()
    {
        FETCH_DATABASE(pg);
        TestHome home;
        // PostgreSQL: a database of its own in the cluster, as the old schema needs an empty one.
        const QString name = u"old_%1"_s.arg(QRandomGenerator::global()->bounded(1 << 30));
        const QString url = pg->isEmpty() ? u"sqlite:"_s + home.path() + u"/old.db"_s
                                          : QString(*pg).replace(u"/orvane?"_s, u"/"_s + name + u"?"_s);
        QSqlDatabase old = openDatabase(pg->isEmpty() ? url : *pg, u"old"_s);
        const auto close = qScopeGuard([&] {
            old.close();
            old = QSqlDatabase();
            QSqlDatabase::removeDatabase(u"old"_s);
        });
        if (!pg->isEmpty()) {
            QVERIFY(old.open());
            QVERIFY(QSqlQuery(old).exec(u"CREATE DATABASE "_s + name));
            old.close();
            old.setDatabaseName(name);
        }
        QVERIFY(old.open());
        // The schema and rows of the server from before rollups.
        const char *const kOldSchema[] = {
            "CREATE TABLE reports (id VARCHAR(36) PRIMARY KEY, received_at VARCHAR(32) NOT NULL, peer TEXT NOT NULL,"
            " product_guid TEXT NOT NULL, rating INTEGER NOT NULL, age_range INTEGER NOT NULL, gender TEXT NOT NULL,"
            " postal_code TEXT NOT NULL, country_code TEXT NOT NULL)",
            "CREATE TABLE report_ads (report_id VARCHAR(36) NOT NULL REFERENCES reports(id), position INTEGER NOT NULL,"
            " ad_guid TEXT NOT NULL, views INTEGER NOT NULL, clicks INTEGER NOT NULL,"
            " last_view_time DOUBLE PRECISION NOT NULL, PRIMARY KEY (report_id, position))",
            "INSERT INTO reports VALUES ('r1', '2026-11-30T23:59:59.999Z', '127.0.0.1', 'P', 20, 30, 'F', '', 'DE'),"
            " ('r2', '2026-12-01T00:00:00.000Z', '127.0.0.1', 'P', 10, 40, 'M', '', 'FR'),"
            " ('r3', '2026-12-01T10:00:00.000Z', '127.0.0.1', 'P', 10, 40, 'M', '', 'FR')",
            "INSERT INTO report_ads VALUES ('r1', 1, 'A', 3, 1, 46000), ('r1', 2, 'B', 2, 0, 46000),"
            " ('r2', 1, 'A', 4, 2, 46000), ('r3', 1, 'A', 1, 0, 46000), ('r3', 2, 'A', 1, 1, 46000)",
        };
        for (const char *statement : kOldSchema)
            QVERIFY2(QSqlQuery(old).exec(QString::fromLatin1(statement)), statement);
        old.close();

        // Keeping three days of raw rows, the server deletes these old ones; their rollups stay.
        ServerProcess server(home.path(), url, {u"--retain-raw-days"_s, u"3"_s});
        QVERIFY(server.port > 0);
        QVERIFY(QTest::qWaitFor([&] { return server.stats().value(u"reports"_s).toInt() == 0; }, 10000));
        const Run byAd = server.report({u"--by"_s, u"day,ad"_s, u"--format"_s, u"csv"_s});
        QCOMPARE(byAd.out,
            QByteArray(
                "day,ad,views,clicks,ctr,reports\r\n2026-11-30,A,3,1,0.333333,1\r\n2026-11-30,B,2,0,0.000000,1\r\n"
                "2026-12-01,A,6,3,0.500000,2\r\n"));
        const Run byAudience = server.report({u"--by"_s, u"day,country,rating"_s, u"--format"_s, u"csv"_s});
        QCOMPARE(byAudience.out,
            QByteArray("day,country,rating,views,clicks,ctr,reports\r\n2026-11-30,DE,20,5,1,0.200000,1\r\n"
                       "2026-12-01,FR,10,6,3,0.500000,2\r\n"));
        // Reports stored after the upgrade add to the back-filled rows.
        QVERIFY(exchange(server.port, post(campaignAd(1))).startsWith("HTTP/1.1 200 OK"));
        const Run total = server.report({u"--since"_s, u"2026-11-30"_s, u"--format"_s, u"csv"_s});
        QVERIFY2(total.out.endsWith("\r\n12,4,0.333333,4\r\n"), total.out.constData());
        QCOMPARE(server.stats().value(u"reports"_s).toInt(), 1);
    }

    void readersRefuseAMissingDatabase_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("db"); // HOME is the test's folder
        QTest::newRow("stats, missing file") << u"stats"_s << u"sqlite:HOME/missing.db"_s;
        QTest::newRow("report, missing file") << u"report"_s << u"sqlite:HOME/missing.db"_s;
        QTest::newRow("report, no PostgreSQL there")
            << u"report"_s << u"postgresql://orvane@/orvane?host=HOME/nowhere"_s;
    }

    void readersRefuseAMissingDatabase()
    {
        QFETCH(QString, command);
        QFETCH(QString, db);
        TestHome home;
        const Run run({command, u"--db"_s, db.replace(u"HOME"_s, home.path())});
        QCOMPARE(run.code, 1 + int(command == u"stats"_s));
        QVERIFY2(run.err.contains("orvane-adserver"), run.err.constData());
        QVERIFY(run.out.isEmpty());
        QVERIFY(!QFileInfo::exists(home.path() + u"/missing.db"_s));
    }

    void refusedStartsExitWithTwo_data()
    {
        QTest::addColumn<QString>("flags"); // split at spaces
        QTest::addColumn<QSize>("picture"); // of noise, replacing the campaign's first image
        QTest::addColumn<QByteArray>("message");
        const int side = ImageLimits::kMaxImageSide;
        QTest::newRow("no campaign") << u"--campaign /nonexistent"_s << QSize() << QByteArray("does not exist");
        QTest::newRow("zero time-out") << u"--request-timeout 0"_s << QSize() << QByteArray("seconds");
        QTest::newRow("peer cap above the total")
            << u"--max-connections 10 --max-per-peer 20"_s << QSize() << QByteArray("must not exceed");
        QTest::newRow("image of too many bytes")
            << QString() << QSize(side, ImageLimits::kMaxImageBytes / side / 3 + 8) << QByteArray("1048576 a client");
        QTest::newRow("image too wide") << QString() << QSize(side + 1, 8) << QByteArray("2049 x 8 pixels");
        QTest::newRow("image too tall") << QString() << QSize(8, side + 1) << QByteArray("8 x 2049 pixels");
    }

    void refusedStartsExitWithTwo()
    {
        QFETCH(QString, flags);
        QFETCH(QSize, picture);
        QFETCH(QByteArray, message);
        TestHome home;
        sampleCampaign(home.path());
        if (picture.isValid()) {
            QImage noise(picture, QImage::Format_RGB32);
            QRandomGenerator::global()->fillRange(reinterpret_cast<quint32 *>(noise.bits()), noise.sizeInBytes() / 4);
            QVERIFY(noise.save(home.path() + u"/campaign/images/ad01.png"_s));
        }
        ServerProcess server(home.path(), QString(), flags.split(u' ', Qt::SkipEmptyParts));
        QCOMPARE(server.process.state(), QProcess::NotRunning);
        QCOMPARE(server.process.exitCode(), 2);
        QVERIFY(server.process.readAllStandardError().contains(message));
    }
};

QTEST_MAIN(TestAdServer)
#include "test_adserver.moc"
