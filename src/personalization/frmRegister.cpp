#include "personalization/frmRegister.h"

#include <orvane/ResultCodes.h>

#include "support/ErrorHandler.h"
#include "support/TrimSpaces.h"
#include "ui/DesignFont.h"
#include "ui/Twips.h"
#include "ui/WindowFrame.h"

#include <QComboBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>

namespace orvane {

namespace {

struct CountryRow
{
    const char16_t *code;
    const char16_t *name;
};

// Entries 1 to 239 of the country table, in display order (sorted by name).
constexpr CountryRow kCountries[] = {
    {u"AF", u"Afghanistan"},
    {u"AL", u"Albania"},
    {u"DZ", u"Algeria"},
    {u"AS", u"American Samoa"},
    {u"AD", u"Andorra"},
    {u"AO", u"Angola"},
    {u"AI", u"Anguilla"},
    {u"AQ", u"Antarctica"},
    {u"AG", u"Antigua and Barbuda"},
    {u"AR", u"Argentina"},
    {u"AM", u"Armenia"},
    {u"AW", u"Aruba"},
    {u"AU", u"Australia"},
    {u"AT", u"Austria"},
    {u"AZ", u"Azerbaijan"},
    {u"BS", u"Bahamas"},
    {u"BH", u"Bahrain"},
    {u"BD", u"Bangladesh"},
    {u"BB", u"Barbados"},
    {u"BY", u"Belarus"},
    {u"BE", u"Belgium"},
    {u"BZ", u"Belize"},
    {u"BJ", u"Benin"},
    {u"BM", u"Bermuda"},
    {u"BT", u"Bhutan"},
    {u"BO", u"Bolivia"},
    {u"BA", u"Bosnia and Herzegowina"},
    {u"BW", u"Botswana"},
    {u"BV", u"Bouvet Island"},
    {u"BR", u"Brazil"},
    {u"IO", u"British Indian Ocean Territory"},
    {u"BN", u"Brunei Darussalam"},
    {u"BG", u"Bulgaria"},
    {u"BF", u"Burkina Faso"},
    {u"BI", u"Burundi"},
    {u"KH", u"Cambodia"},
    {u"CM", u"Cameroon"},
    {u"CA", u"Canada"},
    {u"CV", u"Cape Verde"},
    {u"KY", u"Cayman Islands"},
    {u"CF", u"Central African Republic"},
    {u"TD", u"Chad"},
    {u"CL", u"Chile"},
    {u"CN", u"China"},
    {u"CX", u"Christmas Island"},
    {u"CC", u"Cocos (Keeling) Islands"},
    {u"CO", u"Colombia"},
    {u"KM", u"Comoros"},
    {u"CG", u"Congo"},
    {u"CD", u"Congo, the Democratic Republic of the"},
    {u"CK", u"Cook Islands"},
    {u"CR", u"Costa Rica"},
    {u"CI", u"Cote d'Ivoire"},
    {u"HR", u"Croatia (Hrvatska)"},
    {u"CU", u"Cuba"},
    {u"CY", u"Cyprus"},
    {u"CZ", u"Czech Republic"},
    {u"DK", u"Denmark"},
    {u"DJ", u"Djibouti"},
    {u"DM", u"Dominica"},
    {u"DO", u"Dominican Republic"},
    {u"TP", u"East Timor"},
    {u"EC", u"Ecuador"},
    {u"EG", u"Egypt"},
    {u"SV", u"El Salvador"},
    {u"GQ", u"Equatorial Guinea"},
    {u"ER", u"Eritrea"},
    {u"EE", u"Estonia"},
    {u"ET", u"Ethiopia"},
    {u"FK", u"Falkland Islands (Malvinas)"},
    {u"FO", u"Faroe Islands"},
    {u"FJ", u"Fiji"},
    {u"FI", u"Finland"},
    {u"FR", u"France"},
    {u"FX", u"France Metropolitan"},
    {u"GF", u"French Guiana"},
    {u"PF", u"French Polynesia"},
    {u"TF", u"French Southern Territories"},
    {u"GA", u"Gabon"},
    {u"GM", u"Gambia"},
    {u"GE", u"Georgia"},
    {u"DE", u"Germany"},
    {u"GH", u"Ghana"},
    {u"GI", u"Gibraltar"},
    {u"GR", u"Greece"},
    {u"GL", u"Greenland"},
    {u"GD", u"Grenada"},
    {u"GP", u"Guadeloupe"},
    {u"GU", u"Guam"},
    {u"GT", u"Guatemala"},
    {u"GN", u"Guinea"},
    {u"GW", u"Guinea-Bissau"},
    {u"GY", u"Guyana"},
    {u"HT", u"Haiti"},
    {u"HM", u"Heard and Mc Donald Islands"},
    {u"VA", u"Holy See (Vatican City State)"},
    {u"HN", u"Honduras"},
    {u"HK", u"Hong Kong"},
    {u"HU", u"Hungary"},
    {u"IS", u"Iceland"},
    {u"IN", u"India"},
    {u"ID", u"Indonesia"},
    {u"IR", u"Iran (Islamic Republic of)"},
    {u"IQ", u"Iraq"},
    {u"IE", u"Ireland"},
    {u"IL", u"Israel"},
    {u"IT", u"Italy"},
    {u"JM", u"Jamaica"},
    {u"JP", u"Japan"},
    {u"JO", u"Jordan"},
    {u"KZ", u"Kazakhstan"},
    {u"KE", u"Kenya"},
    {u"KI", u"Kiribati"},
    {u"KP", u"Korea, Democratic People's Republic of"},
    {u"KR", u"Korea, Republic of"},
    {u"KW", u"Kuwait"},
    {u"KG", u"Kyrgyzstan"},
    {u"LA", u"Lao People's Democratic Republic"},
    {u"LV", u"Latvia"},
    {u"LB", u"Lebanon"},
    {u"LS", u"Lesotho"},
    {u"LR", u"Liberia"},
    {u"LY", u"Libyan Arab Jamahiriya"},
    {u"LI", u"Liechtenstein"},
    {u"LT", u"Lithuania"},
    {u"LU", u"Luxembourg"},
    {u"MO", u"Macau"},
    {u"MK", u"Macedonia, The former Yugoslav Republic of"},
    {u"MG", u"Madagascar"},
    {u"MW", u"Malawi"},
    {u"MY", u"Malaysia"},
    {u"MV", u"Maldives"},
    {u"ML", u"Mali"},
    {u"MT", u"Malta"},
    {u"MH", u"Marshall Islands"},
    {u"MQ", u"Martinique"},
    {u"MR", u"Mauritania"},
    {u"MU", u"Mauritius"},
    {u"YT", u"Mayotte"},
    {u"MX", u"Mexico"},
    {u"FM", u"Micronesia, Federated States of"},
    {u"MD", u"Moldova, Republic of"},
    {u"MC", u"Monaco"},
    {u"MN", u"Mongolia"},
    {u"MS", u"Montserrat"},
    {u"MA", u"Morocco"},
    {u"MZ", u"Mozambique"},
    {u"MM", u"Myanmar"},
    {u"NA", u"Namibia"},
    {u"NR", u"Nauru"},
    {u"NP", u"Nepal"},
    {u"NL", u"Netherlands"},
    {u"AN", u"Netherlands Antilles"},
    {u"NC", u"New Caledonia"},
    {u"NZ", u"New Zealand"},
    {u"NI", u"Nicaragua"},
    {u"NE", u"Niger"},
    {u"NG", u"Nigeria"},
    {u"NU", u"Niue"},
    {u"NF", u"Norfolk Island"},
    {u"MP", u"Northern Mariana Islands"},
    {u"NO", u"Norway"},
    {u"OM", u"Oman"},
    {u"PK", u"Pakistan"},
    {u"PW", u"Palau"},
    {u"PA", u"Panama"},
    {u"PG", u"Papua New Guinea"},
    {u"PY", u"Paraguay"},
    {u"PE", u"Peru"},
    {u"PH", u"Philippines"},
    {u"PN", u"Pitcairn"},
    {u"PL", u"Poland"},
    {u"PT", u"Portugal"},
    {u"PR", u"Puerto Rico"},
    {u"QA", u"Qatar"},
    {u"RE", u"Reunion"},
    {u"RO", u"Romania"},
    {u"RU", u"Russian Federation"},
    {u"RW", u"Rwanda"},
    {u"KN", u"Saint Kitts and Nevis"},
    {u"LC", u"Saint Lucia"},
    {u"VC", u"Saint Vincent and the Grenadines"},
    {u"WS", u"Samoa"},
    {u"SM", u"San Marino"},
    {u"ST", u"Sao Tome and Principe"},
    {u"SA", u"Saudi Arabia"},
    {u"SN", u"Senegal"},
    {u"SC", u"Seychelles"},
    {u"SL", u"Sierra Leone"},
    {u"SG", u"Singapore"},
    {u"SK", u"Slovakia (Slovak Republic)"},
    {u"SI", u"Slovenia"},
    {u"SB", u"Solomon Islands"},
    {u"SO", u"Somalia"},
    {u"ZA", u"South Africa"},
    {u"GS", u"South Georgia and the South Sandwich Islands"},
    {u"ES", u"Spain"},
    {u"LK", u"Sri Lanka"},
    {u"SH", u"St. Helena"},
    {u"PM", u"St. Pierre and Miquelon"},
    {u"SD", u"Sudan"},
    {u"SR", u"Suriname"},
    {u"SJ", u"Svalbard and Jan Mayen Islands"},
    {u"SZ", u"Swaziland"},
    {u"SE", u"Sweden"},
    {u"CH", u"Switzerland"},
    {u"SY", u"Syrian Arab Republic"},
    {u"TW", u"Taiwan, Province of China"},
    {u"TJ", u"Tajikistan"},
    {u"TZ", u"Tanzania United Republic of"},
    {u"TH", u"Thailand"},
    {u"TG", u"Togo"},
    {u"TK", u"Tokelau"},
    {u"TO", u"Tonga"},
    {u"TT", u"Trinidad and Tobago"},
    {u"TN", u"Tunisia"},
    {u"TR", u"Turkey"},
    {u"TM", u"Turkmenistan"},
    {u"TC", u"Turks and Caicos Islands"},
    {u"TV", u"Tuvalu"},
    {u"UG", u"Uganda"},
    {u"UA", u"Ukraine"},
    {u"AE", u"United Arab Emirates"},
    {u"GB", u"United Kingdom"},
    {u"US", u"United States"},
    {u"UM", u"United States Minor Outlying Islands"},
    {u"UY", u"Uruguay"},
    {u"UZ", u"Uzbekistan"},
    {u"VU", u"Vanuatu"},
    {u"VE", u"Venezuela"},
    {u"VN", u"Viet Nam"},
    {u"VG", u"Virgin Islands (British)"},
    {u"VI", u"Virgin Islands (U.S.)"},
    {u"WF", u"Wallis and Futuna Islands"},
    {u"EH", u"Western Sahara"},
    {u"YE", u"Yemen"},
    {u"YU", u"Yugoslavia"},
    {u"ZM", u"Zambia"},
    {u"ZW", u"Zimbabwe"},
};
static_assert(std::size(kCountries) == 239);

const QString kGenderEntries[3] = {QStringLiteral("Unspecified"), QStringLiteral("Male"), QStringLiteral("Female")};

QString firstLetter(const QString &text)
{
    return text.left(1);
}

// The form's fixed picture: a person on a card, drawn rather than shipped.
QPixmap portrait(const QSize &size)
{
    const qreal ratio = qGuiApp ? qGuiApp->devicePixelRatio() : 1.0;
    QPixmap pixmap(size * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF card(0.5, 0.5, size.width() - 1.0, size.height() - 1.0);
    p.setPen(QPen(QColor(0x2f, 0x5d, 0x8a), 1.0));
    p.setBrush(QColor(0xdc, 0xe9, 0xf5));
    p.drawRoundedRect(card, 6, 6);
    const qreal cx = size.width() / 2.0;
    const qreal head = size.height() * 0.2;
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x2f, 0x5d, 0x8a));
    p.drawEllipse(QPointF(cx, size.height() * 0.36), head, head);
    QPainterPath shoulders;
    const qreal top = size.height() * 0.62;
    shoulders.moveTo(cx - size.width() * 0.3, size.height() - 1.0);
    shoulders.cubicTo(
        cx - size.width() * 0.3, top, cx + size.width() * 0.3, top, cx + size.width() * 0.3, size.height() - 1.0);
    shoulders.closeSubpath();
    p.drawPath(shoulders);
    return pixmap;
}

} // namespace

