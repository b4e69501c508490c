#include "exchange/OVAdOffering.h"
#include "exchange/OVContentUpdate.h"
#include "exchange/OVUsageReport.h"
#include "personalization/OVUser.h"
#include "support/OVSimpleLog.h"

#include "TestData.h"
#include "TestDoubles.h"
#include "TestHome.h"

#include <QTest>

#include <array>
#include <bit>
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

QByteArray record(const char *id, int size)
{
    return QByteArray(id) + bytes({0}) + "adv" + bytes({0}) + date(1) + "url" + bytes({0, size, 0, 0}) + "f"
        + bytes({0});
}

QList<int> sizes(const OVContentUpdate &update)
{
    QList<int> out;
    for (const auto &o : update.AdOfferings())
        out << o->Size();
    return out;
}
} // namespace

// The two payloads of the exchange: the usage report and the content update.
class TestPayloads : public QObject
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
    void writtenBytes()
    {
        OVContentUpdate empty;
        empty.setBaseURL(QStringLiteral("http://a/"));
        empty.AddAnOffering(QString(), QString(), QString(), 0.0, 0, QString(), 0, 1);
        QCOMPARE(empty.GetStateIntoByteArray(),
            bytes({5, 1}) + "http://a/" + bytes({0, 0, 0}) + date(0) + bytes({0, 1, 0, 0, 0, 0}));

        OVContentUpdate update;
        update.setBaseURL(QStringLiteral(" base "));
        auto o = update.AddAnOffering(QStringLiteral(" {g} "), QStringLiteral(" {a} "), QStringLiteral(" http://c "),
            2.5, 2, QStringLiteral(" x.gif "), 10, 6);
        QCOMPARE(o->AdGUID(), QStringLiteral("{g}"));
        QCOMPARE(o->AdvertiserGUID(), QStringLiteral(" {a} ")); // stored unchanged, written trimmed
        const QByteArray expected = bytes({5, 1}) + " base " + bytes({0}) + "{g}" + bytes({0}) + "{a}" + bytes({0})
            + date(2.5) + "http://c" + bytes({0, 6, 10, 2}) + "x.gif" + bytes({0, 0});
        QCOMPARE(update.GetStateIntoByteArray(), expected);
    }

    void roundTrip()
    {
        OVContentUpdate update;
        update.setBaseURL(QStringLiteral("http://127.0.0.1:8080/images"));
        for (int i = 1; i <= 255; ++i) {
            update.AddAnOffering(guid(i), guid(1000 + i), QStringLiteral("http://example.com/ad/%1").arg(i),
                46000.0 + i, i % 3, QStringLiteral("ad%1.png").arg(i), (i % 3) * 10, QList<int>({1, 2, 3, 6})[i % 4]);
        }
        const QByteArray state = update.GetStateIntoByteArray();
        QVERIFY(update.OfferingsInLastState() > 100);
        OVContentUpdate back;
        back.SetStateFromByteArray(state);
        QCOMPARE(back.AdOfferings().Count(), update.OfferingsInLastState());
        // Every field came back: the same bytes again.
        QCOMPARE(back.GetStateIntoByteArray(), state);
        QVERIFY(!back.AdOffering(300));
    }

    void readFailures_data()
    {
        QTest::addColumn<QByteArray>("state");
        QTest::addColumn<QList<int>>("sizes"); // of the offerings read
        QTest::addColumn<int>("logged");
        const QByteArray head3 = bytes({5, 3}) + "b" + bytes({0});
        QTest::newRow("empty update") << bytes({5, 0, 0}) << QList<int>() << 0;
        QTest::newRow("no count") << bytes({5}) << QList<int>() << 2;
        QTest::newRow("duplicate id: the first stays")
            << head3 + record("{x}", 1) + record("{X}", 2) + record("{y}", 3) << QList<int>({1, 3}) << 1;
        // Each of the eight reads of the missing record fails; it is still added.
        QTest::newRow("3 announced, 2 held")
            << head3 + record("{x}", 1) + record("{y}", 2) << QList<int>({1, 2, 0}) << 8;
        QTest::newRow("cut inside a record")
            << head3 + record("{x}", 1) + record("{y}", 2) + record("{z}", 6).left(24) << QList<int>({1, 2, 0}) << 5;
        // No terminator anywhere: the base address, then 255 records of eight
        // failing reads, all but the first under the same empty key.
        QTest::newRow("no terminator") << bytes({5, 255}) + QByteArray(10, 'x') << QList<int>({0}) << 1 + 255 * 8 + 254;
    }

    void readFailures()
    {
        QFETCH(QByteArray, state);
        RecordingMessageBoxes boxes;
        OVSimpleLog::switches().VerboseErrors = true;
        OVContentUpdate update;
        update.SetStateFromByteArray(state);
        OVSimpleLog::switches().VerboseErrors = false;
        QTEST(sizes(update), "sizes");
        QTEST(int(boxes.shown.size()), "logged");
        for (const auto &box : boxes.shown)
            QVERIFY(box.first.startsWith(QStringLiteral("OVContentUpdate.SetStateFromByteArray\r\n")));
    }

    void slimDown_data()
    {
        QTest::addColumn<QList<int>>("before");
        QTest::addColumn<int>("limit");
        QTest::addColumn<QList<int>>("after");
        QTest::newRow("50 on 1,2,3") << QList<int>({1, 2, 3}) << 50 << QList<int>({2, 3});
        QTest::newRow("65 on 1,2,3: at the limit") << QList<int>({1, 2, 3}) << 65 << QList<int>({1, 2, 3});
        QTest::newRow("0 keeps the last weighted") << QList<int>({1, 2, 6, 4}) << 0 << QList<int>({6, 4});
        QTest::newRow("sizes 4 and 5 weigh nothing") << QList<int>({4, 5, 1}) << 10 << QList<int>({1});
    }

    void slimDown()
    {
        QFETCH(QList<int>, before);
        QFETCH(int, limit);
        OVContentUpdate update;
        for (int i = 0; i < before.size(); ++i)
            update.AddAnOffering(guid(i), QString(), QString(), 0, 0, QString(), 0, before[i]);
        update.SlimDownToSize(limit);
        QTEST(sizes(update), "after");
    }

    void fixedWidthForm()
    {
        auto field = [](const QString &text, int units) { return text.leftJustified(units, u' ', true); };
        auto number32 = [](int32_t v) { return QString(QChar(char16_t(v & 0xFFFF))) + QChar(char16_t(v >> 16)); };
        const auto expiry = std::bit_cast<std::array<char16_t, 4>>(45000.5);
        auto record = [&](int n, int size) {
            return field(guid(n), 38) + field(guid(900 + n), 38) + QString::fromUtf16(expiry.data(), 4) + number32(size)
                + number32(20) + number32(3) + field(QStringLiteral("http://c/%1").arg(n), 50)
                + field(QStringLiteral("f%1.gif").arg(n), 50) + QString(10, u'.');
        };
        const QString header = QString(QChar(0)) + QChar(3) + QChar(0) + field(QStringLiteral("http://base/"), 50)
            + QString(3, QChar(0));
        // The third record is cut short and not read.
        const QString data = header + record(1, 1) + record(2, 6) + record(3, 2).left(100);
        OVContentUpdate update;
        QVERIFY(update.SetState(data));
        QCOMPARE(update.BaseURL(), field(QStringLiteral("http://base/"), 50));
        QCOMPARE(update.AdOfferings().Count(), 2);
        const auto o = update.AdOffering(2);
        QCOMPARE(o->AdGUID(), guid(2));
        QCOMPARE(QList<int>({o->Size(), o->Rating(), o->ImageFormat()}), QList<int>({6, 20, 3}));
        QCOMPARE(o->ExpirationDate(), 45000.5);
        QCOMPARE(o->ClickURL(), field(QStringLiteral("http://c/2"), 50));
        // A duplicate id fails the whole call; what came before stays.
        OVContentUpdate twice;
        QVERIFY(!twice.SetState(header + record(1, 1) + record(1, 1)));
        QCOMPARE(twice.AdOfferings().Count(), 1);
    }
};

QTEST_GUILESS_MAIN(TestPayloads)
#include "test_payloads.moc"
