// The operator's side of orvane-adserver: the admin listener and its token,
// health, metrics, the access log, campaign checks and reloads under load.
#include "AdServerHarness.h"
#include "TestHome.h"

#include <QImage>

#include <algorithm>
#include <csignal>

#include <poll.h>
#include <unistd.h>

namespace {

// Two report loops and an admin listener on loopback; later flags override these.
const QStringList kAdmin {u"--threads"_s, u"2"_s, u"--admin-listen"_s, u"127.0.0.1:0"_s};

// Every family has HELP and TYPE lines, counters end in _total, and a
// histogram's buckets are cumulative up to "+Inf", which equals its count.
void checkExposition(const QByteArray &text)
{
    QHash<QByteArray, QByteArray> types;
    QHash<QByteArray, double> lastBucket, counts;
    QByteArray help;
    for (const QByteArray &line : text.split('\n')) {
        if (line.isEmpty())
            continue;
        const QList<QByteArray> words = line.split(' ');
        if (line.startsWith("# HELP ")) {
            help = words[2];
            continue;
        }
        if (line.startsWith("# TYPE ")) {
            QCOMPARE(words[2], help);
            types.insert(words[2], words[3]);
            if (words[3] == "counter")
                QVERIFY2(words[2].endsWith("_total"), line);
            continue;
        }
        QCOMPARE(words.size(), 2);
        const QByteArray name = words[0].left(words[0].indexOf('{') < 0 ? words[0].size() : words[0].indexOf('{'));
        bool ok = false;
        const double value = words[1] == "+Inf" ? qInf() : words[1].toDouble(&ok);
        QVERIFY2(ok && value >= 0, line);
        QByteArray family = name;
        for (const char *suffix : {"_bucket", "_sum", "_count"}) {
            if (name.endsWith(suffix) && types.value(name.chopped(qstrlen(suffix))) == "histogram")
                family = name.chopped(qstrlen(suffix));
        }
        QVERIFY2(types.contains(family), line);
        if (name.endsWith("_bucket")) {
            QVERIFY2(value >= lastBucket.value(family), line);
            lastBucket.insert(family, value);
        } else if (name.endsWith("_count")) {
            counts.insert(family, value);
            QCOMPARE(value, lastBucket.value(family));
        }
    }
    QVERIFY(!counts.isEmpty());
}

} // namespace

