#include "personalization/frmRegister.h"
#include "support/OVRegistryHelpers.h"

#include "TestHome.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace orvane;
using namespace orvane::OVRegistryHelpers;

namespace {
QString stored(const char *name)
{
    return ReadSettingsValue(HKEY_CURRENT_USER, kDemographicsKey, QString::fromLatin1(name)).toString();
}
void store(const char *name, const QString &value)
{
    CreateSettingsKey(kDemographicsKey, HKEY_CURRENT_USER);
    WriteSettingsValue(HKEY_CURRENT_USER, kDemographicsKey, QString::fromLatin1(name), value, REG_SZ);
}
template <typename T>
T *child(frmRegister &form, const char *name)
{
    return form.findChild<T *>(QString::fromLatin1(name));
}
} // namespace

class TestFrmRegister : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { m_home = std::make_unique<TestHome>(); }
    void cleanup() { m_home.reset(); }

    void emptyStoreAndOK();
    void youngAgesForceNoAdultContent_data();
    void youngAgesForceNoAdultContent();
    void storedSelections_data();
    void storedSelections();
    void cancelKeepsStoredValuesButStampsThem();

private:
    std::unique_ptr<TestHome> m_home;
};

void TestFrmRegister::emptyStoreAndOK()
{
    frmRegister form;
    QCOMPARE(form.windowTitle(), QStringLiteral("Personalize Orvane"));
    for (const char *list : {"lstAgeRange", "lstGender", "lstCountry", "lstRating"})
        QCOMPARE(child<QComboBox>(form, list)->currentText(), QStringLiteral("Unspecified"));
    QCOMPARE(child<QLineEdit>(form, "txtPostalCode")->text(), QString());
    QVERIFY(child<QComboBox>(form, "lstRating")->isEnabled());
    QTest::mouseClick(child<QPushButton>(form, "cmdOkay"), Qt::LeftButton);
    QCOMPARE(stored("Rating"), QStringLiteral("0"));
    QCOMPARE(stored("AgeRange"), QStringLiteral("0"));
    QCOMPARE(stored("Gender"), QString());
    QCOMPARE(stored("CountryCode"), QString());
    for (const char *stamp :
        {"RatingUpdated", "AgeRangeUpdated", "GenderUpdated", "PostalCodeUpdated", "CountryCodeUpdated"})
        QVERIFY(!stored(stamp).isEmpty());
    QVERIFY(OVUser().Personalized());
}

void TestFrmRegister::youngAgesForceNoAdultContent_data()
{
    QTest::addColumn<QString>("age");
    QTest::addColumn<bool>("forced");
    QTest::newRow("14 to 17") << "14 to 17" << true;
    QTest::newRow("Unspecified") << "Unspecified" << true;
    QTest::newRow("30 to 39") << "30 to 39" << false;
}

void TestFrmRegister::youngAgesForceNoAdultContent()
{
    QFETCH(QString, age);
    QFETCH(bool, forced);
    store("AgeRange", QStringLiteral("50"));
    store("Rating", QStringLiteral("10"));
    frmRegister form;
    auto *ages = child<QComboBox>(form, "lstAgeRange");
    auto *rating = child<QComboBox>(form, "lstRating");
    QCOMPARE(rating->currentText(), QStringLiteral("All content"));
    ages->setCurrentIndex(ages->findText(QStringLiteral("40 to 49")));
    ages->setCurrentIndex(ages->findText(age));
    QCOMPARE(rating->isEnabled(), !forced);
    QCOMPARE(rating->currentText(), forced ? QStringLiteral("No adult content") : QStringLiteral("All content"));
    QCOMPARE(form.user().Rating(), forced ? 20 : 10);
    if (forced) {
        ages->setCurrentIndex(ages->findText(QStringLiteral("30 to 39")));
        QVERIFY(rating->isEnabled());
        QCOMPARE(rating->currentText(), QStringLiteral("No adult content"));
    }
}

void TestFrmRegister::storedSelections_data()
{
    QTest::addColumn<QStringList>("stored"); // country code, gender
    QTest::addColumn<QStringList>("shown");
    QTest::newRow("US, M") << QStringList {"US", "M"} << QStringList {"United States", "Male"};
    QTest::newRow("unknown code, F") << QStringList {"QQ", "F"} << QStringList {"Unspecified", "Female"};
    QTest::newRow("empty, other gender") << QStringList {"", "X"} << QStringList {"Unspecified", "Unspecified"};
}

void TestFrmRegister::storedSelections()
{
    QFETCH(QStringList, stored);
    QFETCH(QStringList, shown);
    store("CountryCode", stored[0]);
    store("Gender", stored[1]);
    frmRegister form;
    QCOMPARE(child<QComboBox>(form, "lstCountry")->currentText(), shown[0]);
    QCOMPARE(child<QComboBox>(form, "lstGender")->currentText(), shown[1]);
}

void TestFrmRegister::cancelKeepsStoredValuesButStampsThem()
{
    store("PostalCode", QStringLiteral("10115"));
    frmRegister form;
    auto *postal = child<QLineEdit>(form, "txtPostalCode");
    QCOMPARE(postal->text(), QStringLiteral("10115"));
    postal->clear();
    QTest::keyClicks(postal, QStringLiteral(" 99999 "));
    QCOMPARE(form.user().PostalCode(), QStringLiteral("99999"));
    QTest::mouseClick(child<QPushButton>(form, "cmdCancel"), Qt::LeftButton);
    QCOMPARE(stored("PostalCode"), QStringLiteral("10115"));
    QVERIFY(!stored("PostalCodeUpdated").isEmpty());
}

QTEST_MAIN(TestFrmRegister)
#include "test_frmRegister.moc"
