#include <orvane/Orvane.h>

#include "control/WholeNumber.h"
#include "support/OVFault.h"
#include "support/OVSimpleLog.h"

#include "TestDoubles.h"
#include "TestHome.h"

#include <QApplication>
#include <QSignalSpy>
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
    void initializeCreatesDebugSwitches();
    void switchesAreTakenAsBooleans();
    void wholeNumbers_data();
    void wholeNumbers();
    void bagWithoutEnabledIsEnabled();
    void everyLetNotifiesTheContainer();
    void writePropertiesLeavesOutDefaults();
    void iniBagRoundTrip();
    void resizeSnapsBack();

private:
    std::unique_ptr<TestHome> m_home;
};

void TestOrvane::createdWithoutBagIsDisabled()
{
    Orvane control;
    control.InitProperties();
    QCOMPARE(control.Enabled(), false);
    QCOMPARE(control.Text(), QStringLiteral("Thanks to our sponsors..."));
    QCOMPARE(control.RemoteHost(), QString());
    QCOMPARE(control.TransferInProgress(), false);
    QCOMPARE(control.LastError(), short(0));
    QCOMPARE(control.GetResultString(102), QStringLiteral("Control disabled"));
    QCOMPARE(control.GetResultString(608), QStringLiteral("Orv error code: 608"));
    QCOMPARE(control.Version(), QStringLiteral("1.0.1"));
}

void TestOrvane::initializeCreatesDebugSwitches()
{
    Orvane control;
    const QByteArray ini = m_home->readSettingsFile();
    QVERIFY2(ini.contains("[Debug]\nLogErrorsToFile=False\nLogWarningsToFile=False\nVerboseErrors=False\n"
                          "VerboseWarnings=False"),
        ini.constData());
    QVERIFY(!ini.contains("TraceLocalStorage"));
}

void TestOrvane::switchesAreTakenAsBooleans()
{
    m_home->writeSettingsFile("[Debug]\nLogErrorsToFile=True\nVerboseErrors=0\nLogWarningsToFile=-1\n");
    RecordingMessageBoxes boxes;
    Orvane control;
    const OVSimpleLog::Switches &on = OVSimpleLog::switches();
    QVERIFY(on.LogErrorsToFile);
    QVERIFY(!on.VerboseErrors);
    QVERIFY(on.LogWarningsToFile);
    QVERIFY(!on.VerboseWarnings);
    // VerboseWarnings was missing: created as False, the others kept.
    const QByteArray ini = m_home->readSettingsFile();
    QVERIFY(ini.contains("VerboseErrors=0"));
    QVERIFY(ini.contains("VerboseWarnings=False"));
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

void TestOrvane::everyLetNotifiesTheContainer()
{
    RecordingContainer container;
    Orvane control(&container);
    control.setImageFolder(QStringLiteral(" /img "));
    control.setDataFolder(QStringLiteral("/data"));
    control.setRemoteHost(QStringLiteral("h"));
    control.setRemotePort(QStringLiteral("80"));
    control.setEnabled(true);
    control.setProductGUID(QStringLiteral("g"));
    control.setIcon(QImage(4, 4, QImage::Format_ARGB32));
    control.setText(QStringLiteral("t"));
    QCOMPARE(container.changed,
        QStringList(
            {"ImageFolder", "DataFolder", "RemoteHost", "RemotePort", "Enabled", "ProductGUID", "Icon", "Text"}));
    QCOMPARE(control.ImageFolder(), QStringLiteral(" /img ")); // stored unchanged
}

void TestOrvane::writePropertiesLeavesOutDefaults()
{
    Orvane control;
    control.ReadProperties(MemoryPropertyBag());
    MemoryPropertyBag bag;
    control.WriteProperties(bag);
    // Enabled (true), Icon (none) and Text (the default) equal their defaults.
    QCOMPARE(
        bag.values().keys(), QStringList({"DataFolder", "ImageFolder", "ProductGUID", "RemoteHost", "RemotePort"}));
    control.setEnabled(false);
    control.setText(QStringLiteral("Hello"));
    QImage icon(8, 8, QImage::Format_ARGB32);
    icon.fill(Qt::red);
    control.setIcon(icon);
    control.WriteProperties(bag);
    QCOMPARE(bag.values().value(QStringLiteral("Enabled")).toBool(), false);
    QCOMPARE(bag.values().value(QStringLiteral("Text")).toString(), QStringLiteral("Hello"));
    QVERIFY(bag.values().value(QStringLiteral("Icon")).toByteArray().startsWith("\x89PNG"));
}

void TestOrvane::iniBagRoundTrip()
{
    QTemporaryDir dir;
    IniPropertyBag bag(dir.filePath(QStringLiteral("host.ini")));
    {
        Orvane control;
        control.ReadProperties(bag);
        control.setRemoteHost(QStringLiteral("127.0.0.1"));
        control.setRemotePort(QStringLiteral("8080"));
        control.setProductGUID(QStringLiteral("{00000000-0000-0000-0000-000000000001}"));
        control.setImageFolder(QStringLiteral("/tmp/images"));
        control.setDataFolder(QStringLiteral("/tmp/data"));
        control.setEnabled(false);
        QImage icon(16, 16, QImage::Format_ARGB32);
        icon.fill(Qt::blue);
        control.setIcon(icon);
        control.WriteProperties(bag);
    }
    Orvane restored;
    restored.ReadProperties(IniPropertyBag(dir.filePath(QStringLiteral("host.ini"))));
    QCOMPARE(restored.RemotePort(), QStringLiteral("8080"));
    QCOMPARE(restored.RemoteHost(), QStringLiteral("127.0.0.1"));
    QCOMPARE(restored.ProductGUID(), QStringLiteral("{00000000-0000-0000-0000-000000000001}"));
    QCOMPARE(restored.DataFolder(), QStringLiteral("/tmp/data"));
    QCOMPARE(restored.Enabled(), false);
    QCOMPARE(restored.Icon().size(), QSize(16, 16));
    QCOMPARE(restored.Icon().pixelColor(3, 3), QColor(Qt::blue));
}

void TestOrvane::resizeSnapsBack()
{
    RecordingContainer container;
    container.userMode = false;
    Orvane control(&container);
    control.Resize(3000, 200);
    QCOMPARE(container.extents, (QList<QPair<int, int>> {{1125, 1125}}));
}

QTEST_MAIN(TestOrvane)
#include "test_orvane.moc"
