#include <orvane/Orvane.h>

#include "catalogue/OVAdvertisement.h"
#include "catalogue/OVCommercials.h"
#include "exchange/OVContentUpdate.h"
#include "personalization/OVUser.h"
#include "support/OVRegistryHelpers.h"
#include "support/OVSimpleLog.h"
#include "window/frmAdDisplayer.h"

#include "ScriptedServer.h"
#include "TestDoubles.h"
#include "TestHome.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QSignalSpy>
#include <QWidget>

#include <QTest>
#include <sys/resource.h>

#include "TestData.h"

using namespace testdata;

using namespace orvane;
using namespace orvane::OVRegistryHelpers;

namespace {
const QByteArray kOK("HTTP/1.1 200 OK\r\n\r\n");
const QString kProduct = QStringLiteral("{12345678-9ABC-DEF0-1234-56789ABCDEF0}");
} // namespace

class TestOrvaneTransfer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup() { m_home.reset(); }

    void refusalsInOrder_data();
    void refusalsInOrder();
    void refusalWarnsThroughTheControl();
    void endToEndDeductsCountsAndMergesOffers();
    void transferTimesOutWithoutSpinning();
    void timeoutThatIsNoNumberFails();
    void usageRefusedKeepsTheCounts();
    void hostCallsFromEvents_data();
    void hostCallsFromEvents();

private:
    void configure(Orvane &control, const QString &port);
    void addCountedAd(const Orvane &control);
    std::unique_ptr<TestHome> m_home;
};

void TestOrvaneTransfer::init()
{
    m_home = std::make_unique<TestHome>();
    CreateSettingsKey(kPreferencesKey, HKEY_CURRENT_USER);
    WriteSettingsValue(HKEY_CURRENT_USER, kPreferencesKey, QStringLiteral("TimeoutGranularity"), 100, REG_SZ);
}

void TestOrvaneTransfer::configure(Orvane &control, const QString &port)
{
    control.ReadProperties(MemoryPropertyBag());
    control.setRemoteHost(QStringLiteral("127.0.0.1"));
    control.setRemotePort(port);
    control.setProductGUID(QStringLiteral("  ") + kProduct + QStringLiteral(" "));
    control.setDataFolder(m_home->path() + QStringLiteral("/data"));
    control.setImageFolder(m_home->path() + QStringLiteral("/images"));
    QDir().mkpath(control.DataFolder());
}

void TestOrvaneTransfer::addCountedAd(const Orvane &control)
{
    OVCommercials catalogue;
    catalogue.LoadAdInfoFromLocalStorage(control.DataFolder(), control.ImageFolder());
    auto ad = std::make_shared<OVAdvertisement>();
    ad->setAdGUID(guid(1));
    ad->setClickURL(QStringLiteral("http://old.example/1"));
    ad->setExpirationDate(46000.0);
    ad->setSize(1);
    ad->setViewCount(3);
    ad->setClickCount(1);
    ad->setImageFileName(QStringLiteral("known.png"));
    catalogue.AddAdvertisement(ad);
    QVERIFY(catalogue.SaveAdInfoToLocalStorage());
}

void TestOrvaneTransfer::refusalsInOrder_data()
{
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<bool>("userMode");
    QTest::addColumn<QStringList>("settings"); // host, port, product
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("lastError");
    QTest::newRow("disabled first") << false << false << QStringList {"", "", ""} << 102 << 102;
    QTest::newRow("design time before settings") << true << false << QStringList {"", "", ""} << 607 << 607;
    QTest::newRow("no port") << true << true << QStringList {"h", "", kProduct} << 602 << 602;
    QTest::newRow("blank port is content") << true << true << QStringList {"h", " ", "x"} << 603 << 603;
    QTest::newRow("guid without braces") << true << true << QStringList {"h", "1", kProduct.mid(1, 36)} << 603 << 603;
    // The exchange itself refuses a blank port: its code comes back, LastError stays.
    QTest::newRow("refused by the exchange") << true << true << QStringList {"h", " ", kProduct} << 604 << 0;
}

void TestOrvaneTransfer::refusalsInOrder()
{
    QFETCH(bool, enabled);
    QFETCH(bool, userMode);
    QFETCH(QStringList, settings);
    RecordingContainer container;
    container.userMode = userMode;
    Orvane control(&container);
    control.setEnabled(enabled);
    control.setRemoteHost(settings[0]);
    control.setRemotePort(settings[1]);
    control.setProductGUID(settings[2]);
    QTEST(int(control.StartTransfer()), "code");
    QTEST(int(control.LastError()), "lastError");
    QCOMPARE(control.TransferInProgress(), false);
    QCOMPARE(int(control.Transfer()), -1);
    QCOMPARE(control.TransferInProgress(), false);
}

