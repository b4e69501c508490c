#include "support/OleDate.h"

#include <QTest>

using namespace orvane;

class TestTime : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void oleDates_data()
    {
        QTest::addColumn<double>("ole");
        QTest::addColumn<QDateTime>("dateTime");
        QTest::newRow("epoch") << 0.0 << QDateTime(QDate(1899, 12, 30), QTime(0, 0));
        QTest::newRow("2.5") << 2.5 << QDateTime(QDate(1900, 1, 1), QTime(12, 0));
        QTest::newRow("quarter past six") << 36526.2604166666667 << QDateTime(QDate(2000, 1, 1), QTime(6, 15));
        // Before the epoch the fraction still counts forward from midnight.
        QTest::newRow("-1.25") << -1.25 << QDateTime(QDate(1899, 12, 29), QTime(6, 0));
        QTest::newRow("-0.5") << -0.5 << QDateTime(QDate(1899, 12, 30), QTime(12, 0));
        QTest::newRow("-2 and a 1024th") << -(2.0 + 1.0 / 1024) << QDateTime(QDate(1899, 12, 28), QTime(0, 1, 24, 375));
    }
    void oleDates()
    {
        QFETCH(double, ole);
        QFETCH(QDateTime, dateTime);
        QCOMPARE(OleDate::toDateTime(ole), dateTime);
        if (ole != -0.5) // -0.5 and 0.5 are the same moment; 0.5 is the canonical form
            QCOMPARE(OleDate::fromDateTime(dateTime), ole);
        QCOMPARE(OleDate::toDate(ole), dateTime.date());
    }

    void outOfRangeAndCarries()
    {
        QVERIFY(!OleDate::toDateTime(qInf()).isValid());
        QVERIFY(!OleDate::toDateTime(1e300).isValid());
        const double before = OleDate::fromDateTime(QDateTime(QDate(1999, 12, 31), QTime(23, 59)));
        QCOMPARE(OleDate::toDateTime(OleDate::addMinutes(before, 2)), QDateTime(QDate(2000, 1, 1), QTime(0, 1)));
        QCOMPARE(OleDate::toDateTime(OleDate::addMinutes(0.25, -420)), QDateTime(QDate(1899, 12, 29), QTime(23, 0)));
    }
};

QTEST_GUILESS_MAIN(TestTime)
#include "test_time.moc"
