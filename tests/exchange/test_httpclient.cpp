#include "exchange/OVContentUpdate.h"
#include "exchange/OVHTTPClient.h"
#include "support/OVRegistryHelpers.h"

#include "ScriptedServer.h"
#include "TestDoubles.h"
#include "TestHome.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include "TestData.h"

using namespace testdata;

using namespace orvane;
using namespace orvane::OVRegistryHelpers;

namespace {
const QByteArray kOK("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n");
const QString kProduct = QStringLiteral("{12345678-9ABC-DEF0-1234-56789ABCDEF0}");

// Records every event of a client in one list, in the order raised.
struct EventLog
{
    explicit EventLog(OVHTTPClient &client)
    {
        QObject::connect(&client, &OVHTTPClient::ProgressMessage, [this](const QString &m) { events << m; });
        QObject::connect(
            &client, &OVHTTPClient::SentUsage, [this](bool s) { events << QStringLiteral("SentUsage(%1)").arg(s); });
        QObject::connect(&client, &OVHTTPClient::ReceivedContent,
            [this](bool c) { events << QStringLiteral("ReceivedContent(%1)").arg(c); });
        QObject::connect(&client, &OVHTTPClient::DataExchanged, [this](bool s) {
            events << QStringLiteral("DataExchanged(%1)").arg(s);
            done = true;
        });
    }
    bool waitDone(int ms = 10000)
    {
        return QTest::qWaitFor([this] { return done; }, ms);
    }
    QStringList events;
    bool done = false;
};
} // namespace

class TestHTTPClient : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void successfulExchangeRaisesEventsInOrder();
    void negativeAcknowledgementEndsAtOnce();
    void contentInManyBlocks_data();
    void contentInManyBlocks();
    void stalledServerTimesOutAndClientCanStartAgain();
    void serverClosingMidContentFails();
    void unusableContentHeaderFails();
    void refusedConnection();
    void refusals();
    void imageRules();

private:
    void configure(OVHTTPClient &client, const QString &port);
    QByteArray contentFor(const QString &base, const QList<QPair<QString, QString>> &offers);

    std::unique_ptr<TestHome> m_home;
    QString m_images;
};

void TestHTTPClient::init()
{
    m_home = std::make_unique<TestHome>();
    m_images = m_home->path() + QStringLiteral("/images");
    CreateSettingsKey(kPreferencesKey, HKEY_CURRENT_USER);
    WriteSettingsValue(HKEY_CURRENT_USER, kPreferencesKey, QStringLiteral("TransferTimeoutSeconds"), 30, REG_SZ);
    WriteSettingsValue(HKEY_CURRENT_USER, kPreferencesKey, QStringLiteral("TimeoutGranularity"), 100, REG_SZ);
}

void TestHTTPClient::cleanup()
{
    m_home.reset();
}

void TestHTTPClient::configure(OVHTTPClient &client, const QString &port)
{
    client.setRemoteHost(QStringLiteral(" 127.0.0.1 "));
    client.setRemotePort(port);
    client.setProductGUID(kProduct);
    client.setImageFolder(m_images);
}

QByteArray TestHTTPClient::contentFor(const QString &base, const QList<QPair<QString, QString>> &offers)
{
    OVContentUpdate update;
    update.setBaseURL(base);
    for (const auto &[id, file] : offers)
        update.AddAnOffering(id, guid(99), QStringLiteral("http://example.com/") + id, 46000.0, 1, file, 20, 1);
    return update.GetStateIntoByteArray();
}

