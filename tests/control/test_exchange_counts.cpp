// Every count is reported once: what is deducted is what the acknowledged
// report carried, counts whose deduction could not be kept are not sent, and
// an exchange cut at any byte of the server's answers leaves the control
// idle and the counts right.
#include <orvane/Orvane.h>

#include "catalogue/OVAdvertisement.h"
#include "catalogue/OVCommercials.h"
#include "control/OrvanePrivate.h"
#include "exchange/OVAdStat.h"
#include "exchange/OVContentUpdate.h"
#include "exchange/OVFraming.h"
#include "exchange/OVUsageReport.h"
#include "support/OVRegistryHelpers.h"
#include "support/OVSimpleLog.h"

#include "../catalogue/CatalogueTestSupport.h"
#include "ScriptedServer.h"
#include "TestData.h"
#include "TestDoubles.h"
#include "TestHome.h"

#include <QSignalSpy>
#include <QTest>

#include <unistd.h>

using namespace orvane;
using namespace orvane::OVRegistryHelpers;
using testdata::guid;

namespace {
const QByteArray kOK("HTTP/1.1 200 OK\r\n\r\n");
const QString kProduct = QStringLiteral("{12345678-9ABC-DEF0-1234-56789ABCDEF0}");
using Counts = QMap<QString, QPair<int, int>>; // views, clicks

// Ads 1..n with views and clicks; expired, so that a content update keeps them.
Counts seed(const QString &folder, int n)
{
    OVCommercials catalogue;
    catalogue.setDataFolder(folder);
    Counts counts;
    for (int i = 1; i <= n; ++i) {
        auto ad = std::make_shared<OVAdvertisement>();
        ad->setAdGUID(guid(i));
        ad->setExpirationDate(40000.0);
        ad->setViewCount(int16_t(i % 7 + 1));
        ad->setClickCount(int16_t(i % 3));
        counts[guid(i)] = {i % 7 + 1, i % 3};
        catalogue.AddAdvertisement(ad);
    }
    catalogue.SaveAdInfoToLocalStorage();
    return counts;
}

Counts stored(const QString &folder)
{
    OVCommercials catalogue;
    catalogue.LoadAdInfoFromLocalStorage(folder, folder);
    Counts counts;
    for (const auto &ad : catalogue.Ads())
        counts[ad->AdGUID()] = {ad->ViewCount(), ad->ClickCount()};
    return counts;
}

// What the usage posts the server received reported, added up per ad.
Counts reported(const QList<QByteArray> &requests)
{
    Counts counts;
    for (const QByteArray &request : requests) {
        if (!request.startsWith("POST"))
            continue;
        OVUsageReport report;
        report.SetStateFromByteArray(request.mid(request.indexOf("\r\n\r\n") + 4));
        for (const auto &stat : report.AdStats()) {
            counts[stat->AdIdGUIDString()].first += stat->ViewCount();
            counts[stat->AdIdGUIDString()].second += stat->ClickCount();
        }
    }
    return counts;
}

QByteArray emptyContent()
{
    OVContentUpdate update;
    update.setBaseURL(QStringLiteral("127.0.0.1:9/images"));
    return ScriptedServer::contentResponse(update.GetStateIntoByteArray());
}

} // namespace

class TestExchangeCounts : public QObject
{
    Q_OBJECT
    std::unique_ptr<TestHome> m_home;
    // In memory where possible: every save waits for the disk.
    std::unique_ptr<QTemporaryDir> m_data;
    QString data() const { return m_data->path(); }

    void configure(Orvane &control, const QString &port)
    {
        control.ReadProperties(MemoryPropertyBag());
        control.setRemoteHost(QStringLiteral("127.0.0.1"));
        control.setRemotePort(port);
        control.setProductGUID(kProduct);
        control.setDataFolder(data());
        control.setImageFolder(m_home->path() + QStringLiteral("/images"));
        QDir().mkpath(control.ImageFolder());
    }

private Q_SLOTS:
    // One home for the suite: once the settings exist, no case writes them
    // again (every settings write waits for the disk).
    void initTestCase()
    {
        m_home = std::make_unique<TestHome>();
        CreateSettingsKey(kPreferencesKey, HKEY_CURRENT_USER);
        WriteSettingsValue(HKEY_CURRENT_USER, kPreferencesKey, QStringLiteral("TimeoutGranularity"), 100, REG_SZ);
        WriteSettingsValue(HKEY_CURRENT_USER, kPreferencesKey, QStringLiteral("TransferTimeoutSeconds"), 5, REG_SZ);
        // Blank demographics would be written back at every load.
        CreateSettingsKey(kDemographicsKey, HKEY_CURRENT_USER);
        for (const char *name : {"Gender", "PostalCode", "CountryCode"})
            WriteSettingsValue(
                HKEY_CURRENT_USER, kDemographicsKey, QString::fromLatin1(name), QStringLiteral("X"), REG_SZ);
    }
    void cleanupTestCase() { m_home.reset(); }
    void init()
    {
        m_data = QFileInfo(QStringLiteral("/dev/shm")).isWritable()
            ? std::make_unique<QTemporaryDir>(QStringLiteral("/dev/shm/orvane-XXXXXX"))
            : std::make_unique<QTemporaryDir>();
    }
    void cleanup() { m_data.reset(); }

