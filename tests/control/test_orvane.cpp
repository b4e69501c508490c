#include <orvane/Orvane.h>

#include "support/OVSimpleLog.h"

#include "TestDoubles.h"
#include "TestHome.h"

#include <QTemporaryDir>
#include <QTest>

using namespace orvane;

class TestOrvane : public QObject
{
    Q_OBJECT
    std::unique_ptr<TestHome> m_home;

private Q_SLOTS:
    void init() { m_home = std::make_unique<TestHome>(); }
    void cleanup() { m_home.reset(); }

    void switchesAreTakenAsBooleans_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QList<bool>>("on"); // LogErrorsToFile, VerboseErrors, LogWarningsToFile, VerboseWarnings
        QTest::addColumn<QByteArray>("after");
        QTest::newRow("clean system") << QByteArray() << QList<bool>({false, false, false, false})
                                      << QByteArray("[Debug]\nLogErrorsToFile=False\nLogWarningsToFile=False\n"
                                                    "VerboseErrors=False\nVerboseWarnings=False");
        // VerboseWarnings is missing: created as False, the others kept as they are.
        QTest::newRow("set by hand") << QByteArray(
            "[Debug]\nLogErrorsToFile=True\nVerboseErrors=0\nLogWarningsToFile=-1\n")
                                     << QList<bool>({true, false, true, false})
                                     << QByteArray("LogWarningsToFile=-1\nVerboseErrors=0\nVerboseWarnings=False");
    }
    void switchesAreTakenAsBooleans()
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

    // A bag without Enabled gives an enabled control, read through each setter in the bag's order; what equals
    // its default is left out when written, and the rest comes back from an INI file unchanged.
    void propertiesRoundTrip()
    {
        MemoryPropertyBag bag;
        bag.setValue(QStringLiteral("RemoteHost"), QStringLiteral("ads.example"));
        RecordingContainer container;
        Orvane control(&container);
        control.ReadProperties(bag);
        QCOMPARE(control.Enabled(), true);
        QCOMPARE(control.RemoteHost(), QStringLiteral("ads.example"));
        QCOMPARE(control.Text(), QStringLiteral("Thanks to our sponsors..."));
        QCOMPARE(container.changed,
            QStringList(
                {"Enabled", "Icon", "Text", "ProductGUID", "ImageFolder", "DataFolder", "RemoteHost", "RemotePort"}));
        MemoryPropertyBag defaults;
        control.WriteProperties(defaults);
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
        IniPropertyBag ini(file);
        control.WriteProperties(ini);
        Orvane restored;
        restored.ReadProperties(IniPropertyBag(file));
        QCOMPARE(restored.RemoteHost(), QStringLiteral("ads.example"));
        QCOMPARE(restored.RemotePort(), QStringLiteral("8080"));
        QCOMPARE(restored.ProductGUID(), QStringLiteral("{00000000-0000-0000-0000-000000000001}"));
        QCOMPARE(restored.DataFolder(), QStringLiteral(" /tmp/data "));
        QCOMPARE(restored.Enabled(), false);
        QCOMPARE(restored.Text(), QStringLiteral("Hello"));
        QCOMPARE(restored.Icon().pixelColor(3, 3), QColor(Qt::blue));
    }
};

QTEST_MAIN(TestOrvane)
#include "test_orvane.moc"
