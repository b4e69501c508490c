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
    void countryTable();

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
    QTest::addColumn<QString>("country");
    QTest::addColumn<QString>("gender");
    QTest::addColumn<QString>("countryShown");
    QTest::addColumn<QString>("genderShown");
    QTest::newRow("US, M") << "US"
                           << "M"
                           << "United States"
                           << "Male";
    QTest::newRow("unknown code, F") << "QQ"
                                     << "F"
                                     << "Unspecified"
                                     << "Female";
    QTest::newRow("empty, other gender") << ""
                                         << "X"
                                         << "Unspecified"
                                         << "Unspecified";
}

void TestFrmRegister::storedSelections()
{
    QFETCH(QString, country);
    QFETCH(QString, gender);
    QFETCH(QString, countryShown);
    QFETCH(QString, genderShown);
    store("CountryCode", country);
    store("Gender", gender);
    frmRegister form;
    QCOMPARE(child<QComboBox>(form, "lstCountry")->currentText(), countryShown);
    QCOMPARE(child<QComboBox>(form, "lstGender")->currentText(), genderShown);
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

void TestFrmRegister::countryTable()
{
    // Every code in display order, and the rows whose written names are fixed.
    const QStringList codes = QStringLiteral(
        "AF,AL,DZ,AS,AD,AO,AI,AQ,AG,AR,AM,AW,AU,AT,AZ,BS,BH,BD,BB,BY,BE,BZ,BJ,BM,BT,BO,BA,BW,BV,BR,IO,BN,BG,BF,BI,KH,"
        "CM,CA,CV,KY,CF,TD,CL,CN,CX,CC,CO,KM,CG,CD,CK,CR,CI,HR,CU,CY,CZ,DK,DJ,DM,DO,TP,EC,EG,SV,GQ,ER,EE,ET,FK,FO,FJ,"
        "FI,FR,FX,GF,PF,TF,GA,GM,GE,DE,GH,GI,GR,GL,GD,GP,GU,GT,GN,GW,GY,HT,HM,VA,HN,HK,HU,IS,IN,ID,IR,IQ,IE,IL,IT,JM,"
        "JP,JO,KZ,KE,KI,KP,KR,KW,KG,LA,LV,LB,LS,LR,LY,LI,LT,LU,MO,MK,MG,MW,MY,MV,ML,MT,MH,MQ,MR,MU,YT,MX,FM,MD,MC,MN,"
        "MS,MA,MZ,MM,NA,NR,NP,NL,AN,NC,NZ,NI,NE,NG,NU,NF,MP,NO,OM,PK,PW,PA,PG,PY,PE,PH,PN,PL,PT,PR,QA,RE,RO,RU,RW,KN,"
        "LC,VC,WS,SM,ST,SA,SN,SC,SL,SG,SK,SI,SB,SO,ZA,GS,ES,LK,SH,PM,SD,SR,SJ,SZ,SE,CH,SY,TW,TJ,TZ,TH,TG,TK,TO,TT,TN,"
        "TR,TM,TC,TV,UG,UA,AE,GB,US,UM,UY,UZ,VU,VE,VN,VG,VI,WF,EH,YE,YU,ZM,ZW")
                                  .split(u',');
    const auto &table = frmRegister::CountryTable();
    QCOMPARE(table.size(), 240);
    QCOMPARE(table[0].code, QString());
    QCOMPARE(table[0].name, QStringLiteral("Unspecified"));
    QStringList actual;
    QHash<QString, QString> names;
    for (qsizetype i = 1; i < table.size(); ++i) {
        actual.append(table[i].code);
        names.insert(table[i].code, table[i].name);
    }
    QCOMPARE(actual, codes);
    const std::pair<const char *, const char *> fixed[] = {
        {"AF", "Afghanistan"},
        {"BA", "Bosnia and Herzegowina"},
        {"CD", "Congo, the Democratic Republic of the"},
        {"CI", "Cote d'Ivoire"},
        {"HR", "Croatia (Hrvatska)"},
        {"TP", "East Timor"},
        {"FX", "France Metropolitan"},
        {"HM", "Heard and Mc Donald Islands"},
        {"VA", "Holy See (Vatican City State)"},
        {"KP", "Korea, Democratic People's Republic of"},
        {"MK", "Macedonia, The former Yugoslav Republic of"},
        {"AN", "Netherlands Antilles"},
        {"SK", "Slovakia (Slovak Republic)"},
        {"SH", "St. Helena"},
        {"PM", "St. Pierre and Miquelon"},
        {"TZ", "Tanzania United Republic of"},
        {"GB", "United Kingdom"},
        {"US", "United States"},
        {"UM", "United States Minor Outlying Islands"},
        {"VG", "Virgin Islands (British)"},
        {"VI", "Virgin Islands (U.S.)"},
        {"YU", "Yugoslavia"},
        {"ZW", "Zimbabwe"},
    };
    for (const auto &[code, name] : fixed)
        QCOMPARE(names.value(QLatin1String(code)), QLatin1String(name));
}

QTEST_MAIN(TestFrmRegister)
#include "test_frmRegister.moc"