    // Counts added during the exchange stay; a reported ad that has left the
    // catalogue is a logged failure of its own step only.
    void sentUsageDeductsWhatWasReported_data()
    {
        QTest::addColumn<bool>("success");
        QTest::addColumn<QList<int>>("expected"); // views, clicks of ad 1 and of ad 2
        QTest::newRow("acknowledged") << true << QList<int>({2, 0, 0, 1});
        QTest::newRow("refused") << false << QList<int>({5, 1, 4, 1});
    }
    void sentUsageDeductsWhatWasReported()
    {
        QFETCH(bool, success);
        QFETCH(QList<int>, expected);
        RecordingMessageBoxes boxes;
        Orvane control;
        OVSimpleLog::switches().VerboseErrors = true;
        OrvanePrivate p(&control, nullptr);
        p.DataFolder = data();
        p.Commercials = std::make_shared<OVCommercials>();
        p.Commercials->setDataFolder(data());
        p.UsageReport = std::make_shared<OVUsageReport>();
        for (int i = 1; i <= 2; ++i) {
            auto ad = std::make_shared<OVAdvertisement>();
            ad->setAdGUID(guid(i));
            ad->setViewCount(int16_t(i == 1 ? 3 : 4));
            ad->setClickCount(1);
            p.Commercials->AddAdvertisement(ad);
        }
        p.UsageReport->AddUsageStat(guid(9), 1, 1, 0); // no longer in the catalogue
        p.UsageReport->AddUsageStat(guid(1), 3, 1, 0);
        p.UsageReport->AddUsageStat(guid(2), 4, 0, 0);
        p.Commercials->Ad(1)->setViewCount(5); // 2 more views during the exchange
        p.mOVClientTransfer_SentUsage(success);
        const auto a = p.Commercials->Ad(1), b = p.Commercials->Ad(2);
        QCOMPARE(QList<int>({a->ViewCount(), a->ClickCount(), b->ViewCount(), b->ClickCount()}), expected);
        QCOMPARE(boxes.shown.size(), success ? 1 : 0);
        if (success)
            QVERIFY(boxes.shown[0].first.startsWith("OVSocketClient.SentUsage\r\n91 "));
    }

    // The largest catalogue transfers; its report cannot carry every
    // statistic: the rest stay counted, also in an ad that an offer updates.
    void oversizedReportLeavesTheRestCounted()
    {
        const Counts before = seed(data(), 32767);
        ImageServer images;
        images.add("ad.png", ImageServer::png());
        OVContentUpdate update;
        update.setBaseURL(images.base());
        update.AddAnOffering(
            guid(600), guid(9), QStringLiteral("http://new.example/"), 47000.0, 1, QStringLiteral("ad.png"), 20, 1);
        ScriptedServer server({{kOK}, {ScriptedServer::contentResponse(update.GetStateIntoByteArray())}});
        Orvane control;
        configure(control, server.port());
        QCOMPARE(int(control.Transfer()), 0);
        const Counts sent = reported(server.requests);
        QVERIFY(sent.size() > 500 && sent.size() < 600);
        QVERIFY(!sent.contains(guid(600)));
        const Counts left = stored(data());
        for (auto it = before.cbegin(); it != before.cend(); ++it) {
            const auto s = sent.value(it.key()), l = left.value(it.key());
            QCOMPARE(s.first + l.first, it.value().first);
            QCOMPARE(s.second + l.second, it.value().second);
        }
        OVCommercials after;
        after.LoadAdInfoFromLocalStorage(data(), data());
        QCOMPARE(after.GetAdByGUID(guid(600))->ClickURL(), QStringLiteral("http://new.example/"));
        QCOMPARE(left.value(guid(600)), before.value(guid(600)));
    }

    // A sum of counts past 16 bits is a failure while preparing.
    void countSumOverflowFailsTheStart()
    {
        OVCommercials catalogue;
        catalogue.setDataFolder(data());
        auto ad = std::make_shared<OVAdvertisement>();
        ad->setAdGUID(guid(1));
        ad->setViewCount(32767);
        ad->setClickCount(1);
        catalogue.AddAdvertisement(ad);
        QVERIFY(catalogue.SaveAdInfoToLocalStorage());
        Orvane control;
        configure(control, QStringLiteral("9"));
        QCOMPARE(int(control.StartTransfer()), -1);
        QCOMPARE(int(control.LastError()), -1);
        QVERIFY(!control.TransferInProgress());
    }

