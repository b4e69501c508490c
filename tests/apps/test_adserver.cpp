#include <orvane/Orvane.h>

#include "catalogue/OVAdvertisement.h"
#include "catalogue/OVCommercials.h"
#include "exchange/OVFraming.h"
#include "exchange/OVUsageReport.h"
#include "platform/ImageLimits.h"

#include "AdServerHarness.h"
#include "TestHome.h"

#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>
#include <QUuid>

#include <csignal>
#include <functional>
#include <limits>
#include <optional>

using namespace orvane;
using namespace Qt::StringLiterals;

class TestAdServer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void transfersFillTheCatalogueAndCountsReachTheServerOnce()
    {
        TestHome home;
        ServerProcess server(home.path());
        const QString images = home.path() + u"/images"_s;
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
        const QString guid = u"{0A000000-0000-4000-8000-000000000003}"_s;
        catalogue.GetAdByGUID(guid)->setViewCount(7);
        catalogue.GetAdByGUID(guid)->setClickCount(2);
        QVERIFY(catalogue.SaveAdInfoToLocalStorage());
        QCOMPARE(transfer(), short(0));
        QCOMPARE(transfer(), short(0)); // nothing more to report

        const QJsonObject ad {{u"guid"_s, guid}, {u"views"_s, 7}, {u"clicks"_s, 2}};
        QCOMPARE(server.stats(), QJsonObject({{u"reports"_s, 3}, {u"ads"_s, QJsonArray {ad}}}));
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
        const QByteArray got = server.raw(request);
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
        const QByteArray answer = server.raw(
            "GET /Orvane/Ads HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n", QHostAddress(u"127.0.0.2"_s));
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
        QFETCH(QString, db);
        QFETCH(double, lastViewTime);
        QFETCH(QString, product);
        QFETCH(int, signal);
        TestHome home;
        // PostgreSQL: the throw-away cluster that scripts/pg-cluster runs the suite in.
        const QString url = db == u"sqlite"_s ? QString() : qEnvironmentVariable("ORVANE_TEST_PG_URL");
        if (db != u"sqlite"_s && url.isEmpty())
            QSKIP("no PostgreSQL cluster (ORVANE_TEST_PG_URL is not set)");
        // Every tenth report is poisoned and meets valid ones in the same group commits.
        const auto poisoned = [](const QString &guid) { return guid.endsWith(u"7}"_s); };
        const auto compose
            = [&](const QString &guid) { return poisoned(guid) ? post(guid, lastViewTime, product) : post(guid); };
        ServerProcess server(home.path(), url);
        AdIds ids;
        ReportLoad load(server.port, &ids, 16, compose);
        // On PostgreSQL a second server shares the database and serves on throughout.
        std::optional<ServerProcess> other;
        std::optional<ReportLoad> otherLoad;
        if (!url.isEmpty()) {
            other.emplace(home.path(), url);
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
            QCOMPARE(stored.value(answer.key()), answer.value() ? 1 : 0);
        }
        // Short of a kill, every stored report was acknowledged: none is sent again.
        if (signal != SIGKILL)
            QCOMPARE(stored.size(), answers.keys(true).size());
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
        QProcess::execute(QStringLiteral(ADSERVER), {u"sample-campaign"_s, home.path() + u"/campaign"_s});
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
