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

    void readWithDefault_data();
    void readWithDefault();
    void plainReads();
    void whitespaceIsAValue_data();
    void whitespaceIsAValue();
    void writeNeedsAnExistingKey();
    void booleans_data();
    void booleans();
    void twoProcessesShareOneKey();
    void changeSeenAtNextRead();

private:
    std::unique_ptr<TestHome> m_home;
};

void TestSettings::readWithDefault_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QVariant>("defaultValue");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("stored");
    QTest::newRow("missing: default written as text")
        << QByteArray() << kDebugKey << QStringLiteral("TraceTransfer") << QVariant(false) << QStringLiteral("false")
        << QStringLiteral("False");
    QTest::newRow("blanks replaced") << QByteArray("[Preferences]\nTimeoutGranularity=\"   \"\n") << kPreferencesKey
                                     << QStringLiteral("TimeoutGranularity") << QVariant(500) << QStringLiteral("500")
                                     << QStringLiteral("500");
    QTest::newRow("number kept") << QByteArray("[Preferences]\nTransferTimeoutSeconds=60\n") << kPreferencesKey
                                 << QStringLiteral("TransferTimeoutSeconds") << QVariant(QStringLiteral("300"))
                                 << QStringLiteral("60") << QStringLiteral("60");
    QTest::newRow("another type overwritten")
        << QByteArray("[Debug]\nTraceTransfer=@ByteArray(\\x1\\x2)\n") << kDebugKey << QStringLiteral("TraceTransfer")
        << QVariant(false) << QStringLiteral("false") << QStringLiteral("False");
    QTest::newRow("zero is a value") << QByteArray("[Preferences]\nZero=0\n") << kPreferencesKey
                                     << QStringLiteral("Zero") << QVariant(7) << QStringLiteral("0")
                                     << QStringLiteral("0");
}

void TestSettings::readWithDefault()
{
    QFETCH(QByteArray, ini);
    QFETCH(QString, key);
    QFETCH(QString, name);
    QFETCH(QVariant, defaultValue);
    QFETCH(QString, expected);
    QFETCH(QString, stored);
    if (!ini.isEmpty())
        m_home->writeSettingsFile(ini);
    QCOMPARE(ReadSettingsValueOrDefault(HKEY_CURRENT_USER, key, name, defaultValue).toString(), expected);
    QCOMPARE(ReadSettingsValue(HKEY_CURRENT_USER, key, name), QVariant(stored));
    QVERIFY(m_home->readSettingsFile().contains((name + u'=' + stored).toLatin1()));
}

void TestSettings::plainReads()
{
    QVariant v;
    const OpenKey debug {HKEY_CURRENT_USER, kDebugKey};
    QCOMPARE(ReadValueFromOpenKey(debug, QStringLiteral("TraceLocalStorage"), v), int(StatusNotFound));
    QVERIFY(m_home->readSettingsFile().isEmpty()); // nothing created
    m_home->writeSettingsFile("[Debug]\nTraceTransfer=@ByteArray(\\x1\\x2)\nKept=yes\n");
    QCOMPARE(ReadValueFromOpenKey(debug, QStringLiteral("TraceTransfer"), v), int(StatusOtherType));
    QVERIFY(!v.isValid());
    QVERIFY(!ReadSettingsValue(HKEY_CURRENT_USER, kDebugKey, QStringLiteral("TraceTransfer")).isValid());
    QCOMPARE(ReadSettingsValue(HKEY_CURRENT_USER, kDebugKey, QStringLiteral("Kept")).toString(), QStringLiteral("yes"));
}

// Only empty text or spaces are blank: tabs and line ends are values.
void TestSettings::whitespaceIsAValue_data()
{
    QTest::addColumn<QString>("stored");
    QTest::newRow("tab") << QStringLiteral("\t");
    QTest::newRow("line end") << QStringLiteral(" \r\n");
}

void TestSettings::whitespaceIsAValue()
{
    QFETCH(QString, stored);
    CreateSettingsKey(kPreferencesKey, HKEY_CURRENT_USER);
    WriteSettingsValue(HKEY_CURRENT_USER, kPreferencesKey, QStringLiteral("TimeoutGranularity"), stored, REG_SZ);
    QCOMPARE(ReadSettingsValueOrDefault(HKEY_CURRENT_USER, kPreferencesKey, QStringLiteral("TimeoutGranularity"), 500),
        QVariant(stored));
    QCOMPARE(
        ReadSettingsValue(HKEY_CURRENT_USER, kPreferencesKey, QStringLiteral("TimeoutGranularity")), QVariant(stored));
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
    QVERIFY(!ReadSettingsValue(HKEY_CURRENT_USER, kPreferencesKey, QStringLiteral("A0")).isValid());
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

void TestSettings::changeSeenAtNextRead()
{
    // Each change keeps the file's size and lands within the same second as
    // the read before it.
    for (const char *ini : {"[Preferences]\nP0=7\n", "[Preferences]\nP0=8\n"}) {
        m_home->writeSettingsFile(ini);
        QCOMPARE(ReadSettingsValue(HKEY_CURRENT_USER, kPreferencesKey, QStringLiteral("P0")).toString(),
            QString::fromLatin1(ini).mid(17, 1));
    }
}

QTEST_GUILESS_MAIN(TestSettings)
#include "test_settings.moc"
