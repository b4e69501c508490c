#pragma once

#include "personalization/OVUser.h"

#include <QDialog>
#include <QList>
#include <QString>

#include <cstdint>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace orvane {

// The personalization form: the user states age range, gender, postal code,
// country and the content rating wanted. It works on its own OVUser, loaded
// when the form opens and saved by either button; closing it any other way
// saves nothing.
class frmRegister : public QDialog
{
    Q_OBJECT

public:
    struct Country
    {
        QString code;
        QString name;
    };

    explicit frmRegister(QWidget *parent = nullptr);
    ~frmRegister() override;

    // The form's own record, as the lists have changed it so far.
    const OVUser &user() const { return m_user; }

    // Entry 0 is (empty code, "Unspecified"), then 239 countries by name.
    static const QList<Country> &CountryTable();
    static QString AgeRangeText(int32_t code);
    static QString RatingText(int32_t code);

    static constexpr int kClientWidthTwips = 4920;
    static constexpr int kClientHeightTwips = 3900;
    static constexpr int kAgeTable[9] = {0, 10, 20, 30, 40, 50, 60, 70, 80};

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void buildControls();
    void Form_Load();
    void LoadCountryTable();
    void FillAgeRangeList();
    void FillGenderList();
    void FillCountryList();
    void FillRatingList();
    void SelectRating(int32_t code);

    void lstAgeRange_Click();
    void lstGender_Click();
    void txtPostalCode_Change();
    void lstCountry_Click();
    void lstRating_Click();
    void cmdOkay_Click();
    void cmdCancel_Click();

    OVUser m_user;
    bool m_loading = false;
    QList<Country> m_countries;

    QLabel *Picture1 = nullptr;
    QLabel *lblDescription = nullptr;
    QComboBox *lstAgeRange = nullptr;
    QComboBox *lstGender = nullptr;
    QLineEdit *txtPostalCode = nullptr;
    QComboBox *lstCountry = nullptr;
    QComboBox *lstRating = nullptr;
    QPushButton *cmdOkay = nullptr;
    QPushButton *cmdCancel = nullptr;
};

} // namespace orvane
