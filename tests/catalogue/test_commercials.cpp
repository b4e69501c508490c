// The catalogue: selection, look-ups, house-keeping of records and images.
#include <orvane/ResultCodes.h>

#include "catalogue/OVAdSize.h"
#include "catalogue/OVCommercials.h"
#include "support/OVRegistryHelpers.h"
#include "support/OVSimpleLog.h"
#include "support/OleDate.h"

#include "CatalogueTestSupport.h"
#include "TestDoubles.h"
#include "TestHome.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

using namespace orvane;
using namespace orvane::OVRegistryHelpers;

namespace {
const QDateTime kNow(QDate(2024, 3, 1), QTime(12, 0));

const auto ole = [](const QDateTime &dt) { return OleDate::fromDateTime(dt); };
} // namespace

class TestCommercials : public QObject
{
    Q_OBJECT
    struct Fixture
    {
        TestHome home;
        FakeClock clock {kNow};
        FakeScreen screen {15.0};
    };
    std::optional<Fixture> m_f;

private Q_SLOTS:
    void init() { m_f.emplace(); }
    void cleanup() { m_f.reset(); }

    void sizeTable_data()
    {
        QTest::addColumn<double>("twips");
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::newRow("code 5") << 15.0 << 5 << 0 << 0;
        QTest::newRow("120 dpi") << 12.0 << 2 << 7200 << 3360;
        QTest::newRow("nearest integer") << 14.9999 << 2 << 9000 << 4200;
    }
    void sizeTable()
    {
        QFETCH(double, twips);
        QFETCH(int, size);
        m_f->screen.twips = twips;
        QTEST(AdSizeWidth(size), "width");
        QTEST(AdSizeHeight(size), "height");
    }

    void addAndLookUp()
    {
        OVCommercials c;
        QVERIFY(!c.Ad(1)); // empty: none, no fault
        QVERIFY(!c.GetAdByGUID(QStringLiteral("{x}")));
        QVERIFY(!c.GetUnusedRandomAd(2, true, AllAudiences));
        c.AddAdvertisement(makeAd(1));
        c.AddAdvertisement(makeAd(2));
        QCOMPARE(c.AdCount(), int16_t(2));
        QVERIFY_THROWS_EXCEPTION(OVFault, c.Ad(3));
        QVERIFY_THROWS_EXCEPTION(OVFault, c.Ad(0));

        // The key is the GUID as its getter returns it, case ignored.
        auto lower = makeAd(3);
        lower->setAdGUID(QStringLiteral("{abcdef00-0000-0000-0000-000000000000}"));
        c.AddAdvertisement(lower);
        QCOMPARE(c.GetAdByGUID(QStringLiteral("{ABCDEF00-0000-0000-0000-000000000000}")), lower);
        auto duplicate = makeAd(9);
        duplicate->setAdGUID(QStringLiteral("{ABCDEF00-0000-0000-0000-000000000000}"));
        QVERIFY_THROWS_EXCEPTION(OVFault, c.AddAdvertisement(duplicate)); // 457, as a loaded duplicate logs
        QCOMPARE(c.AdCount(), int16_t(3));
        c.ClearAds();
        QCOMPARE(c.AdCount(), int16_t(0));
    }

    // The random draw picks a start; the first record from there that
    // qualifies is returned, wrapping from the last to the first.
    void randomStartWrapsAround()
    {
        ScriptedRandom random({0.0, 0.5, 0.9999999999999999});
        OVCommercials c;
        for (int i = 1; i <= 5; ++i)
            c.AddAdvertisement(makeAd(i));
        QCOMPARE(c.GetUnusedRandomAd(2, false, AllAudiences), c.Ad(1));
        QCOMPARE(c.GetUnusedRandomAd(2, false, AllAudiences), c.Ad(3));
        c.Ad(5)->setVisible(true); // shown, as is the first
        c.Ad(1)->setVisible(true);
        QCOMPARE(c.GetUnusedRandomAd(2, false, AllAudiences), c.Ad(2)); // from 5 over 1 to 2
        QCOMPARE(random.position, 3);
    }

