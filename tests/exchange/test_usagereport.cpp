#include "exchange/OVUsageReport.h"
#include "personalization/OVUser.h"
#include "support/OVSimpleLog.h"

#include "TestDoubles.h"
#include "TestHome.h"

#include <QTest>

#include "TestData.h"

using namespace testdata;

using namespace orvane;

namespace {
const QString kProduct = QStringLiteral("{12345678-9ABC-DEF0-1234-56789ABCDEF0}");
const QString kAd = QStringLiteral("{AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE}");

// The expected header up to and including the statistics count.
QByteArray header(int length, const QByteArray &demographics, int count)
{
    return bytes({3, length / 255, length % 255}) + kProduct.toLatin1() + demographics
        + bytes({count / 255, count % 255});
}
} // namespace

class TestUsageReport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { m_home = std::make_unique<TestHome>(); }
    void cleanup() { m_home.reset(); }

    void emptyReportIs50Bytes();
    void counts_data();
    void counts();
    void demographicsAreTrimmed();
    void shortProductGUIDLeavesZeros();
    void roundTrip();
    void truncatedInputIsReportedNotRead();
    void oversizedReportKeepsWholeStatistics_data();
    void oversizedReportKeepsWholeStatistics();
    void adUsageStatIndexing();

private:
    std::unique_ptr<TestHome> m_home;
};

void TestUsageReport::emptyReportIs50Bytes()
{
    OVUsageReport report;
    report.setProductGUID(kProduct);
    report.setRequestedRating(20); // not on the wire
    const QByteArray state = report.GetStateIntoByteArray();
    QCOMPARE(state.size(), 51);
    QCOMPARE(state, header(50, bytes({0, 0, 0x20, 0x20, 0, 0x20, 0}), 0) + bytes({0}));
}

void TestUsageReport::counts_data()
{
    QTest::addColumn<int>("views");
    QTest::addColumn<int>("clicks");
    QTest::addColumn<double>("lastView");
    QTest::addColumn<QByteArray>("record");
    QTest::newRow("254 and 255") << 254 << 255 << 0.0 << bytes({0, 254, 1, 0}) + date(0);
    QTest::newRow("300 and 0") << 300 << 0 << 2.5 << bytes({1, 45, 0, 0}) + date(2.5);
    QTest::newRow("32767") << 32767 << 1 << 36526.5 << bytes({128, 127, 0, 1}) + date(36526.5);
}

void TestUsageReport::counts()
{
    QFETCH(int, views);
    QFETCH(int, clicks);
    QFETCH(double, lastView);
    QFETCH(QByteArray, record);
    QCOMPARE(date(2.5).left(8), bytes({0, 0, 0, 0, 0, 0, 4, 0x40}));
    OVUsageReport report;
    report.setProductGUID(kProduct);
    report.AddUsageStat(kAd, int16_t(views), int16_t(clicks), lastView);
    const int length = 50 + 39 + 20;
    const QByteArray expected
        = header(length, bytes({0, 0, 0x20, 0x20, 0, 0x20, 0}), 1) + kAd.toLatin1() + bytes({0}) + record + bytes({0});
    QCOMPARE(report.GetStateIntoByteArray(), expected);
}

void TestUsageReport::demographicsAreTrimmed()
{
    auto user = std::make_shared<OVUser>();
    user->setRating(10);
    user->setAgeRange(40);
    user->setGender(QStringLiteral("F"));
    user->setPostalCode(QStringLiteral("  12345  "));
    user->setCountryCode(QStringLiteral("US"));
    OVUsageReport report;
    report.setProductGUID(kProduct);
    report.setUser(user);
    const QByteArray demographics = bytes({10, 40, 'F'}) + "12345" + bytes({0}) + "US" + bytes({0});
    QCOMPARE(report.GetStateIntoByteArray(), header(55, demographics, 0) + bytes({0}));
}

void TestUsageReport::shortProductGUIDLeavesZeros()
{
    OVSimpleLog::switches().LogErrorsToFile = true;
    FakeModuleInfo module(m_home->path());
    OVUsageReport report;
    report.setProductGUID(QStringLiteral("{abc}"));
    const QByteArray state = report.GetStateIntoByteArray();
    QCOMPARE(state.size(), 51);
    QCOMPARE(state.mid(3, 5), QByteArray("{abc}"));
    QCOMPARE(state.mid(8, 33), QByteArray(33, '\0'));
    QCOMPARE(state.mid(41, 7), bytes({0, 0, 0x20, 0x20, 0, 0x20, 0}));
    QVERIFY(!OVSimpleLog::TraceFileName().isEmpty());
}

