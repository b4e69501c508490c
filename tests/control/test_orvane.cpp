#include <orvane/Orvane.h>

#include "control/WholeNumber.h"
#include "support/OVFault.h"
#include "support/OVSimpleLog.h"

#include "TestDoubles.h"
#include "TestHome.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTest>

using namespace orvane;

class TestOrvane : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { m_home = std::make_unique<TestHome>(); }
    void cleanup() { m_home.reset(); }

    void createdWithoutBagIsDisabled();
    void switchesAreTakenAsBooleans_data();
    void switchesAreTakenAsBooleans();
    void wholeNumbers_data();
    void wholeNumbers();
    void bagWithoutEnabledIsEnabled();
    void propertiesRoundTrip();

private:
    std::unique_ptr<TestHome> m_home;
};

void TestOrvane::createdWithoutBagIsDisabled()
{
    RecordingContainer container;
    Orvane control(&container);
    control.InitProperties();
    QCOMPARE(control.Enabled(), false);
    QCOMPARE(control.Text(), QStringLiteral("Thanks to our sponsors..."));
    QCOMPARE(control.RemoteHost(), QString());
    QCOMPARE(control.TransferInProgress(), false);
    QCOMPARE(control.LastError(), short(0));
    QCOMPARE(control.GetResultString(608), QStringLiteral("Orv error code: 608"));
    QCOMPARE(control.Version(), QStringLiteral("1.0.1"));
    control.Resize(3000, 200); // the face snaps back
    QCOMPARE(container.extents, (QList<QPair<int, int>> {{1125, 1125}}));
}

void TestOrvane::switchesAreTakenAsBooleans_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QList<bool>>("on"); // LogErrorsToFile, VerboseErrors, LogWarningsToFile, VerboseWarnings
    QTest::addColumn<QByteArray>("after");
    QTest::newRow("clean system") << QByteArray() << QList<bool>({false, false, false, false})
                                  << QByteArray("[Debug]\nLogErrorsToFile=False\nLogWarningsToFile=False\n"
                                                "VerboseErrors=False\nVerboseWarnings=False");
    // VerboseWarnings is missing: created as False, the others kept as they are.
    QTest::newRow("set by hand") << QByteArray("[Debug]\nLogErrorsToFile=True\nVerboseErrors=0\nLogWarningsToFile=-1\n")
                                 << QList<bool>({true, false, true, false})
                                 << QByteArray("LogWarningsToFile=-1\nVerboseErrors=0\nVerboseWarnings=False");
}

void TestOrvane::switchesAreTakenAsBooleans()
{
    QFETCH(QByteArray, ini);
    QFETCH(QList<bool>, on);
    QFETCH(QByteArray, after);
    m_home->writeSettingsFile(ini);
    RecordingMessageBoxes boxes;
    Orvane control;
    const OVSimpleLog::Switches &s = OVSimpleLog::switches();
    QCOMPARE(QList<bool>({s.LogErrorsToFile, s.VerboseErrors, s.LogWarningsToFile, s.VerboseWarnings}), on);
    const QByteArray written = m_home->readSettingsFile();
    QVERIFY2(written.contains(after) && !written.contains("TraceLocalStorage"), written.constData());
    QVERIFY(boxes.shown.isEmpty());
}

void TestOrvane::wholeNumbers_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<int>("number");
    QTest::addColumn<int>("fault"); // 0: none
    QTest::newRow("missing") << QVariant() << 0 << 0;
    QTest::newRow("number value") << QVariant(60) << 60 << 0;
    QTest::newRow("half to even, down") << QVariant("1500.5") << 1500 << 0;
    QTest::newRow("half to even, up") << QVariant(" 1501.5 ") << 1502 << 0;
    QTest::newRow("negative") << QVariant("-50") << -50 << 0;
    QTest::newRow("not a number") << QVariant("abc") << 0 << 13;
    QTest::newRow("blank") << QVariant(" ") << 0 << 13;
    QTest::newRow("beyond 32 bits") << QVariant("2147483648") << 0 << 6;
}

void TestOrvane::wholeNumbers()
{
    QFETCH(QVariant, stored);
    QFETCH(int, number);
    QFETCH(int, fault);
    try {
        QCOMPARE(toWholeNumber(stored), number);
        QCOMPARE(fault, 0);
    } catch (const OVFault &f) {
        QCOMPARE(f.number(), fault);
    }
}

void TestOrvane::bagWithoutEnabledIsEnabled()
{
    MemoryPropertyBag bag;
    bag.setValue(QStringLiteral("RemoteHost"), QStringLiteral("ads.example"));
    RecordingContainer container;
    Orvane control(&container);
    control.ReadProperties(bag);
    QCOMPARE(control.Enabled(), true);
    QCOMPARE(control.RemoteHost(), QStringLiteral("ads.example"));
    QCOMPARE(control.Text(), QStringLiteral("Thanks to our sponsors..."));
    QCOMPARE(control.ProductGUID(), QString());
    // Reading goes through each property's setter, in the bag's order.
    QCOMPARE(container.changed,
        QStringList(
            {"Enabled", "Icon", "Text", "ProductGUID", "ImageFolder", "DataFolder", "RemoteHost", "RemotePort"}));
}

void TestOrvane::propertiesRoundTrip()
{
    Orvane control;
    control.ReadProperties(MemoryPropertyBag());
    MemoryPropertyBag defaults;
    control.WriteProperties(defaults);
    // Enabled (true), Icon (none) and Text (the default) equal their defaults and are left out.
    QCOMPARE(defaults.values().keys(),
        QStringList({"DataFolder", "ImageFolder", "ProductGUID", "RemoteHost", "RemotePort"}));
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("host.ini"));
    control.setRemotePort(QStringLiteral("8080"));
    control.setProductGUID(QStringLiteral("{00000000-0000-0000-0000-000000000001}"));
    control.setDataFolder(QStringLiteral(" /tmp/data ")); // stored unchanged
    control.setEnabled(false);
    control.setText(QStringLiteral("Hello"));
    QImage icon(16, 16, QImage::Format_ARGB32);
    icon.fill(Qt::blue);
    control.setIcon(icon);
    IniPropertyBag bag(file);
    control.WriteProperties(bag);
    Orvane restored;
    restored.ReadProperties(IniPropertyBag(file));
    QCOMPARE(restored.RemotePort(), QStringLiteral("8080"));
    QCOMPARE(restored.ProductGUID(), QStringLiteral("{00000000-0000-0000-0000-000000000001}"));
    QCOMPARE(restored.DataFolder(), QStringLiteral(" /tmp/data "));
    QCOMPARE(restored.Enabled(), false);
    QCOMPARE(restored.Text(), QStringLiteral("Hello"));
    QCOMPARE(restored.Icon().pixelColor(3, 3), QColor(Qt::blue));
}

QTEST_MAIN(TestOrvane)
#include "test_orvane.moc"
