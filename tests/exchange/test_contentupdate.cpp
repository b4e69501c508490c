#include "exchange/OVAdOffering.h"
#include "exchange/OVContentUpdate.h"
#include "support/OVSimpleLog.h"

#include "TestData.h"
#include "TestDoubles.h"
#include "TestHome.h"

#include <QTest>

#include <array>
#include <bit>

using namespace orvane;
using namespace testdata;

namespace {
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

class TestContentUpdate : public QObject
{
    Q_OBJECT
    TestHome m_home; // the settings and logs the reads consult

private Q_SLOTS:

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

QTEST_GUILESS_MAIN(TestContentUpdate)
#include "test_contentupdate.moc"
