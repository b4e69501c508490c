#include <orvane/OVHTTPClient.h>

#include "exchange/OVContentUpdate.h"
#include "exchange/OVHTTPClient.h"
#include "exchange/OVImageRetrieval.h"
#include "exchange/OVWinsock.h"
#include "exchange/frmTransferControls.h"
#include "support/OVRegistryHelpers.h"
#include "support/OVSimpleLog.h"

#include "ScriptedServer.h"
#include "TestData.h"
#include "TestDoubles.h"
#include "TestHome.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

using namespace orvane;
using namespace orvane::OVRegistryHelpers;
using namespace testdata;

namespace {
const QByteArray kOK("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n");
using Offers = QList<QPair<QString, QString>>; // AdGUID, ImageFileName
using Script = QList<ScriptedServer::Answer>;

QByteArray contentFor(const QString &base, const Offers &offers)
{
    OVContentUpdate update;
    update.setBaseURL(base);
    for (const auto &[id, file] : offers)
        update.AddAnOffering(id, guid(99), QStringLiteral("http://example.com/") + id, 46000.0, 1, file, 20, 1);
    return update.GetStateIntoByteArray();
}

// The acknowledgement of the usage post, then these offers under the image server's base.
Script adsFrom(const ImageServer &images, const Offers &offers)
{
    return {{kOK}, {ScriptedServer::contentResponse(contentFor(images.base(), offers))}};
}

// Two offers whose pictures a.png and b.png the image server holds.
Script twoPictures(ImageServer &images)
{
    images.add("a.png", ImageServer::png());
    images.add("b.png", ImageServer::png(20, 20));
    return adsFrom(images, {{guid(1), QStringLiteral("a.png")}, {guid(2), QStringLiteral("b.png")}});
}

template <class Client>
void configure(Client &client, const QString &port, const QString &images)
{
    client.setRemoteHost(QStringLiteral(" 127.0.0.1 "));
    client.setRemotePort(port);
    client.setProductGUID(QStringLiteral("{12345678-9ABC-DEF0-1234-56789ABCDEF0}"));
    client.setImageFolder(images);
}

// A client configured against a scripted ad server. Every event is recorded
// in one list, in the order raised, with the client's state at each arrival
// of bytes.
struct Exchange
{
    Exchange(const Script &script, const QString &images)
        : server(script)
    {
        configure(client, server.port(), images);
        QObject::connect(&client, &OVHTTPClient::ProgressMessage, [this](const QString &m) {
            events << m;
            if (m.endsWith(QStringLiteral(" bytes")))
                arrivalStates << client.state();
        });
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
    bool run(int ms = 10000) { return client.StartDataExchange() == 0 && waitDone(ms); }
    ScriptedServer server;
    OVHTTPClient client;
    QStringList events;
    QList<int> arrivalStates;
    bool done = false;
};
} // namespace

class TestHTTPClient : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_home = std::make_unique<TestHome>();
        m_images = m_home->path() + QStringLiteral("/images");
        CreateSettingsKey(kPreferencesKey, HKEY_CURRENT_USER);
        setTimeout(30);
        WriteSettingsValue(HKEY_CURRENT_USER, kPreferencesKey, QStringLiteral("TimeoutGranularity"), 100, REG_SZ);
    }
    void cleanup() { m_home.reset(); }

    // Twelve pictures that the image server answers slowly, several at once.
    void successfulExchange()
    {
        ImageServer images;
        images.delayMs = 300;
        Offers offers;
        QStringList retrieval;
        for (int i = 1; i <= 12; ++i) {
            const QString name = QStringLiteral("ad%1.png").arg(i);
            offers.append({guid(i), name});
            images.add(name.toLatin1(), ImageServer::png(600, 280, QColor(i, 90, 40)));
            const QString address = QStringLiteral("http://") + images.base() + u'/' + name;
            retrieval << "Retrieving " + address << "Received " + address;
        }
        const Script script = adsFrom(images, offers);
        Exchange x(script, m_images);
        x.client.AddUsageStat(guid(1), 3, 1, 2.5);
        // The host's own timer ticks between the images' messages: its event loop is never held up for them.
        int ticks = 0;
        QList<int> ticksAtReceived;
        QTimer probe;
        probe.setInterval(5);
        QObject::connect(&probe, &QTimer::timeout, [&] { ++ticks; });
        // While the images come the host may call the client: a new start is refused.
        int16_t startDuringImages = 0;
        qsizetype askedAtFirst = -1; // images asked for when the first one has come
        QObject::connect(&x.client, &OVHTTPClient::ProgressMessage, [&](const QString &m) {
            if (m.startsWith(QStringLiteral("Received http"))) {
                ticksAtReceived << ticks;
                if (askedAtFirst < 0) {
                    askedAtFirst = images.requests.size();
                    startDuringImages = x.client.StartDataExchange();
                }
            }
            if (m == QStringLiteral("Retrieving Images"))
                probe.start();
        });
        QCOMPARE(x.client.StartDataExchange(), int16_t(0));
        // A second start is refused and leaves the running exchange alone.
        QCOMPARE(x.client.StartDataExchange(), int16_t(601));
        QVERIFY(x.waitDone(20000));
        probe.stop();
        QCOMPARE(x.events,
            QStringList({"Connected", "Sending usage data", "Sent usage data",
                QStringLiteral("Received %1 bytes").arg(kOK.size()), "SentUsage(1)", "Requesting Ads",
                "Sent content request", QStringLiteral("Received %1 bytes").arg(script[1].bytes.size()),
                "Received Ad list", "Retrieving Images"})
                + retrieval + QStringList({"ReceivedContent(1)", "DataExchanged(1)"}));
        // Header and content came in one block.
        QCOMPARE(x.arrivalStates, QList<int>({120, 128}));
        QCOMPARE(x.server.connections, 2);
        // The report's 110 bytes are announced two short.
        const QByteArray &post = x.server.requests[0];
        QCOMPARE(post.size() - post.indexOf("\r\n\r\n") - 4, 110);
        QCOMPARE(post.left(post.indexOf("\r\n\r\n")),
            QByteArray("POST /Orvane/Usage HTTP/1.1\r\nHost: 127.0.0.1\r\nCache-Control: no-cache\r\n"
                       "Content-Type: application/x-orvane\r\nContent-Length: 108"));
        QCOMPARE(x.server.requests[1],
            QByteArray("GET /Orvane/Ads HTTP/1.1\r\nHost: 127.0.0.1\r\nCache-Control: no-cache\r\n\r\n"));
        QCOMPARE(x.client.AdCount(), int16_t(12));
        QCOMPARE(x.client.IncomingAd(1).AdGUID, guid(1));
        QCOMPARE(x.client.IncomingAd(0).AdGUID, QString());
        QCOMPARE(x.client.IncomingAd(13).AdGUID, QString());
        QVERIFY(QFile::exists(m_images + QStringLiteral("/ad12.png")));
        QCOMPARE(x.client.state(), 10);
        QVERIFY(!x.client.isExchanging());
        QCOMPARE(startDuringImages, int16_t(601));
        QVERIFY(ticksAtReceived.first() < ticksAtReceived.last());
        // Messages come as images arrive, not in one burst at the end.
        QVERIFY2(askedAtFirst > 0 && askedAtFirst < 12, qPrintable(QString::number(askedAtFirst)));
        // Several images at once over a few kept-alive connections.
        QVERIFY(images.connections <= 4);
    }

    // A 100-byte header and 5,000 bytes in 1,460-byte blocks: the first
    // arrives in state 128, the rest in 150 until the fourth completes it.
    void contentBlocks()
    {
        // A content update without offers whose base address pads it to 5,000 bytes.
        QByteArray response = "HTTP/1.1 200 OK\r\nContent-Length: 5000\r\nX-Pad: ";
        response += QByteArray(100 - response.size() - 4, 'p') + "\r\n\r\n";
        response += contentFor(QString(5000 - contentFor(QString(), {}).size(), u'b'), {});
        QCOMPARE(response.size(), 5100);
        Exchange x({{kOK}, {response, 1460, 40}}, m_images);
        QVERIFY(x.run());
        QCOMPARE(x.arrivalStates, QList<int>({120, 128, 150, 150, 150}));
        const QString block = QStringLiteral("Received 1460 bytes");
        QCOMPARE(x.events.mid(x.events.indexOf(QStringLiteral("Sent content request")) + 1, 5),
            QStringList({block, block, block, "Received 720 bytes", "Received Ad list"}));
        QCOMPARE(x.events.last(), QStringLiteral("DataExchanged(1)"));
    }

    void failedExchanges_data()
    {
        QTest::addColumn<Script>("script");
        QTest::addColumn<int>("injectIn"); // the state in which 7 bytes are reported (negated: a close); 0: none
        QTest::addColumn<QString>("lastEvents");
        QTest::addColumn<int>("lastArrivalState");
        QTest::newRow("negative acknowledgement")
            << Script {{"HTTP/1.1 500 Internal Server Error\r\n\r\n"}} << 0 << "SentUsage(0) DataExchanged(0)" << 120;
        QTest::newRow("content too long") << Script {{kOK}, {"HTTP/1.1 200 OK\r\nContent-Length: 99999\r\n\r\nxyz"}}
                                          << 0 << "bytes DataExchanged(0)" << 128;
        QTest::newRow("bytes while sending the usage post")
            << Script {{kOK}} << 110 << "Received 7 bytes DataExchanged(0)" << 110;
        QTest::newRow("bytes while sending the ad request")
            << Script {{kOK}, {kOK}} << 127 << "Received 7 bytes DataExchanged(0)" << 127;
        QTest::newRow("close while sending the ad request")
            << Script {{kOK}, {kOK, 0, 0, 0}} << -127 << "Requesting Ads DataExchanged(0)" << 120;
    }

    void failedExchanges()
    {
        QFETCH(Script, script);
        QFETCH(int, injectIn);
        QFETCH(QString, lastEvents);
        QFETCH(int, lastArrivalState);
        Exchange x(script, m_images);
        // The socket reports bytes (or a close) as soon as the request is handed to it, before it is sent.
        OVWinsock *socket = frmTransferControls::instance()->Winsock1();
        QObject::connect(socket, &OVWinsock::Connected, &x.client, [&] {
            if (x.client.state() == injectIn)
                Q_EMIT socket->DataArrival(7);
            else if (x.client.state() == -injectIn)
                Q_EMIT socket->Closed();
        });
        QVERIFY(x.run(5000)); // well before the 30-second time-out
        QVERIFY2(x.events.join(u' ').endsWith(lastEvents), qPrintable(x.events.join(u'|')));
        QCOMPARE(x.arrivalStates.last(), lastArrivalState);
        QCOMPARE(x.client.state(), 10);
        QTRY_COMPARE(x.server.open, 0);
        QCOMPARE(x.server.connections, int(script.size()));
    }

    // Silence counts clock-second boundaries since the last bytes: one is no more than a time-out of 1 s, two are.
    // A byte after every second is cut off past the exchange's bound: twice the time-out plus the image budget.
    void timeOuts_data()
    {
        QTest::addColumn<int>("timeout");
        QTest::addColumn<int>("blockSize"); // of the 500 content bytes, one block every 20 ms
        QTest::addColumn<QList<int>>("steps"); // of the clock, in ms; the exchange ends at the last
        QTest::newRow("silence") << 1 << 100 << QList<int>({1999, 1});
        QTest::newRow("dripping") << 2 << 1 << QList<int>({1000, 1000, 1000, 1000, 1000, 1000});
    }
    void timeOuts()
    {
        QFETCH(int, timeout);
        QFETCH(int, blockSize);
        QFETCH(QList<int>, steps);
        setTimeout(timeout);
        FakeClock clock(QDateTime(QDate(2026, 12, 6), QTime(10, 0)));
        ScriptedServer::Answer content {ScriptedServer::contentResponse(QByteArray(500, 'x')), blockSize, 20};
        content.stopAfter = blockSize > 1 ? 400 : -1;
        Exchange x({{kOK}, content, {kOK}}, m_images);
        auto limits = x.client.imageLimits();
        limits.totalTimeoutMs = 1000;
        x.client.setImageLimits(limits);
        QSignalSpy ticks(frmTransferControls::instance()->Timer1(), &QTimer::timeout);
        QCOMPARE(x.client.StartDataExchange(), int16_t(0));
        QTRY_VERIFY(blockSize == 1 || x.events.count(QStringLiteral("Received 100 bytes")) == 4);
        for (qsizetype i = 0; i < steps.size(); ++i) {
            QVERIFY2(!x.done, qPrintable(QString::number(i)));
            clock.local = clock.local.addMSecs(steps[i]);
            const qsizetype before = x.events.size();
            QTRY_VERIFY(blockSize > 1 || x.events.size() > before); // a byte at this second
            QVERIFY(i + 1 == steps.size() || ticks.wait());
        }
        QVERIFY(x.waitDone());
        QCOMPARE(x.events.last(), QStringLiteral("DataExchanged(0)"));
        QCOMPARE(x.client.state(), 10);
        QCOMPARE(x.client.StartDataExchange(), int16_t(0));
        QTRY_VERIFY(x.server.connections >= 3); // the next exchange starts
    }

    void refusalsAndAborts()
    {
        ScriptedServer::Answer stall {kOK};
        stall.stopAfter = 0;
        Exchange x({stall}, m_images);
        x.client.setRemotePort(QString());
        QCOMPARE(x.client.StartDataExchange(), int16_t(604));
        QCOMPARE(x.client.LastError(), int16_t(604));
        // An abort reports a failed end whether or not an exchange runs.
        x.client.AbortDataExchange(QStringLiteral("idle"));
        QCOMPARE(x.events, QStringList {"DataExchanged(0)"});
        x.client.setRemotePort(x.server.port());
        QCOMPARE(x.client.StartDataExchange(), int16_t(0));
        QVERIFY(QTest::qWaitFor([&] { return x.server.connections == 1; }, 5000));
        x.client.AbortDataExchange(QStringLiteral("test"));
        x.client.AbortDataExchange(QStringLiteral("again"));
        QCOMPARE(x.events.count(QStringLiteral("DataExchanged(0)")), 3);
        QCOMPARE(x.client.state(), 10);
    }

    void endingTheExchangeFromItsEvents_data()
    {
        QTest::addColumn<QString>("trigger"); // the start of the event that ends it
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("stall"); // the ad list never comes
        const auto row = [](const char *tag, const char *trigger, const char *how, bool stall) {
            QTest::newRow(tag) << QString(trigger) << QString(how) << stall;
        };
        row("deleted when connected", "Connected", "delete", false);
        row("deleted when bytes arrive", "Received 38 bytes", "delete", false);
        row("deleted when timed out", "DataExchanged(0)", "delete", true);
        row("deleted from the host's timer mid-retrieval", "Retrieving http", "delete later", false);
        row("deleted mid-retrieval", "Retrieving http", "delete", false);
        row("aborted mid-retrieval", "Retrieving http", "abort", false);
    }

    void endingTheExchangeFromItsEvents()
    {
        QFETCH(QString, trigger);
        QFETCH(QString, how);
        QFETCH(bool, stall);
        setTimeout(1);
        ImageServer images;
        images.delayMs = 400;
        Script script = twoPictures(images);
        if (stall)
            script[1].stopAfter = 0;
        ScriptedServer server(script << ScriptedServer::Answer {kOK});
        auto *client = new OVHTTPClient;
        configure(*client, server.port(), m_images);
        QStringList events;
        QString fired;
        const auto record = [&](const QString &m) {
            events << m;
            if (!fired.isEmpty() || !m.startsWith(trigger))
                return;
            fired = m;
            if (how == QStringLiteral("delete"))
                delete client;
            else if (how == QStringLiteral("abort"))
                client->AbortDataExchange(QStringLiteral("host"));
            else
                QTimer::singleShot(100, [&] { delete client; });
        };
        QObject::connect(client, &OVHTTPClient::ProgressMessage, record);
        QObject::connect(
            client, &OVHTTPClient::DataExchanged, [&](bool s) { record(QStringLiteral("DataExchanged(%1)").arg(s)); });
        QCOMPARE(client->StartDataExchange(), int16_t(0));
        QTRY_VERIFY_WITH_TIMEOUT(!fired.isEmpty(), 5000);
        // Nothing more is raised or written: the downloads are cancelled and their connections closed.
        QTRY_COMPARE(images.open, 0);
        QStringList after {fired};
        if (how == QStringLiteral("abort"))
            after << QStringLiteral("DataExchanged(0)");
        QCOMPARE(events.mid(events.indexOf(fired)), after);
        QVERIFY(QDir(m_images).entryList(QDir::Files).isEmpty());
        if (how == QStringLiteral("abort")) {
            QCOMPARE(client->state(), 10);
            delete client;
        }
        // The shared controls start again for the next client.
        const int before = server.connections;
        OVHTTPClient next;
        configure(next, server.port(), m_images);
        QCOMPARE(next.StartDataExchange(), int16_t(0));
        QVERIFY(QTest::qWaitFor([&] { return server.connections > before; }, 5000));
    }

    // The published client, read late bound as a host that created it by class id reads it.
    void publishedClient()
    {
        ImageServer images;
        ScriptedServer server(twoPictures(images));
        exchange::OVHTTPClient client;
        QCOMPARE(client.AdCount(), short(-1));
        configure(client, server.port(), m_images);
        client.AddUsageStat(guid(1), 2, 1, 46000.5);
        QSignalSpy exchanged(&client, &exchange::OVHTTPClient::DataExchanged);
        QCOMPARE(client.StartDataExchange(), short(0));
        QVERIFY(exchanged.wait(10000));
        QCOMPARE(exchanged[0][0].toBool(), true);
        QCOMPARE(client.AdCount(), short(2));
        TYPE_INCOMINGAD ad;
        QVERIFY(QMetaObject::invokeMethod(
            &client, "IncomingAd", Q_RETURN_ARG(orvane::TYPE_INCOMINGAD, ad), Q_ARG(short, 2)));
        const QMetaObject &gadget = TYPE_INCOMINGAD::staticMetaObject;
        QCOMPARE(gadget.property(gadget.indexOfProperty("ClickURL")).readOnGadget(&ad).toString(),
            "http://example.com/" + guid(2));
        QVERIFY(QFile::exists(m_images + QStringLiteral("/b.png")));
    }

    void imageAddresses_data()
    {
        QTest::addColumn<QString>("base");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("address");
        const auto row = [](const char *tag, const char *base, const char *name, const char *address) {
            QTest::newRow(tag) << QString(base) << QString(name) << QString(address);
        };
        row("plain base", " h/i ", " a.png ", "http://h/i/a.png");
        row("base ending in a slash", "h/", "a.png", "http://h//a.png");
        row("http:", "http://h", "a.png", "http://h/a.png");
        row("ftp:", "ftp://h", "a.png", "ftp://h/a.png");
        row("HTTP: in capitals", "HTTP://h", "a.png", "http://HTTP://h/a.png");
    }

    void imageAddresses()
    {
        QFETCH(QString, base);
        QFETCH(QString, name);
        QFETCH(QString, address);
        QCOMPARE(OVImageRetrieval::imageAddress(OVImageRetrieval::baseAddress(base), name), address);
    }

    void imageRules()
    {
        FakeModuleInfo module(m_home->path());
        CreateSettingsKey(kDebugKey, HKEY_CURRENT_USER);
        WriteSettingsValue(
            HKEY_CURRENT_USER, kDebugKey, QStringLiteral("TraceTransfer"), QStringLiteral("True"), REG_SZ);
        ImageServer images;
        images.add("new.png", ImageServer::png(), 300); // slow: later results wait for it
        images.add("x/y/deep.png", ImageServer::png());
        images.add("x\\z.gif", ImageServer::png());
        images.add("page.gif", "<html>Server error</html>");
        images.add("empty.png", "");
        images.add("dup.png", ImageServer::png());
        images.add("big.png", QByteArray((1 << 20) + 1, 'x')); // past the client's limit
        QDir().mkpath(m_images);
        {
            QFile f(m_images + QStringLiteral("/kept.png"));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(ImageServer::png(5, 5));
        }
        // An empty base: the file names carry the server.
        const QString server = images.base() + u'/';
        const QByteArray content = contentFor(QString(),
            {{guid(1), server + "kept.png"}, {guid(2), server + "new.png"}, {guid(3), server + "page.gif"},
                {guid(4), QString()}, {guid(5), server + "x/y/deep.png"}, {guid(6), server + "missing.png"},
                {guid(7), server + "x\\z.gif"}, {guid(8), server + "empty.png"}, {guid(9), server + "dup.png"},
                {guid(10), server + "other/dup.png"}, {guid(11), server + "big.png"}});
        Exchange x({{kOK}, {ScriptedServer::contentResponse(content)}}, m_images);
        QVERIFY(x.run());
        const QString base = QStringLiteral("http://") + server;
        QCOMPARE(x.events.mid(x.events.indexOf(QStringLiteral("Retrieving Images")) + 1),
            QStringList({"Retrieving " + base + "new.png", "Received " + base + "new.png",
                "Retrieving " + base + "page.gif", "Invalid or missing image file: " + base + "page.gif",
                "Retrieving " + base + "x/y/deep.png", "Received " + base + "x/y/deep.png",
                "Retrieving " + base + "missing.png", "Invalid or missing image file: " + base + "missing.png",
                "Retrieving " + base + "x\\z.gif", "Received " + base + "x\\z.gif", "Retrieving " + base + "empty.png",
                "Retrieving " + base + "dup.png", "Received " + base + "dup.png", "Retrieving " + base + "big.png",
                "Invalid or missing image file: " + base + "big.png", "ReceivedContent(0)", "DataExchanged(0)"}));
        // The picture already present and the name an earlier offer got are not asked for.
        QStringList asked;
        for (const QByteArray &path : images.requests)
            asked << QString::fromLatin1(path);
        asked.sort();
        QCOMPARE(asked,
            QStringList({"/images/big.png", "/images/dup.png", "/images/empty.png", "/images/missing.png",
                "/images/new.png", "/images/page.gif", "/images/x/y/deep.png", "/images/x\\z.gif"}));
        QCOMPARE(QDir(m_images).entryList(QDir::Files),
            QStringList({"deep.png", "dup.png", "kept.png", "new.png", "z.gif"}));
        QCOMPARE(x.client.LastError(), int16_t(609));
        QStringList left;
        for (int16_t i = 1; i <= x.client.AdCount(); ++i)
            left << x.client.IncomingAd(i).AdGUID;
        QCOMPARE(left, QStringList({guid(1), guid(2), guid(5), guid(7), guid(9), guid(10)}));
        // No record handed to the control carries an advertiser name.
        for (int16_t i = 1; i <= x.client.AdCount(); ++i)
            QVERIFY(x.client.IncomingAd(i).AdvertiserName.isEmpty());
        // The trace names every offer's address in order, and why the empty answer failed.
        QFile file(OVSimpleLog::TraceFileName());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QStringList lines;
        for (const QByteArray &line : file.readAll().split('\n'))
            lines << QString::fromLatin1(line.trimmed()).section(u' ', 3);
        const qsizetype at = lines.indexOf(QStringLiteral("Retrieving images"));
        QCOMPARE(lines.mid(at, 2), QStringList({"Retrieving images", "11 offerings"}));
        QCOMPARE(lines[lines.indexOf(base + "empty.png") + 1], "OpenURL(" + base + "empty.png) failed");
        QCOMPARE(lines.filter(QRegularExpression(QStringLiteral("^http://"))),
            QStringList({base + "kept.png", base + "new.png", base + "page.gif", "http://", base + "x/y/deep.png",
                base + "missing.png", base + "x\\z.gif", base + "empty.png", base + "dup.png", base + "other/dup.png",
                base + "big.png"}));
    }

private:
    void setTimeout(int seconds)
    {
        WriteSettingsValue(
            HKEY_CURRENT_USER, kPreferencesKey, QStringLiteral("TransferTimeoutSeconds"), seconds, REG_SZ);
    }

    std::unique_ptr<TestHome> m_home;
    QString m_images;
};

QTEST_MAIN(TestHTTPClient)
#include "test_httpclient.moc"