class TestAdminServer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void adminAccess_data()
    {
        QTest::addColumn<QString>("listen");
        QTest::addColumn<QByteArray>("token"); // the token file's content; empty: no file
        QTest::addColumn<QByteArray>("request"); // path, then header lines
        QTest::addColumn<int>("status"); // 0: the server refuses to start
        const QByteArray token = "k3y-0f-the-0perat0r\n";
        const QString any = u"0.0.0.0:0"_s;
        QTest::newRow("loopback, no token") << u"127.0.0.1:0"_s << QByteArray() << QByteArray("/metrics") << 200;
        QTest::newRow("loopback, unknown path") << u"127.0.0.1:0"_s << QByteArray() << QByteArray("/x") << 404;
        QTest::newRow("loopback with a token file asks for it")
            << u"127.0.0.1:0"_s << token << QByteArray("/healthz") << 401;
        QTest::newRow("wildcard without a token file") << any << QByteArray() << QByteArray() << 0;
        QTest::newRow("token file too short") << any << QByteArray("short\n") << QByteArray() << 0;
        QTest::newRow("no token") << any << token << QByteArray("/healthz") << 401;
        QTest::newRow("no token, unknown path") << any << token << QByteArray("/x") << 401;
        QTest::newRow("wrong token") << any << token
                                     << QByteArray("/healthz\r\nAuthorization: Bearer k3y-0f-the-0perat0R") << 401;
        QTest::newRow("token prefix") << any << token
                                      << QByteArray("/healthz\r\nAuthorization: Bearer k3y-0f-the-0perat0") << 401;
        QTest::newRow("basic scheme") << any << token
                                      << QByteArray("/healthz\r\nAuthorization: Basic k3y-0f-the-0perat0r") << 401;
        QTest::newRow("right token") << any << token
                                     << QByteArray("/healthz\r\nAuthorization: Bearer k3y-0f-the-0perat0r") << 200;
        QTest::newRow("scheme in lower case")
            << any << token << QByteArray("/metrics\r\nAuthorization: bearer k3y-0f-the-0perat0r") << 200;
    }

    void adminAccess()
    {
        QFETCH(QString, listen);
        QFETCH(QByteArray, token);
        QFETCH(QByteArray, request);
        QFETCH(int, status);
        TestHome home;
        QStringList flags {u"--admin-listen"_s, listen};
        if (!token.isEmpty()) {
            QFile file(home.path() + u"/token"_s);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(token) == token.size());
            flags << u"--admin-token-file"_s << file.fileName();
        }
        ServerProcess server(home.path(), QString(), kAdmin + flags);
        if (status == 0) {
            QVERIFY(server.process.state() == QProcess::NotRunning || server.process.waitForFinished(10000));
            QCOMPARE(server.process.exitCode(), 2);
            QVERIFY(server.process.readAllStandardError().contains("token"));
            return;
        }
        QVERIFY(server.adminPort > 0);
        const qsizetype eol = request.indexOf("\r\n");
        const QByteArray line = eol < 0 ? request : request.left(eol);
        const QByteArray answer
            = exchange(server.adminPort, "GET " + line + " HTTP/1.1" + request.mid(line.size()) + "\r\n\r\n");
        QCOMPARE(statusOf(answer), status);
        QCOMPARE(answer.contains("WWW-Authenticate: Bearer"), status == 401);
    }

    void metricsAndLogsFollowRequests_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("line"); // pattern of the access-log line of the ad list
        QTest::newRow("common") << u"common"_s
                                << u"^127\\.0\\.0\\.1 - - \\[\\d\\d/\\w{3}/\\d{4}:\\d\\d:\\d\\d:\\d\\d \\+0000\\] "
                                   "\"GET /Orvane/Ads HTTP/1\\.1\" 200 \\d+$"_s;
        QTest::newRow("json")
            << u"json"_s
            << u"^\\{\"time\":\"[-0-9T:.]+Z\",\"peer\":\"127\\.0\\.0\\.1\",\"method\":\"GET\","
               "\"target\":\"/Orvane/Ads\",\"status\":200,\"bytes\":\\d+,\"duration_ms\":[0-9.]+\\}$"_s;
        QTest::newRow("off") << u"off"_s << QString();
    }

    void metricsAndLogsFollowRequests()
    {
        QFETCH(QString, format);
        QFETCH(QString, line);
        TestHome home;
        ServerProcess server(home.path(), QString(),
            kAdmin
                + QStringList {u"--access-log"_s, format, u"--max-connections"_s, u"2"_s, u"--max-per-peer"_s, u"2"_s});
        QVERIFY(server.adminPort > 0);
        const QByteArray before = bodyOf(server.admin("/metrics"));
        checkExposition(before);
        if (QTest::currentTestFailed())
            return;
        QFile image(home.path() + u"/campaign/images/ad01.png"_s);
        QVERIFY(image.open(QIODevice::ReadOnly));

        QCOMPARE(statusOf(exchange(server.port, get("/Orvane/Ads"))), 200);
        QCOMPARE(bodyOf(exchange(server.port, get("/images/images/ad01.png"))), image.readAll());
        QCOMPARE(statusOf(exchange(server.port, post(campaignAd(1)))), 200);
        QCOMPARE(statusOf(exchange(server.port, get("/nothing/here"))), 404);
        QCOMPARE(statusOf(exchange(server.port, "GARBAGE\r\n\r\n")), 400);

        const QByteArray after = bodyOf(server.admin("/metrics"));
        checkExposition(after);
        if (QTest::currentTestFailed())
            return;
        const auto delta
            = [&](const QByteArray &series) { return seriesValue(after, series) - seriesValue(before, series); };
        const QByteArray r = "orvane_adserver_requests_total";
        QCOMPARE(delta(r + "{endpoint=\"ads\",status=\"200\"}"), 1.0);
        QCOMPARE(delta(r + "{endpoint=\"images\",status=\"200\"}"), 1.0);
        QCOMPARE(delta(r + "{endpoint=\"usage\",status=\"200\"}"), 1.0);
        QCOMPARE(delta(r + "{endpoint=\"other\",status=\"404\"}"), 1.0);
        QCOMPARE(delta(r + "{endpoint=\"other\",status=\"400\"}"), 1.0);
        QCOMPARE(delta(r + "{endpoint=\"admin\",status=\"200\"}"), 1.0); // the first scrape
        QCOMPARE(delta("orvane_adserver_reports_committed_total"), 1.0);
        QVERIFY(delta("orvane_adserver_report_commit_seconds_count") >= 1);
        QCOMPARE(delta("orvane_adserver_image_bytes_served_total"), double(image.size()));

        // Connections held open show; one past the cap is refused (or sheds an idle one).
        QTRY_COMPARE(server.metric("orvane_adserver_open_connections"), 0.0);
        QTcpSocket held[3];
        for (QTcpSocket &s : held)
            s.connectToHost(QHostAddress::LocalHost, server.port);
        QTRY_COMPARE(server.metric("orvane_adserver_open_connections"), 2.0);
        QTRY_VERIFY(server.metric("orvane_adserver_refused_connections_total") >= 1.0);
        for (QTcpSocket &s : held)
            s.abort();
        QTRY_COMPARE(server.metric("orvane_adserver_open_connections"), 0.0);

        // Every line is out once the server has stopped.
        server.process.terminate();
        QVERIFY(server.process.waitForFinished(10000));
        QVERIFY(server.output().contains("shutting down on SIGTERM"));
        QVERIFY(server.output().contains("stopped: 0 reports committed while draining"));
        const QRegularExpression pattern(line);
        QStringList matching;
        for (const QByteArray &l : server.output().split('\n')) {
            if (l.contains("/Orvane/Ads"))
                matching.append(QString::fromLatin1(l));
        }
        QCOMPARE(matching.size(), line.isEmpty() ? 0 : 1);
        if (!line.isEmpty())
            QVERIFY2(pattern.match(matching.front()).hasMatch(), qPrintable(matching.front()));
    }

    // Nobody reads the server's standard output after its first line: once the
    // pipe is full the log lines are dropped, and no request waits on them.
    void anUnreadLogStallsNothing()
    {
        TestHome home;
        const QString campaign = sampleCampaign(home.path());
        int out[2];
        QCOMPARE(::pipe(out), 0);
        QProcess server;
        server.setChildProcessModifier([fd = out[1]] { ::dup2(fd, STDOUT_FILENO); });
        server.start(QStringLiteral(ADSERVER),
            {u"serve"_s, u"--campaign"_s, campaign, u"--db"_s, u"sqlite:"_s + home.path() + u"/r.db"_s, u"--listen"_s,
                u"127.0.0.1:0"_s});
        ::close(out[1]);
        QByteArray first;
        pollfd readable {out[0], POLLIN, 0};
        char c = 0;
        while (!first.endsWith('\n') && ::poll(&readable, 1, 10000) == 1 && ::read(out[0], &c, 1) == 1)
            first += c;
        const quint16 port = first.mid(first.lastIndexOf(':') + 1).trimmed().toUShort();
        QVERIFY2(port > 0, first);
        // About 80 bytes of log each: well past the 64 KiB a pipe holds.
        constexpr int kRequests = 2000;
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, port);
        QByteArray answers;
        for (int i = 0; i < kRequests; ++i)
            s.write(get("/Orvane/Ads"));
        QTRY_COMPARE_WITH_TIMEOUT((answers += s.readAll()).count("HTTP/1.1 200 OK"), kRequests, 60000);
        server.terminate();
        QVERIFY(server.waitForFinished(15000));
        ::close(out[0]);
    }

    void healthTellsAWriterThatCannotCommit()
    {
        TestHome home;
        // A commit bound past the health check's 5 s, so the writer is seen behind before it gives up.
        ServerProcess server(home.path(), QString(), kAdmin + QStringList {u"--commit-timeout"_s, u"30"_s});
        QCOMPARE(bodyOf(server.admin("/healthz")), QByteArray("ok\n"));
        QTcpSocket poster;
        {
            // Another connection holds the write lock: the writer's commit waits on it.
            TableLock lock(server.m_db);
            poster.connectToHost(QHostAddress::LocalHost, server.port);
            poster.write(post(campaignAd(2)));
            QTRY_COMPARE_WITH_TIMEOUT(statusOf(server.admin("/healthz")), 503, 20000);
            QVERIFY(bodyOf(server.admin("/healthz")).contains("writer is behind"));
        }
        QTRY_VERIFY(poster.bytesAvailable() > 0);
        QCOMPARE(statusOf(poster.readAll()), 200);
        QTRY_COMPARE(statusOf(server.admin("/healthz")), 200);
    }

    void checkCampaign_data()
    {
        QTest::addColumn<QString>("field"); // of the first ad, set to `value`; "image": a 10 x 10 picture
        QTest::addColumn<QJsonValue>("value");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("message");
        QTest::newRow("sample") << QString() << QJsonValue() << 0 << QByteArray(": 12 ads, 0 warnings");
        QTest::newRow("expired") << u"ExpirationDate"_s << QJsonValue(u"2001-02-03"_s) << 0
                                 << QByteArray("ad 1 ({0A000000-0000-4000-8000-000000000001}): expired on 2001-02-03");
        QTest::newRow("unknown field") << u"Colour"_s << QJsonValue(1) << 0 << QByteArray("unknown field \"Colour\"");
        QTest::newRow("image of another size")
            << u"image"_s << QJsonValue() << 0 << QByteArray("is 10 x 10 pixels, while Size 2 is 600 x 280");
        QTest::newRow("missing image") << u"ImageFileName"_s << QJsonValue(u"images/none.png"_s) << 1
                                       << QByteArray("image images/none.png is missing");
        QTest::newRow("bad size") << u"Size"_s << QJsonValue(4) << 1 << QByteArray("Size must be 1, 2, 3 or 6");
    }

    void checkCampaign()
    {
        QFETCH(QString, field);
        QFETCH(QJsonValue, value);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, message);
        TestHome home;
        const QString folder = sampleCampaign(home.path());
        if (field == u"image"_s)
            QVERIFY(QImage(10, 10, QImage::Format_RGB32).save(folder + u"/images/ad01.png"_s));
        else if (!field.isEmpty())
            editFirstAd(folder, field, value);
        const Run check({u"check-campaign"_s, folder});
        QCOMPARE(check.code, exitCode);
        const QByteArray out = check.out + check.err;
        QVERIFY2(out.contains(message), out);
        // The server warns about the same things when it loads the campaign.
        if (exitCode == 0 && !field.isEmpty()) {
            ServerProcess server(home.path(), QString(), kAdmin);
            QVERIFY(server.output().contains(message));
        }
    }

    void reloadUnderLoadLosesNothing_data()
    {
        testdata::boolRows("broken", "valid campaign", "broken campaign"); // the new campaign.json does not load
    }

    void reloadUnderLoadLosesNothing()
    {
        QFETCH(bool, broken);
        TestHome home;
        ServerProcess server(home.path(), QString(), kAdmin + QStringList {u"--access-log"_s, u"off"_s});
        // The new campaign: the first ad expired, or not JSON at all.
        if (broken) {
            QFile file(home.path() + u"/campaign/campaign.json"_s);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write("{\"ads\": [") > 0);
        } else {
            editFirstAd(home.path() + u"/campaign"_s, u"ExpirationDate"_s, u"2001-02-03"_s);
        }
        // Clients ask for the ad list and post reports (ids ending in an even digit), each on a new connection.
        const auto isPost = [](const QString &guid) { return guid.at(guid.size() - 2).digitValue() % 2 == 0; };
        AdIds ids;
        ReportLoad load(server.port, &ids, 8, [&](const QString &guid) {
            return isPost(guid) ? post(guid) : get("/Orvane/Ads", "Connection: close\r\n");
        });
        const auto answered = [&] { return load.answers.keys(true).size(); };
        // Reload after reload, each once the log shows the previous one, while requests keep coming.
        const QByteArray done = broken ? "campaign reload failed" : "reloaded: 12 ads";
        for (int reload = 1; reload <= 5; ++reload) {
            const qsizetype seen = answered();
            QTRY_VERIFY(answered() > seen + 20);
            ::kill(pid_t(server.process.processId()), SIGHUP);
            QTRY_COMPARE(server.output().count(done), reload);
        }
        QVERIFY(load.settle());
        const qsizetype posted = std::ranges::count_if(load.answers.keys(true), isPost);
        qInfo("answered %lld, reports %lld", qlonglong(answered()), qlonglong(posted));
        QCOMPARE(load.answers.keys(false).size() + load.cut, 0);
        QCOMPARE(server.metric("orvane_adserver_reports_committed_total"), double(posted));
        // The campaign served now: the expired ad is no longer offered; a broken file changed nothing.
        const QByteArray list = bodyOf(exchange(server.port, get("/Orvane/Ads")));
        QCOMPARE(int(quint8(list.at(1))), broken ? 12 : 11);
        QCOMPARE(server.metric("orvane_adserver_campaign_reload_failures_total"), broken ? 5.0 : 0.0);
        QVERIFY(server.output().contains(broken ? "still serving the 12 ads" : "expired on 2001-02-03"));
    }

private:
    static void editFirstAd(const QString &folder, const QString &field, const QJsonValue &value)
    {
        QFile file(folder + u"/campaign.json"_s);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QJsonObject root = QJsonDocument::fromJson(file.readAll()).object();
        QJsonArray ads = root.value(u"ads"_s).toArray();
        QJsonObject first = ads.first().toObject();
        first.insert(field, value);
        ads.replace(0, first);
        root.insert(u"ads"_s, ads);
        file.close();
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(QJsonDocument(root).toJson());
    }
};

QTEST_MAIN(TestAdminServer)
#include "test_adminserver.moc"