    // One record, returned or not by its rating against the user's, its
    // expiry by calendar day and its size against the one wanted.
    void qualifies_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("rating");
        QTest::addColumn<int>("user"); // the rating the user asks for
        QTest::addColumn<double>("expires");
        QTest::addColumn<int>("wanted");
        QTest::addColumn<bool>("allowSmaller");
        QTest::addColumn<bool>("returned");
        const double week = ole(kNow.addDays(7));
        for (const int user : {0, 10, 20, 30}) {
            QTest::addRow("ad 0, user %d", user) << 2 << 0 << user << week << 2 << false << false;
            QTest::addRow("ad 10, user %d", user) << 2 << 10 << user << week << 2 << false << (user == 10);
            QTest::addRow("ad 20, user %d", user) << 2 << 20 << user << week << 2 << false << true;
        }
        QTest::newRow("ad 30") << 2 << 30 << 10 << week << 2 << false << false;
        const QList<QPair<QDateTime, bool>> expiries
            = {{QDateTime(kNow.date(), QTime(23, 59)), false}, {QDateTime(kNow.date().addDays(1), QTime(0, 0)), true},
                {QDateTime(QDate(9999, 12, 31), QTime(0, 0)), true}};
        for (const auto &[expires, returned] : expiries)
            QTest::addRow("expires %s", qPrintable(expires.toString(Qt::ISODate)))
                << 2 << 20 << 0 << ole(expires) << 2 << false << returned;
        QTest::newRow("expires NaN") << 2 << 20 << 0 << qQNaN() << 2 << false << false;
        QTest::newRow("expires -infinity") << 2 << 20 << 0 << -qInf() << 2 << false << false;
        const QList<std::tuple<int, bool, QList<int>>> sizes
            = {{6, true, {6, 0, 4, 5, 7}}, {2, true, {1, 2, 3, 6, 0, 4, 5, 7}}, {1, true, {1, 6, 0, 4, 5, 7}},
                {1, false, {1}}, {4, false, {4}}, {4, true, {0, 4, 5, 7}}};
        for (const auto &[wanted, smaller, returnable] : sizes)
            for (int size = 0; size < 8; ++size)
                QTest::addRow("size %d for %d%s", size, wanted, smaller ? " or smaller" : "")
                    << size << 20 << 0 << week << wanted << smaller << returnable.contains(size);
    }
    void qualifies()
    {
        QFETCH(int, size);
        QFETCH(int, rating);
        QFETCH(int, user);
        QFETCH(double, expires);
        QFETCH(int, wanted);
        QFETCH(bool, allowSmaller);
        ScriptedRandom random;
        OVCommercials c;
        c.AddAdvertisement(makeAd(1, size, rating, expires));
        QTEST(bool(c.GetUnusedRandomAd(wanted, allowSmaller, user)), "returned");
    }

    void purgeOldFiles_data()
    {
        QTest::addColumn<QString>("claim");
        QTest::newRow("exact name") << QStringLiteral("ad7.gif");
        QTest::newRow("in a folder") << QStringLiteral("img/ad7.gif");
    }
    void purgeOldFiles()
    {
        QFETCH(QString, claim);
        QTemporaryDir images;
        for (const char *name :
            {"ad7.gif", "AD7.GIF", "d7.gif", "stale.jpg", "OVImage.dat", "ovimage.dat", "readonly.png", ".hidden"})
            QVERIFY(QFile(images.filePath(name)).open(QIODevice::WriteOnly));
        QFile::setPermissions(images.filePath("readonly.png"), QFile::ReadOwner);
        QDir(images.path()).mkdir(QStringLiteral("sub"));
        QVERIFY(QFile(images.filePath("sub/inner.gif")).open(QIODevice::WriteOnly));

        OVCommercials c;
        // Only spaces are trimmed from the folders.
        c.setDataFolder(QStringLiteral(" \tdata\n "));
        QCOMPARE(c.DataFolder(), QStringLiteral("\tdata\n"));
        c.setImageFolder(QStringLiteral("  ") + images.path() + QStringLiteral(" "));
        auto a = makeAd(1);
        a->setImageFileName(claim);
        c.AddAdvertisement(a);
        // "d7.gif" is a substring of the claim too.
        QCOMPARE(c.PurgeOldFiles(), int16_t(4)); // AD7.GIF, stale.jpg, ovimage.dat, readonly.png
        QCOMPARE(QDir(images.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name),
            QStringList({".hidden", "OVImage.dat", "ad7.gif", "d7.gif"}));
        QVERIFY(QFile::exists(images.filePath("sub/inner.gif")));

        // An empty catalogue claims nothing.
        OVCommercials empty;
        empty.setImageFolder(images.path());
        QCOMPARE(empty.PurgeOldFiles(), int16_t(2));
        QCOMPARE(QDir(images.path()).entryList(QDir::Files), QStringList({"OVImage.dat"}));

        // No usable image folder: nothing purged, and a warning.
        RecordingMessageBoxes boxes;
        OVSimpleLog::switches().VerboseWarnings = true;
        for (const QString &folder : {QString(), QStringLiteral("   "), QStringLiteral("/nonexistent/orvane/images")}) {
            empty.setImageFolder(folder);
            QCOMPARE(empty.PurgeOldFiles(), int16_t(0));
            QCOMPARE(empty.LastError(), 701);
        }
        QCOMPARE(boxes.shown, (QList<QPair<QString, QString>>(3, {"No image folder", "Warning"})));
    }

    void clearAdsWithNoCounts()
    {
        OVCommercials c;
        // Shown, viewed, expiring in a minute, expired a minute ago, clicked, expiring now.
        const QList<std::shared_ptr<OVAdvertisement>> ads
            = {makeAd(1), makeAd(2), makeAd(3, 2, 20, ole(kNow.addSecs(60))), makeAd(4, 2, 20, ole(kNow.addSecs(-60))),
                makeAd(5), makeAd(6, 2, 20, ole(kNow))};
        ads[0]->setVisible(true);
        ads[1]->setViewCount(1);
        ads[4]->setClickCount(-1);
        for (const auto &ad : ads)
            c.AddAdvertisement(ad);
        c.ClearAdsWithNoCounts(true, true);
        QCOMPARE(c.AdCount(), int16_t(5));
        QVERIFY(!c.GetAdByGUID(ads[2]->AdGUID()));
        QCOMPARE(c.Ad(3), ads[3]);
        QCOMPARE(c.Ad(5), ads[5]); // reached at this very moment: kept

        c.ClearAdsWithNoCounts(false, false);
        QCOMPARE(c.AdCount(), int16_t(2));
        QCOMPARE(c.Ad(1), ads[1]);
        QCOMPARE(c.Ad(2), ads[4]);
        c.ResetAllUsageCounts();
        QCOMPARE(ads[1]->ViewCount(), int16_t(0));
        QCOMPARE(ads[4]->ClickCount(), int16_t(0));
    }
};

QTEST_GUILESS_MAIN(TestCommercials)
#include "test_commercials.moc"
