// The keyed collection the catalogue and the content update share.
#include "support/OVCollection.h"

#include <QTest>

using orvane::OVCollection;
using orvane::OVFault;

namespace {
struct Item
{
    int value;
};
using Pointer = std::shared_ptr<Item>;
Pointer item(int v)
{
    return std::make_shared<Item>(Item {v});
}
int faultOf(const std::function<void()> &f)
{
    try {
        f();
    } catch (const OVFault &fault) {
        return fault.number();
    }
    return 0;
}
QList<int> values(const OVCollection<Item> &c)
{
    QList<int> out;
    for (const Pointer &p : c)
        out.append(p->value);
    return out;
}
} // namespace

class TestCollection : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void orderAndKeys()
    {
        OVCollection<Item> c;
        c.Add(item(1), QStringLiteral("Alpha"));
        c.Add(item(2));
        c.Add(item(3), QStringLiteral("gamma"));
        QCOMPARE(c.Count(), 3);
        QCOMPARE(values(c), QList<int>({1, 2, 3}));
        QCOMPARE(c.Item(1)->value, 1);
        QCOMPARE(c.Item(3)->value, 3);
        QCOMPARE(c.Find(QStringLiteral("ALPHA"))->value, 1);
        QCOMPARE(c.Item(QStringLiteral("Gamma"))->value, 3);
        QCOMPARE(c.indexOf(QStringLiteral("GAMMA")), 3);
        QCOMPARE(c.KeyAt(1), QStringLiteral("Alpha"));
        QVERIFY(!c.Find(QStringLiteral("beta")));
        QVERIFY(!c.ItemOrNull(4));
    }

    void faults()
    {
        OVCollection<Item> c;
        QCOMPARE(faultOf([&] { c.Item(1); }), 9);
        c.Add(item(1), QStringLiteral("key"));
        QCOMPARE(faultOf([&] { c.Add(item(2), QStringLiteral("KEY")); }), 457);
        QCOMPARE(c.Count(), 1); // the refused entry is not there
        QCOMPARE(faultOf([&] { c.Item(0); }), 9);
        QCOMPARE(faultOf([&] { c.Item(2); }), 9);
        QCOMPARE(faultOf([&] { c.Remove(2); }), 9);
        QCOMPARE(faultOf([&] { c.Item(QStringLiteral("other")); }), 5);
    }

    void removalKeepsPositionsAndKeysInStep()
    {
        OVCollection<Item> c;
        for (int i = 1; i <= 5; ++i)
            c.Add(item(i), QStringLiteral("k%1").arg(i));
        c.Remove(2);
        c.Remove(QStringLiteral("K4"));
        QCOMPARE(values(c), QList<int>({1, 3, 5}));
        QCOMPARE(c.indexOf(QStringLiteral("k5")), 3);
        QVERIFY(!c.Contains(QStringLiteral("k2")));
        // A removed key can be used again.
        c.Add(item(9), QStringLiteral("k2"));
        QCOMPARE(c.indexOf(QStringLiteral("k2")), 4);
    }

    void oneObjectUnderTwoKeys()
    {
        // The same object shared by two entries: each key stays with its entry.
        OVCollection<Item> c;
        const Pointer shared = item(7);
        c.Add(item(1), QStringLiteral("a"));
        c.Add(shared, QStringLiteral("b"));
        c.Add(shared, QStringLiteral("c"));
        QCOMPARE(c.indexOf(QStringLiteral("c")), 3);
        c.Remove(QStringLiteral("c"));
        QCOMPARE(c.Count(), 2);
        QVERIFY(c.Contains(QStringLiteral("b")));
        QVERIFY(!c.Contains(QStringLiteral("c")));
        QCOMPARE(c.indexOf(QStringLiteral("b")), 2);
    }

    void clearEmptiesLastToFirst()
    {
        struct Noisy
        {
            int value;
            QList<int> *order;
            ~Noisy() { order->append(value); }
        };
        QList<int> order;
        {
            OVCollection<Noisy> c;
            for (int i = 1; i <= 3; ++i)
                c.Add(std::make_shared<Noisy>(i, &order), QString::number(i));
            c.Clear();
            QCOMPARE(c.Count(), 0);
            QVERIFY(!c.Contains(QStringLiteral("1")));
        }
        QCOMPARE(order, QList<int>({3, 2, 1}));
    }
};

QTEST_GUILESS_MAIN(TestCollection)
#include "test_collection.moc"
