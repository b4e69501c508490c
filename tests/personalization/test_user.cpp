// User demographics against the real settings store in a temporary home.
#include "personalization/OVUser.h"
#include "support/OVRegistryHelpers.h"
#include "support/OVSimpleLog.h"

#include "TestDoubles.h"
#include "TestHome.h"

#include <QTest>

using namespace orvane;
using namespace orvane::OVRegistryHelpers;

namespace {
const QStringList kValues = {"Rating", "AgeRange", "Gender", "PostalCode", "CountryCode"};
const QStringList kStamps
    = {"RatingUpdated", "AgeRangeUpdated", "GenderUpdated", "PostalCodeUpdated", "CountryCodeUpdated"};

QVariant stored(const QString &name)
{
    return ReadSettingsValue(HKEY_CURRENT_USER, kDemographicsKey, name);
}
void store(const QString &name, const QString &text)
{
    CreateSettingsKey(kDemographicsKey, HKEY_CURRENT_USER);
    WriteSettingsValue(HKEY_CURRENT_USER, kDemographicsKey, name, text, REG_SZ);
}
QStringList presentStamps()
{
    QStringList out;
    for (const QString &s : kStamps) {
        if (stored(s).isValid())
            out.append(s);
    }
    return out;
}
} // namespace

class TestUser : public QObject
{
    Q_OBJECT
    TestHome *m_home = nullptr;
    FakeClock *m_clock = nullptr;

private Q_SLOTS:
    void init()
    {
        m_home = new TestHome;
        m_clock = new FakeClock(QDateTime(QDate(1999, 10, 4), QTime(13, 45, 12)));
    }
    void cleanup()
    {
        delete m_clock;
        delete m_home;
    }

    void loadFromAnEmptyStoreThenForcedSave()
    {
        OVUser user;
        user.Load();
        QCOMPARE(user.Rating(), 0);
        QCOMPARE(user.AgeRange(), 0);
        QVERIFY(user.Gender().isEmpty() && user.PostalCode().isEmpty() && user.CountryCode().isEmpty());
        QVERIFY(!user.isLoading());
        // The defaults are written back, without stamps.
        QCOMPARE(stored("AgeRange"), QVariant(QStringLiteral("0")));
        QCOMPARE(stored("Rating"), QVariant(QStringLiteral("0")));
        for (const char *name : {"Gender", "PostalCode", "CountryCode"})
            QCOMPARE(stored(name), QVariant(QString()));
        QVERIFY(presentStamps().isEmpty());
        QVERIFY(!user.Personalized());
        user.Save(true);
        for (const QString &s : kStamps)
            QCOMPARE(stored(s), QVariant(QStringLiteral("10/04/99 13:45:12")));
        QVERIFY(user.Personalized());
    }

    void unforcedSaveWritesOnlyWhatChanged()
    {
        OVUser user;
        user.Load();
        user.setPostalCode(QStringLiteral(" 10115 "));
        user.Save();
        QCOMPARE(stored("PostalCode"), QVariant(QStringLiteral("10115")));
        QCOMPARE(presentStamps(), QStringList({"PostalCodeUpdated"}));

        // Nothing is left marked: a second save writes nothing at all.
        const QByteArray before = m_home->readSettingsFile();
        m_clock->local = m_clock->local.addSecs(3600);
        user.Save();
        QCOMPARE(m_home->readSettingsFile(), before);
    }

    void loadingDoesNotMarkFields()
    {
        store("Gender", " F ");
        store("CountryCode", "DE");
        OVUser user;
        user.setRating(20); // marked before the load: stays marked
        user.Load();
        QCOMPARE(user.Gender(), QStringLiteral("F"));
        QCOMPARE(user.Rating(), 0);
        user.Save();
        QCOMPARE(presentStamps(), QStringList({"RatingUpdated"}));

        user.setGender(QStringLiteral("  M  "));
        user.Save();
        QCOMPARE(stored("Gender"), QVariant(QStringLiteral("M")));
        QCOMPARE(presentStamps(), QStringList({"RatingUpdated", "GenderUpdated"}));
    }

    void storedNumbers_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("value");
        QTest::newRow("number and a word") << "40 years" << 40;
        QTest::newRow("word") << "adult" << 0;
        QTest::newRow("2.5 to even") << "2.5" << 2;
        QTest::newRow("3.5 to even") << "3.5" << 4;
        QTest::newRow("negative") << "-10" << -10;
        QTest::newRow("exponent") << "1e1" << 10;
        QTest::newRow("blank") << "   " << 0;
        QTest::newRow("fraction only") << ".6" << 1;
    }
    void storedNumbers()
    {
        QFETCH(QString, text);
        store("AgeRange", text);
        store("Rating", text);
        OVUser user;
        user.Load();
        QTEST(user.AgeRange(), "value");
        QTEST(user.Rating(), "value");
    }

    void outOfRangeNumberLeavesTheField()
    {
        RecordingMessageBoxes boxes;
        OVSimpleLog::switches().VerboseErrors = true;
        store("AgeRange", "99999999999");
        store("PostalCode", "X1");
        OVUser user;
        user.setAgeRange(30);
        user.Load();
        QCOMPARE(user.AgeRange(), 30);
        QCOMPARE(user.PostalCode(), QStringLiteral("X1")); // the next steps ran
        QVERIFY(!user.isLoading());
        QCOMPARE(boxes.shown.size(), 1);
        QVERIFY(boxes.shown[0].first.startsWith(QStringLiteral("OVConnect.Load\r\n6 ")));
    }

    void personalizedNeedsAllFiveStamps_data()
    {
        QTest::addColumn<QString>("missing");
        for (const QString &s : kStamps)
            QTest::newRow(qPrintable(s)) << s;
    }
    void personalizedNeedsAllFiveStamps()
    {
        QFETCH(QString, missing);
        for (const QString &s : kStamps)
            store(s, s == missing ? QString() : QStringLiteral("01/01/00 00:00:00"));
        OVUser user;
        QVERIFY(!user.Personalized());
        store(missing, QStringLiteral("x"));
        QVERIFY(user.Personalized());
    }
};

QTEST_GUILESS_MAIN(TestUser)
#include "test_user.moc"