frmRegister::frmRegister(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmRegister"));
    setWindowTitle(QStringLiteral("Personalize Orvane"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
        | Qt::WindowCloseButtonHint);
    setModal(true);
    buildControls();
    guarded(QStringLiteral("frmRegister.Form_Load"), [this] { Form_Load(); });
    m_loading = false;
}

frmRegister::~frmRegister() = default;

const QList<frmRegister::Country> &frmRegister::CountryTable()
{
    static const QList<Country> table = [] {
        QList<Country> rows;
        rows.reserve(240);
        rows.append({QString(), QStringLiteral("Unspecified")});
        for (const CountryRow &row : kCountries)
            rows.append({QString::fromUtf16(row.code), QString::fromUtf16(row.name)});
        return rows;
    }();
    return table;
}

QString frmRegister::AgeRangeText(int32_t code)
{
    switch (code) {
    case 0: return QStringLiteral("Unspecified");
    case 10: return QStringLiteral("Under 14");
    case 20: return QStringLiteral("14 to 17");
    case 30: return QStringLiteral("18 to 20");
    case 40: return QStringLiteral("21 to 29");
    case 50: return QStringLiteral("30 to 39");
    case 60: return QStringLiteral("40 to 49");
    case 70: return QStringLiteral("50 to 59");
    case 80: return QStringLiteral("Over 60");
    default: return QString();
    }
}

QString frmRegister::RatingText(int32_t code)
{
    switch (code) {
    case 0: return QStringLiteral("Unspecified");
    case 10: return QStringLiteral("All content");
    case 20: return QStringLiteral("No adult content");
    default: return QString();
    }
}

void frmRegister::buildControls()
{
    using Twips::place;
    setFixedSize(Twips::widthToPixels(kClientWidthTwips), Twips::heightToPixels(kClientHeightTwips));

    Picture1 = new QLabel(this);
    Picture1->setObjectName(QStringLiteral("Picture1"));
    place(Picture1, {120, 120, 1215, 975});
    Picture1->setPixmap(portrait(Picture1->size()));

    lblDescription = new QLabel(this);
    lblDescription->setObjectName(QStringLiteral("lblDescription"));
    lblDescription->setFont(designFont());
    lblDescription->setWordWrap(true);
    lblDescription->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    place(lblDescription, {1440, 120, 3375, 735});

    auto combo = [this](const char *name, double top, double width) {
        auto *box = new QComboBox(this);
        box->setObjectName(QLatin1String(name));
        box->setEditable(false);
        box->setMaxVisibleItems(12);
        place(box, {1680, top, width, 315});
        return box;
    };
    lstAgeRange = combo("lstAgeRange", 1080, 1575);
    lstGender = combo("lstGender", 1560, 1575);
    txtPostalCode = new QLineEdit(this);
    txtPostalCode->setObjectName(QStringLiteral("txtPostalCode"));
    place(txtPostalCode, {1680, 2040, 1575, 315});
    lstCountry = combo("lstCountry", 2520, 3135);
    lstRating = combo("lstRating", 3000, 3135);

    // The Label2 array: captions right-aligned against x = 1575, buddies for the accessibility tree.
    const QString captions[5] = {QStringLiteral("Age:"), QStringLiteral("Gender:"), QStringLiteral("Postal Code:"),
        QStringLiteral("Country :"), QStringLiteral("Ad Restrictions:")};
    QWidget *const buddies[5] = {lstAgeRange, lstGender, txtPostalCode, lstCountry, lstRating};
    for (int i = 0; i < 5; ++i) {
        auto *label = new QLabel(captions[i], this);
        label->setObjectName(QStringLiteral("Label2_%1").arg(i));
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        label->setBuddy(buddies[i]);
        place(label, {120, 1080.0 + 480.0 * i, 1455, 315});
    }

    cmdOkay = new QPushButton(QStringLiteral("&OK"), this);
    cmdOkay->setObjectName(QStringLiteral("cmdOkay"));
    place(cmdOkay, {2760, 3480, 975, 300});
    cmdOkay->setDefault(true);
    cmdCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdCancel->setAutoDefault(false);
    place(cmdCancel, {3840, 3480, 975, 300});

    setTabOrder(lstAgeRange, lstGender);
    setTabOrder(lstGender, txtPostalCode);
    setTabOrder(txtPostalCode, lstCountry);
    setTabOrder(lstCountry, lstRating);
    setTabOrder(lstRating, cmdOkay);
    setTabOrder(cmdOkay, cmdCancel);
    lstAgeRange->setFocus();

    auto handle = [this](const char *source, void (frmRegister::*handler)()) {
        return [this, source, handler] { guarded(QLatin1String(source), [&] { (this->*handler)(); }); };
    };
    connect(lstAgeRange, &QComboBox::activated, this,
        handle("frmRegister.lstAgeRange_Click", &frmRegister::lstAgeRange_Click));
    connect(
        lstGender, &QComboBox::activated, this, handle("frmRegister.lstGender_Click", &frmRegister::lstGender_Click));
    connect(txtPostalCode, &QLineEdit::textChanged, this,
        handle("frmRegister.txtPostalCode_Change", &frmRegister::txtPostalCode_Change));
    connect(lstCountry, &QComboBox::activated, this,
        handle("frmRegister.lstCountry_Click", &frmRegister::lstCountry_Click));
    connect(
        lstRating, &QComboBox::activated, this, handle("frmRegister.lstRating_Click", &frmRegister::lstRating_Click));
    connect(cmdOkay, &QPushButton::clicked, this, handle("frmRegister.cmdOkay_Click", &frmRegister::cmdOkay_Click));
    connect(
        cmdCancel, &QPushButton::clicked, this, handle("frmRegister.cmdCancel_Click", &frmRegister::cmdCancel_Click));
}

void frmRegister::Form_Load()
{
    ErrorHandler handler(QStringLiteral("frmRegister.Form_Load"));
    m_loading = true;
    handler.step([this] {
        // Centred by its outer size, frame included, on the work area.
        const QSize outer = size().grownBy(WindowFrame::beforeShowing(this));
        const QRect area = WindowFrame::workArea();
        move(area.x() + (area.width() - outer.width()) / 2, area.y() + (area.height() - outer.height()) / 3);
    });
    handler.step([this] {
        lblDescription->setText(
            QStringLiteral("If you'd like, provide some information to narrow down the type of Ads we show you."));
    });
    handler.step([this] { LoadCountryTable(); });
    handler.step([this] { FillAgeRangeList(); });
    handler.step([this] { FillGenderList(); });
    handler.step([this] { FillCountryList(); });
    handler.step([this] { FillRatingList(); });
    handler.step([this] { m_user.Load(); });
    handler.step([this] {
        for (int i = 0; i < int(std::size(kAgeTable)); ++i) {
            if (kAgeTable[i] == m_user.AgeRange())
                lstAgeRange->setCurrentIndex(i);
        }
    });
    handler.step([this] {
        for (int i = 0; i < lstCountry->count(); ++i) {
            const int row = lstCountry->itemData(i).toInt();
            if (m_countries.value(row).code == m_user.CountryCode()) {
                lstCountry->setCurrentIndex(i);
                break;
            }
        }
    });
    handler.step([this] {
        for (int i = 0; i < 3 && i < lstGender->count(); ++i) {
            if (firstLetter(lstGender->itemText(i)) == m_user.Gender()) {
                lstGender->setCurrentIndex(i);
                break;
            }
        }
    });
    handler.step([this] { txtPostalCode->setText(m_user.PostalCode()); });
    handler.step([this] { SelectRating(m_user.Rating()); });
    m_loading = false;
}

void frmRegister::LoadCountryTable()
{
    m_countries = CountryTable();
}

void frmRegister::FillAgeRangeList()
{
    lstAgeRange->clear();
    for (int i = 0; i < int(std::size(kAgeTable)); ++i)
        lstAgeRange->addItem(AgeRangeText(kAgeTable[i]), i);
    lstAgeRange->setCurrentIndex(-1);
}

void frmRegister::FillGenderList()
{
    lstGender->clear();
    for (const QString &entry : kGenderEntries)
        lstGender->addItem(entry);
    lstGender->setCurrentIndex(0);
}

void frmRegister::FillCountryList()
{
    lstCountry->clear();
    int unspecified = -1;
    for (int i = 0; i < int(m_countries.size()); ++i) {
        lstCountry->addItem(m_countries[i].name, i);
        if (m_countries[i].code.isEmpty())
            unspecified = lstCountry->count() - 1;
    }
    lstCountry->setCurrentIndex(unspecified);
}

void frmRegister::FillRatingList()
{
    lstRating->clear();
    for (int32_t code : {0, 10, 20})
        lstRating->addItem(RatingText(code), code);
    lstRating->setCurrentIndex(0);
}

void frmRegister::SelectRating(int32_t code)
{
    for (int i = 0; i < lstRating->count(); ++i) {
        if (lstRating->itemData(i).toInt() == code) {
            lstRating->setCurrentIndex(i);
            return;
        }
    }
}

void frmRegister::lstAgeRange_Click()
{
    if (m_loading || lstAgeRange->currentIndex() < 0)
        return;
    const int row = lstAgeRange->currentData().toInt();
    if (row < 0 || row >= int(std::size(kAgeTable)))
        return;
    m_user.setAgeRange(kAgeTable[row]);
    // Under 18, and an unstated age, get no adult content and cannot ask for it.
    if (m_user.AgeRange() < 30) {
        m_user.setRating(AllAudiences);
        SelectRating(AllAudiences);
        lstRating->setEnabled(false);
    } else {
        lstRating->setEnabled(true);
    }
}

void frmRegister::lstGender_Click()
{
    if (m_loading || lstGender->currentIndex() < 0)
        return;
    const QString letter = firstLetter(lstGender->currentText());
    m_user.setGender(letter == u"M" || letter == u"F" ? letter : QString());
}

void frmRegister::txtPostalCode_Change()
{
    if (m_loading)
        return;
    m_user.setPostalCode(trimSpaces(txtPostalCode->text()));
}

void frmRegister::lstCountry_Click()
{
    if (m_loading || lstCountry->currentIndex() < 0)
        return;
    m_user.setCountryCode(m_countries.value(lstCountry->currentData().toInt()).code);
}

void frmRegister::lstRating_Click()
{
    if (m_loading || lstRating->currentIndex() < 0)
        return;
    m_user.setRating(lstRating->currentData().toInt());
}

void frmRegister::cmdOkay_Click()
{
    m_user.Save(true);
    accept();
}

void frmRegister::cmdCancel_Click()
{
    // Throws the form's changes away, yet stamps every field: the user has been asked.
    m_user.Load();
    m_user.Save(true);
    reject();
}

void frmRegister::keyPressEvent(QKeyEvent *event)
{
    // Escape presses Cancel (which saves); only the close box leaves without saving.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        if (cmdCancel->isEnabled())
            cmdCancel->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace orvane
