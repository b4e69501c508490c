#include "support/OVRegistryHelpers.h"

#include "TestHome.h"

#include <QProcess>
#include <QTest>

using namespace orvane::OVRegistryHelpers;

class TestSettings : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { m_home = std::make_unique<TestHome>(); }
    void cleanup() { m_home.reset(); }

    void defaultWrittenBackAsText();
    void numberValueIsKept();
    void blankValues_data();
    void blankValues();
    void valueOfAnotherType();
    void plainReadCreatesNothing();
    void writeNeedsAnExistingKey();
    void booleans_data();
    void booleans();
    void twoProcessesShareOneKey();

private:
    std::unique_ptr<TestHome> m_home;
};

void TestSettings::defaultWrittenBackAsText()
{
    const QVariant v
        = ReadSettingsValueOrDefault(HKEY_CURRENT_USER, kDebugKey, QStringLiteral("TraceTransfer"), QVariant(false));
    QCOMPARE(v, QVariant(false));
    QCOMPARE(ReadSettingsValue(HKEY_CURRENT_USER, kDebugKey, QStringLiteral("TraceTransfer")),
        QVariant(QStringLiteral("False")));
    QVERIFY(m_home->readSettingsFile().contains("[Debug]\nTraceTransfer=False"));
    ReadSettingsValueOrDefault(HKEY_CURRENT_USER, kPreferencesKey, QStringLiteral("TimeoutGranularity"), 500);
    QCOMPARE(ReadSettingsValue(HKEY_CURRENT_USER, kPreferencesKey, QStringLiteral("TimeoutGranularity")),
        QVariant(QStringLiteral("500")));
}

void TestSettings::numberValueIsKept()
{
    CreateSettingsKey(kPreferencesKey, HKEY_CURRENT_USER);
    WriteSettingsValue(HKEY_CURRENT_USER, kPreferencesKey, QStringLiteral("TransferTimeoutSeconds"), 60, REG_DWORD);
    const QVariant v = ReadSettingsValueOrDefault(
        HKEY_CURRENT_USER, kPreferencesKey, QStringLiteral("TransferTimeoutSeconds"), QStringLiteral("300"));
    QCOMPARE(v.toInt(), 60);
    QVERIFY(m_home->readSettingsFile().contains("TransferTimeoutSeconds=60"));
}

// Only empty text or spaces are blank: tabs, line ends and zero are values.
void TestSettings::blankValues_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<bool>("replaced");
    QTest::newRow("empty") << QVariant(QString()) << true;
    QTest::newRow("spaces") << QVariant(QStringLiteral("   ")) << true;
    QTest::newRow("tab") << QVariant(QStringLiteral("\t")) << false;
    QTest::newRow("line end") << QVariant(QStringLiteral(" \r\n")) << false;
    QTest::newRow("number zero") << QVariant(0) << false;
}

void TestSettings::blankValues()
{
    QFETCH(QVariant, stored);
    QFETCH(bool, replaced);
    CreateSettingsKey(kPreferencesKey, HKEY_CURRENT_USER);
    WriteSettingsValue(HKEY_CURRENT_USER, kPreferencesKey, QStringLiteral("TimeoutGranularity"), stored,
        stored.typeId() == QMetaType::Int ? REG_DWORD : REG_SZ);
    const QVariant before = ReadSettingsValue(HKEY_CURRENT_USER, kPreferencesKey, QStringLiteral("TimeoutGranularity"));
    const QVariant v
        = ReadSettingsValueOrDefault(HKEY_CURRENT_USER, kPreferencesKey, QStringLiteral("TimeoutGranularity"), 500);
    QCOMPARE(v, replaced ? QVariant(500) : before);
    QCOMPARE(ReadSettingsValue(HKEY_CURRENT_USER, kPreferencesKey, QStringLiteral("TimeoutGranularity")),
        replaced ? QVariant(QStringLiteral("500")) : before);
}

void TestSettings::valueOfAnotherType()
{
    m_home->writeSettingsFile("[Debug]\nTraceTransfer=@ByteArray(\\x1\\x2)\nKept=yes\n");
    QVariant raw;
    QCOMPARE(ReadValueFromOpenKey(OpenKey {HKEY_CURRENT_USER, kDebugKey}, QStringLiteral("TraceTransfer"), raw),
        int(StatusOtherType));
    QVERIFY(!raw.isValid());
    QVERIFY(!ReadSettingsValue(HKEY_CURRENT_USER, kDebugKey, QStringLiteral("TraceTransfer")).isValid());
    // Read with a default, it is overwritten by the default.
    QCOMPARE(ReadSettingsValueOrDefault(HKEY_CURRENT_USER, kDebugKey, QStringLiteral("TraceTransfer"), false),
        QVariant(false));
    QCOMPARE(ReadSettingsValue(HKEY_CURRENT_USER, kDebugKey, QStringLiteral("TraceTransfer")).toString(),
        QStringLiteral("False"));
    QCOMPARE(ReadSettingsValue(HKEY_CURRENT_USER, kDebugKey, QStringLiteral("Kept")).toString(), QStringLiteral("yes"));
}

