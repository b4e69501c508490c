#include "support/OVRegistryHelpers.h"

#include "TestDoubles.h"
#include "TestHome.h"

#include <QProcess>
#include <QSettings>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace orvane;
using namespace orvane::OVRegistryHelpers;

class TestSettings : public QObject
{
    Q_OBJECT
    std::unique_ptr<TestHome> m_home;

    static QVariant read(const QString &name) { return ReadSettingsValue(HKEY_CURRENT_USER, kPreferencesKey, name); }
    static QVariant orDefault(const QVariant &value)
    {
        return ReadSettingsValueOrDefault(HKEY_CURRENT_USER, kPreferencesKey, QStringLiteral("V"), value);
    }

private Q_SLOTS:
    void init() { m_home = std::make_unique<TestHome>(); }
    void cleanup() { m_home.reset(); }

    // A missing, blank or unreadable value is replaced by the default, stored
    // as text. Only empty text or spaces are blank: tabs and line ends are values.
    void readWithDefault_data()
    {
        QTest::addColumn<QByteArray>("line"); // of the Preferences group, empty: none
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QVariant>("defaultValue");
        QTest::addColumn<QString>("stored");
        QTest::newRow("missing") << QByteArray() << "false" << QVariant(false) << "False";
        QTest::newRow("blanks replaced") << QByteArray("V=\"   \"") << "500" << QVariant(500) << "500";
        QTest::newRow("number kept") << QByteArray("V=60") << "60" << QVariant(QStringLiteral("300")) << "60";
        QTest::newRow("another type") << QByteArray("V=@ByteArray(\\x1\\x2)") << "false" << QVariant(false) << "False";
        QTest::newRow("zero is a value") << QByteArray("V=0") << "0" << QVariant(7) << "0";
        QTest::newRow("tab is a value") << QByteArray("V=\"\\t\"") << "\t" << QVariant(500) << "\t";
        QTest::newRow("line end is a value") << QByteArray("V=\" \\r\\n\"") << " \r\n" << QVariant(500) << " \r\n";
    }
    void readWithDefault()
    {
        QFETCH(QByteArray, line);
        QFETCH(QVariant, defaultValue);
        QFETCH(QString, stored);
        if (!line.isEmpty())
            m_home->writeSettingsFile("[Preferences]\n" + line + "\n");
        QTEST(orDefault(defaultValue).toString(), "expected");
        QCOMPARE(QSettings(m_home->settingsFile(), QSettings::IniFormat).value("Preferences/V"), QVariant(stored));
    }

    void plainReadsAndWrites()
    {
        QVERIFY(!read(QStringLiteral("Missing")).isValid());
        QVERIFY(m_home->readSettingsFile().isEmpty()); // nothing created
        m_home->writeSettingsFile("[Debug]\nTraceTransfer=@ByteArray(\\x1\\x2)\nKept=yes\n");
        QVERIFY(!ReadSettingsValue(HKEY_CURRENT_USER, kDebugKey, QStringLiteral("TraceTransfer")).isValid());
        QCOMPARE(ReadSettingsValue(HKEY_CURRENT_USER, kDebugKey, QStringLiteral("Kept")).toString(), "yes");

        // A write needs an existing key.
        WriteSettingsValue(HKEY_CURRENT_USER, kPreferencesKey, QStringLiteral("AdDisplayLeft"), 100, REG_SZ);
        QVERIFY(!read(QStringLiteral("AdDisplayLeft")).isValid());
        CreateSettingsKey(kPreferencesKey, HKEY_CURRENT_USER);
        WriteSettingsValue(HKEY_CURRENT_USER, kPreferencesKey, QStringLiteral("AdDisplayLeft"), 100, REG_SZ);
        QCOMPARE(read(QStringLiteral("AdDisplayLeft")).toString(), QStringLiteral("100"));
    }

    // Anything but a regular file of bounded size reads as empty at once, is
    // never written nor read whole, and is reported once.
    void specialFilesAreRefused_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("FIFO") << "fifo";
        QTest::newRow("link to /dev/zero") << "zero";
        QTest::newRow("2 MiB file") << "large";
    }
    void specialFilesAreRefused()
    {
        QFETCH(QString, kind);
        m_home->writeSettingsFile("[Preferences]\nV=1\n");
        const QByteArray path = QFile::encodeName(m_home->settingsFile());
        if (kind == "large")
            QVERIFY(QFile::resize(m_home->settingsFile(), 2 << 20));
        else
            QVERIFY(::unlink(path) == 0 && (kind == "fifo" ? ::mkfifo(path, 0600) : ::symlink("/dev/zero", path)) == 0);
        RecordingMessageBoxes boxes;
        OVSimpleLog::switches().VerboseErrors = true;
        QVERIFY(!read(QStringLiteral("V")).isValid());
        QCOMPARE(orDefault(7).toInt(), 7);
        QVERIFY(!read(QStringLiteral("V")).isValid()); // the default was not written
        struct stat st;
        QCOMPARE(::lstat(path, &st), 0);
        QCOMPARE(S_ISFIFO(st.st_mode), kind == "fifo");
        QCOMPARE(S_ISLNK(st.st_mode), kind == "zero");
        QCOMPARE(boxes.shown.size(), 1);
        QVERIFY2(boxes.shown[0].first.startsWith("OVRegistryHelpers.ReadValueFromOpenKey\r\n75 The settings file "),
            qPrintable(boxes.shown[0].first));
    }

    void twoProcessesShareOneKey()
    {
        CreateSettingsKey(kDemographicsKey, HKEY_CURRENT_USER);
        WriteSettingsValue(HKEY_CURRENT_USER, kDemographicsKey, QStringLiteral("Gender"), QStringLiteral("F"), REG_SZ);
        QVERIFY(!read(QStringLiteral("A0")).isValid());
        constexpr int kCount = 60;
        QProcess a, b;
        a.start(QStringLiteral(SETTINGS_WRITER), {QStringLiteral("A"), QString::number(kCount)});
        b.start(QStringLiteral(SETTINGS_WRITER), {QStringLiteral("B"), QString::number(kCount)});
        QVERIFY(a.waitForFinished(60000));
        QVERIFY(b.waitForFinished(60000));
        QCOMPARE(a.exitCode(), 0);
        QCOMPARE(b.exitCode(), 0);
        for (int i = 0; i < kCount; ++i) {
            QCOMPARE(read("A" + QString::number(i)).toString(), QString::number(i));
            QCOMPARE(read("B" + QString::number(i)).toString(), QString::number(i));
        }
        QCOMPARE(ReadSettingsValue(HKEY_CURRENT_USER, kDemographicsKey, QStringLiteral("Gender")).toString(), "F");
    }

    // Each change keeps the file's size and lands within the same second as
    // the read before it.
    void changeSeenAtNextRead()
    {
        for (const char *value : {"7", "8"}) {
            m_home->writeSettingsFile(QByteArray("[Preferences]\nP0=") + value + "\n");
            QCOMPARE(read(QStringLiteral("P0")).toString(), QString::fromLatin1(value));
        }
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "test_settings.moc"