    // Counts whose deduction could not be saved are held back, so over two
    // runs each ad's counts reach the server exactly once.
    void unsavableDataFolderHoldsCountsBack_data()
    {
        QTest::addColumn<bool>("readOnly");
        QTest::newRow("full disk") << false;
        QTest::newRow("read-only folder") << true;
    }
    void unsavableDataFolderHoldsCountsBack()
    {
        QFETCH(bool, readOnly);
        if (readOnly && ::geteuid() == 0)
            QSKIP("permissions do not bind root");
        const Counts before = seed(data(), 20);
        ScriptedServer server({{kOK}, {emptyContent()}, {kOK}, {emptyContent()}});
        {
            Orvane control;
            configure(control, server.port());
            QFile::setPermissions(data(),
                readOnly ? QFile::ReadOwner | QFile::ExeOwner : QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            RecordingMessageBoxes boxes;
            OVSimpleLog::switches().VerboseWarnings = true;
            DiskFull full(readOnly ? RLIM_INFINITY : 4096); // less than the data file
            QCOMPARE(int(control.Transfer()), 0);
            OVSimpleLog::switches().VerboseWarnings = false;
            QVERIFY(boxes.shown.value(0).first.startsWith("Usage counts held back until the data file can be saved: "));
            QFile::setPermissions(data(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        QCOMPARE(reported(server.requests), Counts());
        QCOMPARE(stored(data()), before);
        Orvane control;
        configure(control, server.port());
        QCOMPARE(int(control.Transfer()), 0);
        QCOMPARE(reported(server.requests), before);
    }

    // The save after the acknowledgement fails: the deduction stays in
    // memory, nothing is sent again, and the next save keeps it.
    void saveFailingAfterAcknowledgement()
    {
        const Counts before = seed(data(), 20);
        ScriptedServer server({{kOK}, {emptyContent()}, {kOK}, {emptyContent()}});
        Orvane control;
        configure(control, server.port());
        std::unique_ptr<DiskFull> full;
        connect(&control, &Orvane::ProgressMessage, this, [&](const QString &m) {
            if (m == QStringLiteral("Sending usage data"))
                full = std::make_unique<DiskFull>(4096);
        });
        QCOMPARE(int(control.Transfer()), 0);
        full.reset();
        QCOMPARE(reported(server.requests), before);
        QCOMPARE(stored(data()), before);
        control.disconnect(this);
        QCOMPARE(int(control.Transfer()), 0);
        QCOMPARE(reported(server.requests), before);
        for (const auto &counts : stored(data()))
            QCOMPARE(counts, qMakePair(0, 0));
    }

    // The server closes or resets each connection after k bytes, for every
    // k of its answers.
    void faultAtEveryByte_data()
    {
        QTest::addColumn<int>("connection");
        QTest::addColumn<int>("k");
        QTest::addColumn<bool>("reset");
        const qsizetype sizes[2] = {kOK.size(), emptyContent().size()};
        for (int connection = 0; connection < 2; ++connection)
            for (int k = 0; k <= sizes[connection]; ++k)
                for (bool reset : {false, true})
                    QTest::addRow("%s %d %s", connection ? "content" : "ack", k, reset ? "reset" : "close")
                        << connection << k << reset;
    }
    void faultAtEveryByte()
    {
        QFETCH(int, connection);
        QFETCH(int, k);
        QFETCH(bool, reset);
        const Counts before = seed(data(), 2);
        ScriptedServer::Answer answers[2] = {{kOK}, {emptyContent()}};
        answers[connection].stopAfter = k;
        answers[connection].closeInsteadOfStall = true;
        answers[connection].reset = reset;
        ScriptedServer server({answers[0], answers[1]});
        Orvane control;
        configure(control, server.port());
        QSignalSpy complete(&control, &Orvane::TransferComplete);
        QCOMPARE(int(control.StartTransfer()), 0);
        QVERIFY(complete.wait(5000));
        QVERIFY(!control.TransferInProgress());

        const bool acknowledged = stored(data()) != before;
        const QByteArray ackSent = connection == 0 ? kOK.left(k) : kOK;
        QVERIFY(!acknowledged || OVFraming::IsOKResponse(ackSent));
        if (connection == 1 || k == kOK.size())
            QVERIFY(acknowledged);
        QCOMPARE(complete[0][0].toBool(), acknowledged && (connection == 0 || k == emptyContent().size()));

        // The next transfer works and reports what is left: everything again
        // when the acknowledgement was lost.
        ScriptedServer again({{kOK}, {emptyContent()}});
        control.setRemotePort(again.port());
        QCOMPARE(int(control.StartTransfer()), 0);
        QVERIFY(complete.wait(5000));
        QVERIFY(complete[1][0].toBool());
        Counts expected = before;
        for (auto &counts : expected)
            counts = acknowledged ? counts : qMakePair(2 * counts.first, 2 * counts.second);
        QCOMPARE(reported(server.requests + again.requests), expected);
    }
};

QTEST_MAIN(TestExchangeCounts)
#include "test_exchange_counts.moc"