void TestHTTPClient::successfulExchangeRaisesEventsInOrder()
{
    ImageServer images;
    images.add("a.png", ImageServer::png());
    const QByteArray content = contentFor(images.base(), {{guid(1), QStringLiteral("a.png")}});
    const QByteArray response = ScriptedServer::contentResponse(content);
    ScriptedServer server({{kOK}, {response}});

    OVHTTPClient client;
    configure(client, server.port());
    client.AddUsageStat(guid(1), 3, 1, 2.5);
    EventLog log(client);
    QCOMPARE(client.StartDataExchange(), int16_t(0));
    QVERIFY(log.waitDone());
    const QString address = QStringLiteral("http://") + images.base() + QStringLiteral("/a.png");
    QCOMPARE(log.events,
        QStringList(
            {"Connected", "Sending usage data", "Sent usage data", QStringLiteral("Received %1 bytes").arg(kOK.size()),
                "SentUsage(1)", "Requesting Ads", "Sent content request",
                QStringLiteral("Received %1 bytes").arg(response.size()), "Received Ad list", "Retrieving Images",
                "Retrieving " + address, "Received " + address, "ReceivedContent(1)", "DataExchanged(1)"}));
    QCOMPARE(server.connections, 2);
    QVERIFY(server.requests[0].startsWith("POST /Orvane/Usage HTTP/1.1\r\nHost: 127.0.0.1\r\n"));
    QVERIFY(server.requests[1].startsWith("GET /Orvane/Ads HTTP/1.1\r\n"));
    QCOMPARE(client.AdCount(), int16_t(1));
    const TYPE_INCOMINGAD ad = client.IncomingAd(1);
    QCOMPARE(ad.AdGUID, guid(1));
    QCOMPARE(ad.AdvertiserName, QString());
    QCOMPARE(ad.Rating, int16_t(20));
    QCOMPARE(client.IncomingAd(0).AdGUID, QString());
    QCOMPARE(client.IncomingAd(2).AdGUID, QString());
    QVERIFY(QFile::exists(m_images + QStringLiteral("/a.png")));
    QCOMPARE(client.state(), 10);
}

void TestHTTPClient::negativeAcknowledgementEndsAtOnce()
{
    ScriptedServer server({{"HTTP/1.1 500 Internal Server Error\r\n\r\n"}});
    OVHTTPClient client;
    configure(client, server.port());
    EventLog log(client);
    QCOMPARE(client.StartDataExchange(), int16_t(0));
    QVERIFY(log.waitDone());
    QCOMPARE(log.events.mid(log.events.size() - 2), QStringList({"SentUsage(0)", "DataExchanged(0)"}));
    QTest::qWait(100);
    QCOMPARE(server.connections, 1);
}

void TestHTTPClient::contentInManyBlocks_data()
{
    QTest::addColumn<int>("blockSize");
    QTest::newRow("one block") << 0;
    QTest::newRow("1460-byte blocks") << 1460;
    QTest::newRow("header cut in two") << 20;
}

void TestHTTPClient::contentInManyBlocks()
{
    QFETCH(int, blockSize);
    ImageServer images;
    QList<QPair<QString, QString>> offers;
    for (int i = 1; i <= 60; ++i) {
        offers.append({guid(i), QStringLiteral("ad%1.png").arg(i)});
        images.add(QByteArray("ad") + QByteArray::number(i) + ".png", ImageServer::png(10 + i, 10));
    }
    const QByteArray response = ScriptedServer::contentResponse(contentFor(images.base(), offers));
    QVERIFY(response.size() > 4000);
    ScriptedServer server({{kOK}, {response, blockSize, 20}});
    OVHTTPClient client;
    configure(client, server.port());
    EventLog log(client);
    QCOMPARE(client.StartDataExchange(), int16_t(0));
    QVERIFY(log.waitDone(20000));
    QCOMPARE(log.events.last(), QStringLiteral("DataExchanged(1)"));
    QCOMPARE(client.AdCount(), int16_t(60));
}

void TestHTTPClient::stalledServerTimesOutAndClientCanStartAgain()
{
    WriteSettingsValue(HKEY_CURRENT_USER, kPreferencesKey, QStringLiteral("TransferTimeoutSeconds"), 1, REG_SZ);
    ScriptedServer::Answer stall {ScriptedServer::contentResponse(QByteArray(500, 'x'))};
    stall.stopAfter = 100;
    ScriptedServer server({{kOK}, stall, {kOK}, stall});
    OVHTTPClient client;
    configure(client, server.port());
    EventLog log(client);
    QCOMPARE(client.StartDataExchange(), int16_t(0));
    QVERIFY(log.waitDone(6000));
    QCOMPARE(log.events.last(), QStringLiteral("DataExchanged(0)"));
    QCOMPARE(client.state(), 10);
    // The aborted client is idle again: the next exchange starts.
    log.done = false;
    QCOMPARE(client.StartDataExchange(), int16_t(0));
    QVERIFY(log.waitDone(6000));
    QCOMPARE(log.events.count(QStringLiteral("DataExchanged(0)")), 2);
}

void TestHTTPClient::serverClosingMidContentFails()
{
    ScriptedServer::Answer cut {ScriptedServer::contentResponse(QByteArray(500, 'x'))};
    cut.stopAfter = 200;
    cut.closeInsteadOfStall = true;
    ScriptedServer server({{kOK}, cut});
    OVHTTPClient client;
    configure(client, server.port());
    EventLog log(client);
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(client.StartDataExchange(), int16_t(0));
    QVERIFY(log.waitDone(5000));
    QVERIFY(timer.elapsed() < 3000); // not the 30-second time-out
    QCOMPARE(log.events.last(), QStringLiteral("DataExchanged(0)"));
    QVERIFY(!log.events.contains(QStringLiteral("ReceivedContent(1)")));
}

