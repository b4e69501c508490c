#include "support/OVCollection.h"

#include <QTest>

using namespace orvane;

namespace {
struct Tracked
{
    explicit Tracked(int id, QList<int> *log)
        : id(id)
        , log(log)
    {
    }
    ~Tracked() { log->append(id); }
    int id;
    QList<int> *log;
};

int faultOf(const std::function<void()> &f)
{
    try {
        f();
    } catch (const OVFault &fault) {
        return fault.number();
    }
    return 0;
}
} // namespace

class TestCollection : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void orderAndOneBasedIndex();
    void keysIgnoreCase();
    void faults();
    void clearsFromLastToFirst();
    void removeKeepsKeysConsistent();
};

void TestCollection::orderAndOneBasedIndex()
{
    OVCollection<int> c;
    for (int i = 10; i < 15; ++i)
        c.Add(std::make_shared<int>(i), QString::number(i));
    QCOMPARE(c.Count(), 5);
    QCOMPARE(*c.Item(1), 10);
    QCOMPARE(*c.Item(5), 14);
    QVERIFY(!c.ItemOrNull(0));
    QVERIFY(!c.ItemOrNull(6));
    QList<int> seen;
    for (const auto &p : c)
        seen << *p;
    QCOMPARE(seen, QList<int>({10, 11, 12, 13, 14}));
}

void TestCollection::keysIgnoreCase()
{
    OVCollection<int> c;
    c.Add(std::make_shared<int>(1), QStringLiteral("{ABCDEF}"));
    c.Add(std::make_shared<int>(2)); // no key
    QCOMPARE(*c.Item(QStringLiteral("{abcdef}")), 1);
    QVERIFY(c.Contains(QStringLiteral("{AbCdEf}")));
    QCOMPARE(c.indexOf(QStringLiteral("{abcdef}")), 1);
    QVERIFY(!c.Find(QStringLiteral("{other}")));
    QCOMPARE(faultOf([&] { c.Add(std::make_shared<int>(3), QStringLiteral("{abcDEF}")); }), 457);
    QCOMPARE(c.Count(), 2);
}

void TestCollection::faults()
{
    OVCollection<int> c;
    QCOMPARE(faultOf([&] { c.Item(1); }), 9);
    c.Add(std::make_shared<int>(1), QStringLiteral("a"));
    QCOMPARE(faultOf([&] { c.Item(0); }), 9);
    QCOMPARE(faultOf([&] { c.Item(2); }), 9);
    QCOMPARE(faultOf([&] { c.Remove(2); }), 9);
    QCOMPARE(faultOf([&] { c.Item(QStringLiteral("b")); }), 5);
    QCOMPARE(faultOf([&] { c.Remove(QStringLiteral("b")); }), 5);
}

void TestCollection::clearsFromLastToFirst()
{
    QList<int> destroyed;
    {
        OVCollection<Tracked> c;
        for (int i = 1; i <= 4; ++i)
            c.Add(std::make_shared<Tracked>(i, &destroyed));
        c.Clear();
        QCOMPARE(c.Count(), 0);
    }
    QCOMPARE(destroyed, QList<int>({4, 3, 2, 1}));
}

void TestCollection::removeKeepsKeysConsistent()
{
    OVCollection<int> c;
    for (int i = 1; i <= 4; ++i)
        c.Add(std::make_shared<int>(i), QStringLiteral("k%1").arg(i));
    c.Remove(2);
    c.Remove(QStringLiteral("K3"));
    QCOMPARE(c.Count(), 2);
    QCOMPARE(c.indexOf(QStringLiteral("k4")), 2);
    QVERIFY(!c.Contains(QStringLiteral("k2")));
    c.Add(std::make_shared<int>(9), QStringLiteral("k2")); // the key is free again
    QCOMPARE(*c.Item(3), 9);
}

QTEST_GUILESS_MAIN(TestCollection)
#include "test_collection.moc"
