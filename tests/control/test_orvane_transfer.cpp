#include <orvane/Orvane.h>

#include "catalogue/OVAdvertisement.h"
#include "catalogue/OVCommercials.h"
#include "exchange/OVContentUpdate.h"
#include "support/OVRegistryHelpers.h"

#include "ScriptedServer.h"
#include "TestDoubles.h"
#include "TestHome.h"

#include <QSignalSpy>
#include <QTest>

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
    void endToEndDeductsCountsAndMergesOffers();
    void transferTimesOut();
    void secondStartIsRefusedWhileTransferring();

private:
    void configure(Orvane &control, const QString &port);
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

void TestOrvaneTransfer::refusalsInOrder_data()
{
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<bool>("userMode");
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("product");
    QTest::addColumn<int>("code");
    QTest::newRow("disabled first") << false << false << ""
                                    << ""
                                    << "" << 102;
    QTest::newRow("design time before settings") << true << false << ""
                                                 << ""
                                                 << "" << 607;
    QTest::newRow("no port") << true << true << "h"
                             << "" << kProduct << 602;
    QTest::newRow("blank port is content") << true << true << "h"
                                           << " "
                                           << "x" << 603;
    QTest::newRow("guid without braces") << true << true << "h"
                                         << "1" << kProduct.mid(1, 36) << 603;
}

void TestOrvaneTransfer::refusalsInOrder()
{
    QFETCH(bool, enabled);
    QFETCH(bool, userMode);
    QFETCH(QString, host);
    QFETCH(QString, port);
    QFETCH(QString, product);
    QFETCH(int, code);
    RecordingContainer container;
    container.userMode = userMode;
    Orvane control(&container);
    control.setEnabled(enabled);
    control.setRemoteHost(host);
    control.setRemotePort(port);
    control.setProductGUID(product);
    QCOMPARE(int(control.StartTransfer()), code);
    QCOMPARE(int(control.LastError()), code);
    QCOMPARE(int(control.Transfer()), -1);
    QCOMPARE(control.TransferInProgress(), false);
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

void TestOrvaneTransfer::transferTimesOut()
{
    WriteSettingsValue(HKEY_CURRENT_USER, kPreferencesKey, QStringLiteral("TransferTimeoutSeconds"), 1, REG_SZ);
    ScriptedServer::Answer stall {kOK};
    stall.stopAfter = 0;
    ScriptedServer server({stall});
    Orvane control;
    configure(control, server.port());
    QSignalSpy complete(&control, &Orvane::TransferComplete);
    QCOMPARE(int(control.Transfer()), 608);
    // The exchange still ends by its own time-out, and the control is idle again.
    QVERIFY(QTest::qWaitFor([&] { return !control.TransferInProgress(); }, 5000));
    QCOMPARE(complete.size(), 1);
    QCOMPARE(complete[0][0].toBool(), false);
}

void TestOrvaneTransfer::secondStartIsRefusedWhileTransferring()
{
    ScriptedServer::Answer stall {kOK};
    stall.stopAfter = 0;
    ScriptedServer server({stall});
    Orvane first;
    configure(first, server.port());
    QCOMPARE(int(first.StartTransfer()), 0);
    QCOMPARE(int(first.StartTransfer()), 601);
    QVERIFY(first.TransferInProgress());
}

QTEST_MAIN(TestOrvaneTransfer)
#include "test_orvane_transfer.moc"
