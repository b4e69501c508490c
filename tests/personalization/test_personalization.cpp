// User demographics and the personalization form against the real settings
// store in a temporary home.
#include "personalization/OVUser.h"
#include "personalization/frmRegister.h"
#include "support/OVRegistryHelpers.h"
#include "support/OVSimpleLog.h"

#include "TestDoubles.h"
#include "TestHome.h"

#include <QComboBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>

using namespace orvane;
using namespace orvane::OVRegistryHelpers;

namespace {
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
    QStringList out = kStamps;
    out.removeIf([](const QString &s) { return !stored(s).isValid(); });
    return out;
}
// What the user's pick in a drop-down list does: select the entry, then report the choice.
void choose(QComboBox *list, const QString &entry)
{
    const int index = list->findText(entry);
    list->setCurrentIndex(index);
    Q_EMIT list->activated(index);
}
} // namespace

class TestPersonalization : public QObject
{
    Q_OBJECT
    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<FakeClock> m_clock;

private Q_SLOTS:
    void init()
    {
        m_home = std::make_unique<TestHome>();
        m_clock = std::make_unique<FakeClock>(QDateTime(QDate(1999, 10, 4), QTime(13, 45, 12)));
    }
    void cleanup()
    {
        m_clock.reset();
        m_home.reset();
    }

    // Loading marks nothing, a field set before the load stays marked, and a
    // save leaves nothing marked: the next one writes nothing at all.
    void unforcedSaveWritesOnlyWhatChanged()
    {
        store(QStringLiteral("Gender"), QStringLiteral(" F\t ")); // spaces are trimmed, a tab stays
        OVUser user;
        user.setRating(20);
        user.Load();
        QCOMPARE(user.Gender(), QStringLiteral("F\t"));
        QCOMPARE(user.Rating(), 0);
        user.setPostalCode(QStringLiteral(" 10115 "));
        user.Save();
        QCOMPARE(stored("PostalCode"), QVariant(QStringLiteral("10115")));
        QCOMPARE(presentStamps(), QStringList({"RatingUpdated", "PostalCodeUpdated"}));
        const QByteArray before = m_home->readSettingsFile();
        m_clock->local = m_clock->local.addSecs(3600);
        user.Save();
        QCOMPARE(m_home->readSettingsFile(), before);
    }

