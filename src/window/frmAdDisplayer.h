#pragma once

#include <orvane/Orvane.h>

#include <QDateTime>
#include <QDialog>
#include <QLabel>
#include <QMargins>
#include <QPointer>
#include <QString>

#include <array>
#include <memory>

class QPushButton;
class QTimer;

namespace orvane {

class OVAdvertisement;
class OVCommercials;

// One ad box of the window: shows an ad's picture and reports clicks. Tag holds
// the AdGUID of the ad shown, or is empty.
class AdPictureBox : public QLabel
{
    Q_OBJECT

public:
    using QLabel::QLabel;
    QString Tag;

Q_SIGNALS:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
};

// The pop-up ad window: a group of ads in one of four layouts, another group
// on request, a transfer, the personalization form, click-through to the
// browser. Geometry is designed in twips.
class frmAdDisplayer : public QDialog
{
    Q_OBJECT

public:
    explicit frmAdDisplayer(QWidget *parent = nullptr);
    ~frmAdDisplayer() override;

    // The one open ad window of the process, or none.
    static frmAdDisplayer *AdWindowInstance();

    void setCommercials(std::shared_ptr<OVCommercials> commercials) { Commercials = std::move(commercials); }
    void setParentControl(Orvane *control) { Parent = control; }
    void setDescription(const QString &text);
    void setIcon(const QImage &icon);

    // Lays the window out, restores its position and arms the timer.
    void Form_Load();
    void DisplayNextAds();
    void Timer1_Timer();
    // The control disables the update button when a transfer starts.
    void disableUpdate();
    // Ends the window for good, past the Close lock: writes its position,
    // saves the catalogue and reports the close, once whatever ends it.
    void unload();

    // For tests and accessibility: the controls by their names.
    AdPictureBox *picAd(int index) const { return m_picAd[index]; }

    // The window's geometry in twips for a frame of the given pixels. Width and
    // Height are the outer size; the ad area and the buttons live in the inner
    // one. The outer height grows when the frame takes more than the layout
    // leaves for it, so that the buttons never reach into the ad area.
    struct Geometry
    {
        int adAreaLeft = 0;
        int adAreaTop = 0;
        double innerWidth = 0;
        double innerHeight = 0;
        double outerWidth = 0;
        double outerHeight = 0;
    };
    static Geometry designGeometry(const QMargins &frame);

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void reject() override;

private:
    void Form_Activate();
    void DisplayGroup();
    bool PutAdInPictureBox(const std::shared_ptr<OVAdvertisement> &pAd, AdPictureBox *pPicture);
    void picAd_Click(int index);
    void OpenInBrowser(const QString &url);
    void cmdRegister_Click();
    void Form_Unload();
    void placeBox(int index, double left, double top, double width, double height);
    // Sizes the window for its frame, puts the ad area and the buttons inside,
    // and moves the window, frame included, onto the work area.
    void layOut(const QMargins &frame);

    std::shared_ptr<OVCommercials> Commercials;
    QPointer<Orvane> Parent;
    int AdAreaLeft = 0;
    int AdAreaTop = 0;
    int AdAreaWidth = 0;
    int AdAreaHeight = 0;
    QDateTime LoadTime;
    QString LastFullAdGUID;
    int16_t PersonalizeOffered = 0;
    bool m_activated = false;
    bool m_unloaded = false;
    // The application quits or the session ends: the Close lock does not hold.
    bool m_ending = false;
    int m_left = 0; // twips, outer
    int m_top = 0;

    QLabel *picIcon;
    QLabel *lblDescription;
    std::array<AdPictureBox *, 4> m_picAd {};
    QPushButton *cmdMoreAds;
    QPushButton *cmdClose;
    QPushButton *cmdRegister;
    QPushButton *cmdUpdate;
    QTimer *Timer1;
};

} // namespace orvane