void TestHTTPClient::unusableContentHeaderFails()
{
    ScriptedServer server({{kOK}, {"HTTP/1.1 200 OK\r\nContent-Length: 99999\r\n\r\nxyz"}});
    OVHTTPClient client;
    configure(client, server.port());
    EventLog log(client);
    QCOMPARE(client.StartDataExchange(), int16_t(0));
    QVERIFY(log.waitDone());
    QCOMPARE(log.events.last(), QStringLiteral("DataExchanged(0)"));
}

void TestHTTPClient::refusedConnection()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const QString port = QString::number(probe.serverPort());
    probe.close();
    OVHTTPClient client;
    configure(client, port);
    EventLog log(client);
    QCOMPARE(client.StartDataExchange(), int16_t(0));
    QVERIFY(log.waitDone());
    QVERIFY(log.events.contains(QStringLiteral("Winsock Error 10061 - Connection refused")));
    QCOMPARE(log.events.last(), QStringLiteral("DataExchanged(0)"));
}

void TestHTTPClient::refusals()
{
    ScriptedServer::Answer stall {kOK};
    stall.stopAfter = 0;
    ScriptedServer server({stall});
    OVHTTPClient client;
    client.setRemoteHost(QStringLiteral("127.0.0.1"));
    QCOMPARE(client.StartDataExchange(), int16_t(604));
    QCOMPARE(client.LastError(), int16_t(604));
    configure(client, server.port());
    EventLog log(client);
    QCOMPARE(client.StartDataExchange(), int16_t(0));
    QCOMPARE(client.StartDataExchange(), int16_t(601));
    QVERIFY(QTest::qWaitFor([&] { return server.connections == 1; }, 5000));
    client.AbortDataExchange(QStringLiteral("test"));
    QCOMPARE(log.events.last(), QStringLiteral("DataExchanged(0)"));
    client.AbortDataExchange(QStringLiteral("again")); // an exchange ends once
    QCOMPARE(log.events.count(QStringLiteral("DataExchanged(0)")), 1);
}

void TestHTTPClient::imageRules()
{
    ImageServer images;
    images.add("new.png", ImageServer::png());
    images.add("x/y/deep.png", ImageServer::png());
    images.add("page.gif", "<html>Server error</html>");
    QDir().mkpath(m_images);
    const QByteArray existing = ImageServer::png(5, 5);
    {
        QFile f(m_images + QStringLiteral("/kept.png"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(existing);
    }
    const QByteArray content = contentFor(images.base(),
        {{guid(1), QStringLiteral("kept.png")}, {guid(2), QStringLiteral("new.png")},
            {guid(3), QStringLiteral("page.gif")}, {guid(4), QString()}, {guid(5), QStringLiteral("x/y/deep.png")},
            {guid(6), QStringLiteral("missing.png")}});
    ScriptedServer server({{kOK}, {ScriptedServer::contentResponse(content)}});
    OVHTTPClient client;
    configure(client, server.port());
    EventLog log(client);
    QCOMPARE(client.StartDataExchange(), int16_t(0));
    QVERIFY(log.waitDone());
    const QString base = QStringLiteral("http://") + images.base() + u'/';
    QVERIFY(!log.events.contains("Retrieving " + base + "kept.png"));
    QVERIFY(log.events.contains("Invalid or missing image file: " + base + "page.gif"));
    QVERIFY(log.events.contains("Received " + base + "x/y/deep.png"));
    QVERIFY(!QFile::exists(m_images + QStringLiteral("/page.gif")));
    QVERIFY(QFile::exists(m_images + QStringLiteral("/deep.png")));
    QCOMPARE(log.events.mid(log.events.size() - 2), QStringList({"ReceivedContent(0)", "DataExchanged(0)"}));
    QCOMPARE(client.LastError(), int16_t(609));
    QStringList left;
    for (int16_t i = 1; i <= client.AdCount(); ++i)
        left << client.IncomingAd(i).AdGUID;
    QCOMPARE(left, QStringList({guid(1), guid(2), guid(5)}));
}

QTEST_MAIN(TestHTTPClient)
#include "test_httpclient.moc"