void TestOrvaneTransfer::refusalWarnsThroughTheControl()
{
    m_home->writeSettingsFile("[Debug]\nLogWarningsToFile=True\nVerboseWarnings=True\n");
    FakeModuleInfo module(m_home->path());
    RecordingMessageBoxes boxes;
    Orvane first;
    Orvane second;
    QCOMPARE(int(first.StartTransfer()), 102);
    QCOMPARE(int(second.StartTransfer()), 102);
    QCOMPARE(boxes.shown.value(0), (QPair<QString, QString>("Control disabled", "Warning")));
    QCOMPARE(boxes.shown.size(), 2);
    // Both instances write to the one trace file of the process.
    const QStringList traces = QDir(m_home->path()).entryList({QStringLiteral("*_OVTrace.log")});
    QCOMPARE(traces.size(), 1);
    QFile trace(m_home->path() + u'/' + traces[0]);
    QVERIFY(trace.open(QIODevice::ReadOnly));
    QCOMPARE(trace.readAll().count("Control disabled\r\n"), 2);
}

void TestOrvaneTransfer::endToEndDeductsCountsAndMergesOffers()
{
    ImageServer images;
    images.add("known.png", ImageServer::png());
    images.add("fresh.png", ImageServer::png(20, 20));
    OVContentUpdate update;
    update.setBaseURL(images.base());
    update.AddAnOffering(
        guid(1), guid(9), QStringLiteral("http://new.example/1"), 47000.0, 1, QStringLiteral("known.png"), 20, 1);
    update.AddAnOffering(
        guid(2), guid(9), QStringLiteral("http://new.example/2"), 47001.0, 1, QStringLiteral("fresh.png"), 0, 6);
    update.AddAnOffering(QString(), guid(9), QString(), 47001.0, 1, QStringLiteral("fresh.png"), 0, 6);
    ScriptedServer server({{kOK}, {ScriptedServer::contentResponse(update.GetStateIntoByteArray())}});

    Orvane control;
    configure(control, server.port());
    addCountedAd(control);
    QStringList messages;
    QList<bool> completions;
    connect(&control, &Orvane::ProgressMessage, this, [&](const QString &m) { messages << m; });
    connect(&control, &Orvane::TransferComplete, this, [&](bool s) {
        completions << s;
        messages << QStringLiteral("TransferComplete(%1)").arg(s);
    });
    QCOMPARE(int(control.Transfer()), 0);
    QCOMPARE(completions, QList<bool>({true}));
    QVERIFY(messages.contains(QStringLiteral("Sent usage data")));
    QCOMPARE(messages.mid(messages.size() - 2), QStringList({"Transfer complete", "TransferComplete(1)"}));
    QVERIFY(server.requests[0].contains(guid(1).toLatin1()));
    QCOMPARE(ReadSettingsValue(HKEY_CURRENT_USER, kPreferencesKey, QStringLiteral("TransferTimeoutSeconds")).toString(),
        QStringLiteral("300"));

    OVCommercials after;
    after.LoadAdInfoFromLocalStorage(control.DataFolder(), control.ImageFolder());
    QCOMPARE(after.AdCount(), int16_t(2));
    const auto known = after.GetAdByGUID(guid(1));
    QCOMPARE(known->ViewCount(), int16_t(0));
    QCOMPARE(known->ClickCount(), int16_t(0));
    QCOMPARE(known->ClickURL(), QStringLiteral("http://new.example/1"));
    QCOMPARE(known->ExpirationDate(), 47000.0);
    QCOMPARE(known->Rating(), 20);
    const auto fresh = after.GetAdByGUID(guid(2));
    QCOMPARE(fresh->Size(), 6);
    QCOMPARE(fresh->AdvertiserName(), QString());
}

namespace {
double processCpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}
} // namespace

void TestOrvaneTransfer::transferTimesOutWithoutSpinning()
{
    WriteSettingsValue(HKEY_CURRENT_USER, kPreferencesKey, QStringLiteral("TransferTimeoutSeconds"), 2, REG_SZ);
    ScriptedServer::Answer stall {kOK};
    stall.stopAfter = 0;
    ScriptedServer server({stall});
    Orvane control;
    configure(control, server.port());
    QStringList events;
    connect(&control, &Orvane::ProgressMessage, this, [&](const QString &m) { events << m; });
    connect(&control, &Orvane::TransferComplete, this,
        [&](bool s) { events << QStringLiteral("TransferComplete(%1)").arg(s); });
    QElapsedTimer wall;
    wall.start();
    const double cpu = processCpuSeconds();
    QCOMPARE(int(control.Transfer()), 608);
    const double waited = wall.elapsed() / 1000.0;
    const double used = processCpuSeconds() - cpu;
    QVERIFY2(waited >= 2.0, qPrintable(QString::number(waited)));
    QVERIFY2(used < 0.2 * waited, qPrintable(QStringLiteral("%1 s of CPU in %2 s").arg(used).arg(waited)));
    // The exchange still ends by its own time-out, and the control is idle again.
    QVERIFY(QTest::qWaitFor([&] { return !control.TransferInProgress(); }, 5000));
    QCOMPARE(events.mid(events.size() - 2), QStringList({"Transfer complete", "TransferComplete(0)"}));
}