void TestUsageReport::roundTrip()
{
    auto user = std::make_shared<OVUser>();
    user->setRating(20);
    user->setAgeRange(80);
    user->setGender(QStringLiteral("M"));
    user->setPostalCode(QStringLiteral("K1A 0B1"));
    user->setCountryCode(QStringLiteral("CA"));
    OVUsageReport report;
    report.setProductGUID(kProduct);
    report.setUser(user);
    for (int i = 0; i < 40; ++i)
        report.AddUsageStat(kAd, int16_t(i * 800), int16_t(i), 36526.25 + i);
    report.AddUsageStat(QString(), 1, 2, 3.0); // an empty id is just its terminator
    const QByteArray state = report.GetStateIntoByteArray();

    OVUsageReport back;
    back.SetStateFromByteArray(state);
    QCOMPARE(back.ProductGUID(), kProduct);
    QCOMPARE(back.User()->Rating(), 20);
    QCOMPARE(back.User()->AgeRange(), 80);
    QCOMPARE(back.User()->Gender(), QStringLiteral("M"));
    QCOMPARE(back.User()->PostalCode(), QStringLiteral("K1A 0B1"));
    QCOMPARE(back.User()->CountryCode(), QStringLiteral("CA"));
    QCOMPARE(back.AdStats().Count(), 41);
    QCOMPARE(back.AdUsageStat(40)->ViewCount(), int16_t(39 * 800));
    QCOMPARE(back.AdUsageStat(40)->LastViewTime(), 36526.25 + 39);
    QCOMPARE(back.AdUsageStat(41)->AdIdGUIDString(), QString());
    QCOMPARE(back.AdUsageStat(41)->ClickCount(), int16_t(2));
    QCOMPARE(back.GetStateIntoByteArray(), state);

    // Spaces written for empty fields come back empty.
    OVUsageReport blank;
    blank.setProductGUID(kProduct);
    OVUsageReport blankBack;
    blankBack.SetStateFromByteArray(blank.GetStateIntoByteArray());
    QCOMPARE(blankBack.User()->Gender(), QString());
    QCOMPARE(blankBack.User()->PostalCode(), QString());
    QCOMPARE(blankBack.User()->CountryCode(), QString());
}

void TestUsageReport::truncatedInputIsReportedNotRead()
{
    OVUsageReport report;
    report.setProductGUID(kProduct);
    report.AddUsageStat(kAd, 5, 6, 7.0);
    const QByteArray state = report.GetStateIntoByteArray();
    for (qsizetype cut = 0; cut < state.size(); ++cut) {
        OVUsageReport back;
        back.SetStateFromByteArray(state.left(cut));
        QVERIFY(back.AdStats().Count() <= 1);
    }
    // A hostile count far beyond the bytes ends at the first missing byte.
    QByteArray hostile = state.left(48) + bytes({128, 127});
    OVUsageReport back;
    back.SetStateFromByteArray(hostile);
    QCOMPARE(back.AdStats().Count(), 0);
}

void TestUsageReport::oversizedReportKeepsWholeStatistics_data()
{
    QTest::addColumn<int>("stats");
    QTest::addColumn<int>("postalCode"); // characters
    QTest::addColumn<int>("written");
    QTest::newRow("none") << 0 << 0 << 0;
    QTest::newRow("all fit") << 541 << 0 << 541;
    QTest::newRow("one left out") << 542 << 0 << 541;
    QTest::newRow("long postal code") << 600 << 118 << 539;
}

// What fits is known before writing, and is exactly what is written.
void TestUsageReport::oversizedReportKeepsWholeStatistics()
{
    QFETCH(int, stats);
    QFETCH(int, postalCode);
    QFETCH(int, written);
    OVUsageReport report;
    report.setProductGUID(kProduct);
    report.User()->setPostalCode(QString(postalCode, u'9'));
    for (int i = 0; i < stats; ++i)
        report.AddUsageStat(kAd, 1, 1, 1.0);
    QCOMPARE(report.StatsThatFit(), written);
    const QByteArray state = report.GetStateIntoByteArray();
    QCOMPARE(report.StatsInLastState(), written);
    QCOMPARE(state.size(), 50 + std::max(postalCode - 1, 0) + written * 59 + 1);
    OVUsageReport back;
    back.SetStateFromByteArray(state);
    QCOMPARE(back.AdStats().Count(), written);
}

void TestUsageReport::adUsageStatIndexing()
{
    OVUsageReport report;
    report.AddUsageStat(kAd, 1, 0, 0);
    QVERIFY(report.AdUsageStat(1));
    QVERIFY(!report.AdUsageStat(2));
    QVERIFY_THROWS_EXCEPTION(OVFault, report.AdUsageStat(0));
    report.ClearUsageStats();
    QCOMPARE(report.AdStats().Count(), 0);
}

QTEST_GUILESS_MAIN(TestUsageReport)
#include "test_usagereport.moc"