    // The fields hold 32 bits: a number beyond 16 loads as it is; one beyond 32 is a fault of its own load step
    // only: the field keeps its value, the next steps run.
    void storedNumbers_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("faults");
        QTest::newRow("number and a word") << "40 years" << 40 << 0;
        QTest::newRow("word") << "adult" << 0 << 0;
        QTest::newRow("2.5 to even") << "2.5" << 2 << 0;
        QTest::newRow("3.5 to even") << "3.5" << 4 << 0;
        QTest::newRow("negative") << "-10" << -10 << 0;
        QTest::newRow("exponent") << "1e1" << 10 << 0;
        QTest::newRow("blank") << "   " << 0 << 0;
        QTest::newRow("fraction only") << ".6" << 1 << 0;
        QTest::newRow("beyond 16 bits") << "70000" << 70000 << 0;
        QTest::newRow("beyond 32 bits") << "99999999999" << 7 << 2;
    }
    void storedNumbers()
    {
        QFETCH(QString, text);
        RecordingMessageBoxes boxes;
        OVSimpleLog::switches().VerboseErrors = true;
        store(QStringLiteral("AgeRange"), text);
        store(QStringLiteral("Rating"), text);
        store(QStringLiteral("PostalCode"), QStringLiteral("X1"));
        OVUser user;
        user.setAgeRange(7);
        user.setRating(7);
        user.Load();
        QTEST(user.AgeRange(), "value");
        QTEST(user.Rating(), "value");
        QCOMPARE(user.PostalCode(), QStringLiteral("X1"));
        QVERIFY(!user.isLoading());
        QTEST(int(boxes.shown.size()), "faults");
        for (const auto &box : boxes.shown)
            QVERIFY(box.first.startsWith(QStringLiteral("OVConnect.Load\r\n6 ")));
    }

    // The form loads the user: an unset choice is unspecified and the defaults are written back without stamps.
    // OK keeps the form's changes, Cancel the stored values; both stamp all five, and a blank stamp is no stamp.
    void formEnds_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("postalCode"); // stored afterwards
        QTest::newRow("OK") << "cmdOkay"
                            << "99999";
        QTest::newRow("Cancel") << "cmdCancel"
                                << "10115";
    }
    void formEnds()
    {
        QFETCH(QString, button);
        store(QStringLiteral("PostalCode"), QStringLiteral("10115"));
        frmRegister form;
        // Centred by its outer size on the work area, a third of the free height above it.
        form.show();
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        const QSize outer = form.frameGeometry().size();
        QCOMPARE(form.frameGeometry().topLeft(),
            area.topLeft() + QPoint((area.width() - outer.width()) / 2, (area.height() - outer.height()) / 3));
        for (const char *list : {"lstAgeRange", "lstGender", "lstCountry", "lstRating"})
            QCOMPARE(form.findChild<QComboBox *>(list)->currentText(), QStringLiteral("Unspecified"));
        auto *postal = form.findChild<QLineEdit *>("txtPostalCode");
        QCOMPARE(postal->text(), QStringLiteral("10115"));
        QVERIFY(form.findChild<QComboBox *>("lstRating")->isEnabled());
        QCOMPARE(stored("AgeRange"), QVariant(QStringLiteral("0")));
        QCOMPARE(stored("Rating"), QVariant(QStringLiteral("0")));
        for (const char *name : {"Gender", "CountryCode"})
            QCOMPARE(stored(name), QVariant(QString()));
        QVERIFY(presentStamps().isEmpty());
        QVERIFY(!OVUser().Personalized());
        postal->clear();
        QTest::keyClicks(postal, QStringLiteral(" 99999 "));
        QCOMPARE(form.user().PostalCode(), QStringLiteral("99999"));
        QTest::mouseClick(form.findChild<QPushButton *>(button), Qt::LeftButton);
        QTEST(stored("PostalCode").toString(), "postalCode");
        for (const QString &s : kStamps)
            QCOMPARE(stored(s), QVariant(QStringLiteral("10/04/99 13:45:12")));
        QVERIFY(OVUser().Personalized());
        store(QStringLiteral("GenderUpdated"), QString());
        QVERIFY(!OVUser().Personalized());
    }

    // The form shows the stored choices; a young or unspecified age forces "No adult content".
    // The user's choice counts, also of the entry already shown.
    void storedChoicesAndYoungAges_data()
    {
        QTest::addColumn<QStringList>("choices"); // stored country code, gender and age, then the names shown
        QTest::addColumn<QString>("ages"); // chosen in turn
        QTest::addColumn<bool>("forced");
        QTest::newRow("US, M") << QStringList {"US", "M", "50", "United States", "Male"} << "40 to 49|14 to 17" << true;
        QTest::newRow("unknown code, F") << QStringList {"QQ", "F", "50", "Unspecified", "Female"}
                                         << "40 to 49|Unspecified" << true;
        QTest::newRow("no code, X") << QStringList {"", "X", "50", "Unspecified", "Unspecified"} << "40 to 49|30 to 39"
                                    << false;
        QTest::newRow("Unspecified again")
            << QStringList {"", "", "0", "Unspecified", "Unspecified"} << "Unspecified" << true;
    }
    void storedChoicesAndYoungAges()
    {
        QFETCH(QStringList, choices);
        QFETCH(QString, ages);
        QFETCH(bool, forced);
        store(QStringLiteral("CountryCode"), choices[0]);
        store(QStringLiteral("Gender"), choices[1]);
        store(QStringLiteral("AgeRange"), choices[2]);
        store(QStringLiteral("Rating"), QStringLiteral("10"));
        frmRegister form;
        QCOMPARE(form.findChild<QComboBox *>("lstCountry")->currentText(), choices[3]);
        QCOMPARE(form.findChild<QComboBox *>("lstGender")->currentText(), choices[4]);
        auto *list = form.findChild<QComboBox *>("lstAgeRange");
        auto *rating = form.findChild<QComboBox *>("lstRating");
        QCOMPARE(rating->currentText(), QStringLiteral("All content"));
        // Changing the entry by code is not a choice.
        list->setCurrentIndex(list->findText(QStringLiteral("14 to 17")));
        QVERIFY(rating->isEnabled());
        list->setCurrentIndex(list->findText(choices[2] == "0" ? QStringLiteral("Unspecified") : "50 to 59"));
        for (const QString &age : ages.split(u'|'))
            choose(list, age);
        QCOMPARE(rating->isEnabled(), !forced);
        QCOMPARE(rating->currentText(), forced ? QStringLiteral("No adult content") : QStringLiteral("All content"));
        QCOMPARE(form.user().Rating(), forced ? 20 : 10);
        if (forced) {
            choose(list, QStringLiteral("30 to 39"));
            QVERIFY(rating->isEnabled());
            QCOMPARE(rating->currentText(), QStringLiteral("No adult content"));
        }
    }

    void countryTable()
    {
        // Every code in display order, and the first, the last and the rows whose written names are unusual.
        const QStringList codes = QStringLiteral(
            "AF,AL,DZ,AS,AD,AO,AI,AQ,AG,AR,AM,AW,AU,AT,AZ,BS,BH,BD,BB,BY,BE,BZ,BJ,BM,BT,BO,BA,BW,BV,BR,IO,BN,BG,"
            "BF,BI,KH,CM,CA,CV,KY,CF,TD,CL,CN,CX,CC,CO,KM,CG,CD,CK,CR,CI,HR,CU,CY,CZ,DK,DJ,DM,DO,TP,EC,EG,SV,GQ,"
            "ER,EE,ET,FK,FO,FJ,FI,FR,FX,GF,PF,TF,GA,GM,GE,DE,GH,GI,GR,GL,GD,GP,GU,GT,GN,GW,GY,HT,HM,VA,HN,HK,HU,"
            "IS,IN,ID,IR,IQ,IE,IL,IT,JM,JP,JO,KZ,KE,KI,KP,KR,KW,KG,LA,LV,LB,LS,LR,LY,LI,LT,LU,MO,MK,MG,MW,MY,MV,"
            "ML,MT,MH,MQ,MR,MU,YT,MX,FM,MD,MC,MN,MS,MA,MZ,MM,NA,NR,NP,NL,AN,NC,NZ,NI,NE,NG,NU,NF,MP,NO,OM,PK,PW,"
            "PA,PG,PY,PE,PH,PN,PL,PT,PR,QA,RE,RO,RU,RW,KN,LC,VC,WS,SM,ST,SA,SN,SC,SL,SG,SK,SI,SB,SO,ZA,GS,ES,LK,"
            "SH,PM,SD,SR,SJ,SZ,SE,CH,SY,TW,TJ,TZ,TH,TG,TK,TO,TT,TN,TR,TM,TC,TV,UG,UA,AE,GB,US,UM,UY,UZ,VU,VE,VN,"
            "VG,VI,WF,EH,YE,YU,ZM,ZW")
                                      .split(u',');
        const auto &table = frmRegister::CountryTable();
        QCOMPARE(table.size(), 240);
        QCOMPARE(table[0].code, QString());
        QCOMPARE(table[0].name, QStringLiteral("Unspecified"));
        QCOMPARE(codes.size(), 239);
        QHash<QString, QString> names;
        for (qsizetype i = 1; i < table.size(); ++i) {
            QCOMPARE(table[i].code, codes[i - 1]);
            names.insert(table[i].code, table[i].name);
        }
        const std::pair<const char *, const char *> fixed[]
            = {{"AF", "Afghanistan"}, {"BA", "Bosnia and Herzegowina"}, {"CI", "Cote d'Ivoire"},
                {"HR", "Croatia (Hrvatska)"}, {"FX", "France Metropolitan"}, {"HM", "Heard and Mc Donald Islands"},
                {"SH", "St. Helena"}, {"TZ", "Tanzania United Republic of"}, {"ZW", "Zimbabwe"}};
        for (const auto &[code, name] : fixed)
            QCOMPARE(names.value(QLatin1String(code)), QLatin1String(name));
    }
};

QTEST_MAIN(TestPersonalization)
#include "test_personalization.moc"