void TestSettings::plainReadCreatesNothing()
{
    QVERIFY(!ReadSettingsValue(HKEY_CURRENT_USER, kDebugKey, QStringLiteral("TraceLocalStorage")).isValid());
    QVERIFY(m_home->readSettingsFile().isEmpty());
    QVariant v;
    QCOMPARE(
        ReadValueFromOpenKey(OpenKey {HKEY_CURRENT_USER, kDebugKey}, QStringLiteral("Nope"), v), int(StatusNotFound));
}

void TestSettings::writeNeedsAnExistingKey()
{
    WriteSettingsValue(HKEY_CURRENT_USER, kPreferencesKey, QStringLiteral("AdDisplayLeft"), 100, REG_SZ);
    QVERIFY(!ReadSettingsValue(HKEY_CURRENT_USER, kPreferencesKey, QStringLiteral("AdDisplayLeft")).isValid());
    CreateSettingsKey(kPreferencesKey, HKEY_CURRENT_USER);
    WriteSettingsValue(HKEY_CURRENT_USER, kPreferencesKey, QStringLiteral("AdDisplayLeft"), 100, REG_SZ);
    QCOMPARE(ReadSettingsValue(HKEY_CURRENT_USER, kPreferencesKey, QStringLiteral("AdDisplayLeft")).toString(),
        QStringLiteral("100"));
    // Unknown value types store nothing.
    QCOMPARE(WriteValueToOpenKey(OpenKey {HKEY_CURRENT_USER, kPreferencesKey}, QStringLiteral("X"), 3, 1), 0);
    QVERIFY(!ReadSettingsValue(HKEY_CURRENT_USER, kPreferencesKey, QStringLiteral("X")).isValid());
}

void TestSettings::booleans_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<bool>("expected");
    QTest::newRow("True") << QVariant(QStringLiteral("True")) << true;
    QTest::newRow("false lower") << QVariant(QStringLiteral("false")) << false;
    QTest::newRow("-1") << QVariant(QStringLiteral("-1")) << true;
    QTest::newRow("0") << QVariant(QStringLiteral("0")) << false;
    QTest::newRow("number 1") << QVariant(1) << true;
    QTest::newRow("word") << QVariant(QStringLiteral("maybe")) << false;
    QTest::newRow("missing") << QVariant() << false;
}

void TestSettings::booleans()
{
    QFETCH(QVariant, value);
    QFETCH(bool, expected);
    QCOMPARE(toBoolean(value), expected);
}

void TestSettings::twoProcessesShareOneKey()
{
    CreateSettingsKey(kDemographicsKey, HKEY_CURRENT_USER);
    WriteSettingsValue(HKEY_CURRENT_USER, kDemographicsKey, QStringLiteral("Gender"), QStringLiteral("F"), REG_SZ);
    constexpr int kCount = 60;
    QProcess a, b;
    a.start(QStringLiteral(SETTINGS_WRITER), {QStringLiteral("A"), QString::number(kCount)});
    b.start(QStringLiteral(SETTINGS_WRITER), {QStringLiteral("B"), QString::number(kCount)});
    QVERIFY(a.waitForFinished(60000));
    QVERIFY(b.waitForFinished(60000));
    QCOMPARE(a.exitCode(), 0);
    QCOMPARE(b.exitCode(), 0);
    for (int i = 0; i < kCount; ++i) {
        for (const char *prefix : {"A", "B"}) {
            const QString name = QString::fromLatin1(prefix) + QString::number(i);
            QCOMPARE(ReadSettingsValue(HKEY_CURRENT_USER, kPreferencesKey, name).toString(), QString::number(i));
        }
    }
    QCOMPARE(ReadSettingsValue(HKEY_CURRENT_USER, kDemographicsKey, QStringLiteral("Gender")).toString(),
        QStringLiteral("F"));
}

QTEST_GUILESS_MAIN(TestSettings)
#include "test_settings.moc"
