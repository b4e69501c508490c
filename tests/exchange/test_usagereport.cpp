#include "exchange/OVUsageReport.h"
#include "personalization/OVUser.h"

#include "TestData.h"
#include "TestHome.h"

#include <QTest>

#include <functional>

using namespace orvane;
using namespace testdata;

namespace {
const QString kProduct = QStringLiteral("{12345678-9ABC-DEF0-1234-56789ABCDEF0}");
const QString kAd = QStringLiteral("{AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE}");
const QByteArray kBlankUser = bytes({0, 0, 0x20, 0x20, 0, 0x20, 0});
using Setup = std::function<void(OVUsageReport &)>;

// The expected header up to and including the statistics count.
QByteArray header(int length, const QByteArray &demographics, int count)
{
    return bytes({3, length / 255, length % 255}) + kProduct.toLatin1() + demographics
        + bytes({count / 255, count % 255});
}

Setup stat(int views, int clicks, double lastView)
{
    return [=](OVUsageReport &r) { r.AddUsageStat(kAd, int16_t(views), int16_t(clicks), lastView); };
}

QByteArray withStat(const QByteArray &record)
{
    return header(50 + 39 + 20, kBlankUser, 1) + kAd.toLatin1() + bytes({0}) + record + bytes({0});
}
} // namespace

class TestUsageReport : public QObject
{
    Q_OBJECT
    TestHome m_home; // the settings and logs the reads consult

private Q_SLOTS:

    void byteImages_data()
    {
        QTest::addColumn<Setup>("setup");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("empty, 50 bytes; the requested rating is not on the wire")
            << Setup([](OVUsageReport &r) { r.setRequestedRating(20); }) << header(50, kBlankUser, 0) + bytes({0});
        QTest::newRow("254 and 255") << stat(254, 255, 0.0) << withStat(bytes({0, 254, 1, 0}) + date(0));
        QTest::newRow("300 and 0") << stat(300, 0, 2.5) << withStat(bytes({1, 45, 0, 0}) + date(2.5));
        QTest::newRow("32767") << stat(32767, 1, 36526.5) << withStat(bytes({128, 127, 0, 1}) + date(36526.5));
        QTest::newRow("demographics trimmed") << Setup([](OVUsageReport &r) {
            r.User()->setRating(10);
            r.User()->setAgeRange(40);
            r.User()->setGender(QStringLiteral("F"));
            r.User()->setPostalCode(QStringLiteral("  12345  "));
            r.User()->setCountryCode(QStringLiteral("US"));
        }) << header(55, bytes({10, 40, 'F'}) + "12345" + bytes({0}) + "US" + bytes({0}), 0) + bytes({0});
        QTest::newRow("short product id leaves zeros")
            << Setup([](OVUsageReport &r) { r.setProductGUID(QStringLiteral("{abc}")); })
            << bytes({3, 0, 50}) + "{abc}" + QByteArray(33, '\0') + kBlankUser + bytes({0, 0, 0});
    }

    void byteImages()
    {
        QFETCH(Setup, setup);
        QFETCH(QByteArray, expected);
        QCOMPARE(date(2.5).left(8), bytes({0, 0, 0, 0, 0, 0, 4, 0x40}));
        OVUsageReport report;
        report.setProductGUID(kProduct);
        setup(report);
        QCOMPARE(report.GetStateIntoByteArray(), expected);
        // Every field is read back: the same bytes again.
        OVUsageReport back;
        back.SetStateFromByteArray(expected);
        QCOMPARE(back.GetStateIntoByteArray(), expected);
    }

    void readBack()
    {
        OVUsageReport report;
        report.setProductGUID(kProduct);
        report.AddUsageStat(kAd, 5, 6, 7.0);
        report.AddUsageStat(QString(), 1, 2, 3.0); // an empty id is just its terminator
        const QByteArray state = report.GetStateIntoByteArray();
        OVUsageReport back;
        back.SetStateFromByteArray(state);
        QCOMPARE(back.AdStats().Count(), 2);
        QCOMPARE(back.GetStateIntoByteArray(), state);
        QVERIFY(!back.AdUsageStat(3));
        QVERIFY_THROWS_EXCEPTION(OVFault, back.AdUsageStat(0));
        // Spaces written for empty fields come back empty.
        const auto b = back.User();
        QCOMPARE(QStringList({b->Gender(), b->PostalCode(), b->CountryCode()}), QStringList(3, QString()));
        // Cut anywhere, no more than the whole statistics are read.
        for (qsizetype cut = 0; cut < state.size(); ++cut) {
            OVUsageReport part;
            part.SetStateFromByteArray(state.left(cut));
            QVERIFY(part.AdStats().Count() <= 2);
        }
        // A hostile count far beyond the bytes ends at the first missing byte.
        OVUsageReport hostile;
        hostile.SetStateFromByteArray(state.left(48) + bytes({128, 127}));
        QCOMPARE(hostile.AdStats().Count(), 0);
    }

    void oversizedReportKeepsWholeStatistics_data()
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
    void oversizedReportKeepsWholeStatistics()
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
};

QTEST_GUILESS_MAIN(TestUsageReport)
#include "test_usagereport.moc"