void TestOrvaneTransfer::timeoutThatIsNoNumberFails()
{
    WriteSettingsValue(HKEY_CURRENT_USER, kPreferencesKey, QStringLiteral("TransferTimeoutSeconds"), "soon", REG_SZ);
    ScriptedServer server({});
    Orvane control;
    configure(control, server.port());
    RecordingMessageBoxes boxes;
    OVSimpleLog::switches().VerboseErrors = true;
    QCOMPARE(int(control.Transfer()), -1);
    QVERIFY(!control.TransferInProgress());
    QCOMPARE(server.connections, 0);
    QCOMPARE(boxes.shown.size(), 1);
    QVERIFY(boxes.shown[0].first.startsWith(QStringLiteral("OVSocketClient.Transfer\r\n13 ")));
}

void TestOrvaneTransfer::usageRefusedKeepsTheCounts()
{
    ScriptedServer server({{"HTTP/1.1 500 Refused\r\n\r\n"}});
    Orvane control;
    configure(control, server.port());
    addCountedAd(control);
    QStringList messages;
    connect(&control, &Orvane::ProgressMessage, this, [&](const QString &m) { messages << m; });
    QCOMPARE(int(control.Transfer()), 0);
    QVERIFY(messages.contains(QStringLiteral("Error sending usage data")));
    OVCommercials after;
    after.LoadAdInfoFromLocalStorage(control.DataFolder(), control.ImageFolder());
    QCOMPARE(after.GetAdByGUID(guid(1))->ViewCount(), int16_t(3));
    QCOMPARE(after.GetAdByGUID(guid(1))->ClickCount(), int16_t(1));
}

void TestOrvaneTransfer::hostCallsFromEvents_data()
{
    QTest::addColumn<QStringList>("when"); // the event (a progress message or TransferComplete), the call
    QTest::addColumn<int>("callResult"); // -99: nothing to compare
    QTest::addColumn<int>("completions");
    QTest::newRow("delete in a progress message") << QStringList {"Sent usage data", "delete"} << -99 << 0;
    QTest::newRow("delete in Received Ad list") << QStringList {"Received Ad list", "delete"} << -99 << 0;
    QTest::newRow("delete in Transfer complete") << QStringList {"Transfer complete", "delete"} << -99 << 0;
    QTest::newRow("delete in TransferComplete") << QStringList {"TransferComplete", "delete"} << -99 << 1;
    QTest::newRow("restart in Received Ad list") << QStringList {"Received Ad list", "start"} << 601 << 1;
    QTest::newRow("restart in TransferComplete") << QStringList {"TransferComplete", "start"} << 0 << 2;
    QTest::newRow("Transfer in TransferComplete") << QStringList {"TransferComplete", "transfer"} << 0 << 2;
    QTest::newRow("Show in TransferComplete") << QStringList {"TransferComplete", "show"} << 0 << 1;
    QTest::newRow("Show in a progress message") << QStringList {"Received Ad list", "show"} << 0 << 1;
    QTest::newRow("form in a progress message") << QStringList {"Received Ad list", "form"} << 601 << 1;
    QTest::newRow("form in TransferComplete") << QStringList {"TransferComplete", "form"} << 0 << 1;
}

void TestOrvaneTransfer::hostCallsFromEvents()
{
    QFETCH(QStringList, when);
    QFETCH(int, callResult);
    OVContentUpdate update;
    update.setBaseURL(QStringLiteral("127.0.0.1:1/images"));
    const ScriptedServer::Answer content {ScriptedServer::contentResponse(update.GetStateIntoByteArray())};
    ScriptedServer server({{kOK}, content, {kOK}, content});
    OVUser().Save(true); // personalized: the ad window does not open the form over itself
    QPointer<Orvane> control = new Orvane;
    configure(*control, server.port());
    QStringList events;
    int result = -99;
    auto hostCall = [&](const QString &what) {
        events << what;
        if (what != when[0] || events.count(what) > 1)
            return;
        // Modal windows opened by the call are closed by their "user".
        QTimer::singleShot(200, this, [] {
            if (frmAdDisplayer *window = frmAdDisplayer::AdWindowInstance())
                window->unload();
            else if (QWidget *modal = QApplication::activeModalWidget())
                modal->close();
        });
        const QString &call = when[1];
        if (call == "delete")
            delete control.data();
        else
            result = call == "start" ? control->StartTransfer()
                : call == "transfer" ? control->Transfer()
                : call == "show"     ? control->Show()
                                     : control->ShowPersonalizationForm();
    };
    connect(control, &Orvane::ProgressMessage, this, hostCall);
    connect(control, &Orvane::TransferComplete, this, [&] { hostCall(QStringLiteral("TransferComplete")); });
    control->Transfer();
    QVERIFY(QTest::qWaitFor([&] { return !control || !control->TransferInProgress(); }, 10000));
    QTest::qWait(100); // nothing more may arrive
    QCOMPARE(result, callResult);
    QTEST(int(events.count(QStringLiteral("TransferComplete"))), "completions");
    // Nothing reaches the host after the end of its exchange, or after it ended the control.
    QCOMPARE(events.last(), control ? QStringLiteral("TransferComplete") : when[0]);
    delete control.data();
}

QTEST_MAIN(TestOrvaneTransfer)
#include "test_orvane_transfer.moc"
