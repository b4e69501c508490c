// The published exchange client on its own: a host runs an exchange and reads the offers.
#include <orvane/OVHTTPClient.h>

#include "exchange/OVContentUpdate.h"

#include "ScriptedServer.h"
#include "TestData.h"
#include "TestHome.h"

#include <QSignalSpy>
#include <QTest>

using orvane::TYPE_INCOMINGAD;
using orvane::exchange::OVHTTPClient;

class TestPublishedClient : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void hostRunsAnExchangeAndReadsTheOffers();
};

void TestPublishedClient::hostRunsAnExchangeAndReadsTheOffers()
{
    TestHome home;
    ImageServer images;
    images.add("a.png", ImageServer::png());
    orvane::OVContentUpdate update;
    update.setBaseURL(images.base());
    update.AddAnOffering(testdata::guid(1), testdata::guid(99), QStringLiteral("http://example.com/1"), 46000.0, 1,
        QStringLiteral("a.png"), 20, 2);
    ScriptedServer server({{QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n")},
        {ScriptedServer::contentResponse(update.GetStateIntoByteArray())}});

    OVHTTPClient client;
    QCOMPARE(client.AdCount(), short(-1));
    client.setRemoteHost(QStringLiteral("127.0.0.1"));
    client.setRemotePort(server.port());
    client.setProductGUID(QStringLiteral("{12345678-9ABC-DEF0-1234-56789ABCDEF0}"));
    client.setImageFolder(home.path() + QStringLiteral("/images"));
    client.AddUsageStat(testdata::guid(1), 2, 1, 46000.5);
    QSignalSpy exchanged(&client, &OVHTTPClient::DataExchanged);
    QCOMPARE(client.StartDataExchange(), short(0));
    QVERIFY(exchanged.wait(10000));
    QCOMPARE(exchanged.value(0).value(0).toBool(), true);

    QCOMPARE(client.AdCount(), short(1));
    const TYPE_INCOMINGAD ad = client.IncomingAd(1);
    QCOMPARE(ad.AdGUID, testdata::guid(1));
    QCOMPARE(ad.ClickURL, QStringLiteral("http://example.com/1"));
    QVERIFY(QFile::exists(client.ImageFolder() + QStringLiteral("/a.png")));
    // Late bound, as a host that created the client by class id reads it.
    TYPE_INCOMINGAD byName;
    QVERIFY(QMetaObject::invokeMethod(
        &client, "IncomingAd", Q_RETURN_ARG(orvane::TYPE_INCOMINGAD, byName), Q_ARG(short, 1)));
    const QMetaObject &gadget = TYPE_INCOMINGAD::staticMetaObject;
    QCOMPARE(gadget.property(gadget.indexOfProperty("AdGUID")).readOnGadget(&byName).toString(), testdata::guid(1));
}

QTEST_MAIN(TestPublishedClient)
#include "test_published_client.moc"
