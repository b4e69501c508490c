#include "window/frmAdDisplayer.h"

#include "catalogue/OVAdSize.h"
#include "catalogue/OVAdvertisement.h"
#include "catalogue/OVCommercials.h"
#include "personalization/OVUser.h"
#include "personalization/frmRegister.h"
#include "platform/Clock.h"
#include "platform/RandomSource.h"
#include "platform/Screen.h"
#include "platform/Shell.h"
#include "support/ErrorHandler.h"
#include "support/OVHelperFunctions.h"
#include "support/OVRegistryHelpers.h"
#include "support/OVSimpleLog.h"
#include "support/TrimSpaces.h"
#include "support/WholeNumber.h"
#include "ui/DesignFont.h"
#include "ui/Twips.h"
#include "ui/WindowFrame.h"

#include <orvane/Orvane.h>

#include <QCloseEvent>
#include <QCoreApplication>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>
#include <QUrl>

#include <cmath>

namespace orvane {

using namespace OVRegistryHelpers;
using namespace Qt::StringLiterals;

namespace {
QPointer<frmAdDisplayer> g_instance;

constexpr int kIconTop = 120;
constexpr int kIconSize = 615;
constexpr int kButtonHeight = 300;
constexpr int kWideButton = 1695;
constexpr int kCloseButton = 975;

// Load and unload ignore their faults without a word.
template <typename F>
void ignoringFaults(F &&f) noexcept
{
    try {
        f();
    } catch (...) {
    }
}
} // namespace

void AdPictureBox::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        Q_EMIT clicked();
    QLabel::mouseReleaseEvent(event);
}

frmAdDisplayer::frmAdDisplayer(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
    , picIcon(new QLabel(this))
    , lblDescription(new QLabel(this))
    , cmdMoreAds(new QPushButton(tr("Another &Ad, please"), this))
    , cmdClose(new QPushButton(tr("&Close"), this))
    , cmdRegister(new QPushButton(tr("&Personalize..."), this))
    , cmdUpdate(new QPushButton(tr("&Update!"), this))
    , Timer1(new QTimer(this))
{
    setObjectName(QStringLiteral("frmAdDisplayer"));
    setFont(designFont());
    picIcon->setObjectName(QStringLiteral("picIcon"));
    picIcon->setScaledContents(true);
    lblDescription->setObjectName(QStringLiteral("lblDescription"));
    lblDescription->setWordWrap(true);
    Twips::place(picIcon, {kIconTop, kIconTop, kIconSize, kIconSize});
    Twips::place(lblDescription, {840, 120, 8175, 615});
    for (int i = 0; i < 4; ++i) {
        m_picAd[i] = new AdPictureBox(this);
        m_picAd[i]->setObjectName(QStringLiteral("picAd%1").arg(i));
        // The picture at its own size from the box's top left corner, as the
        // box is sized for its ad: never stretched.
        m_picAd[i]->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        m_picAd[i]->hide();
        connect(m_picAd[i], &AdPictureBox::clicked, this, [this, i] { picAd_Click(i); });
    }
    const struct
    {
        QPushButton *button;
        const char *name;
        QString tip;
    } buttons[] = {
        {cmdMoreAds, "cmdMoreAds", tr("Show a different set of ads")},
        {cmdClose, "cmdClose", tr("Close")},
        {cmdRegister, "cmdRegister", tr("Enter your personal information")},
        {cmdUpdate, "cmdUpdate", tr("Get the latest ads from the Internet ")},
    };
    for (const auto &b : buttons) {
        b.button->setObjectName(QString::fromLatin1(b.name));
        b.button->setToolTip(b.tip);
        b.button->setAutoDefault(false);
    }
    cmdClose->setDefault(true);
    setTabOrder(cmdMoreAds, cmdClose);
    setTabOrder(cmdClose, cmdRegister);
    setTabOrder(cmdRegister, cmdUpdate);
    connect(cmdMoreAds, &QPushButton::clicked, this, &frmAdDisplayer::DisplayNextAds);
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::close);
    connect(cmdRegister, &QPushButton::clicked, this, &frmAdDisplayer::cmdRegister_Click);
    connect(cmdUpdate, &QPushButton::clicked, this, [this] {
        if (Parent)
            Parent->StartTransfer();
    });
    connect(Timer1, &QTimer::timeout, this, &frmAdDisplayer::Timer1_Timer);
    // The application quitting (also at the end of the session) unloads the
    // window whatever the Close lock says. The session manager's commit and
    // save requests are left alone: they also come at checkpoints and at
    // logouts that are cancelled later.
    if (QCoreApplication *app = QCoreApplication::instance()) {
        app->installEventFilter(this);
        connect(app, &QCoreApplication::aboutToQuit, this, &frmAdDisplayer::unload);
    }
    g_instance = this;
}

frmAdDisplayer::~frmAdDisplayer()
{
    if (!m_unloaded && LoadTime.isValid())
        Form_Unload();
    if (g_instance == this)
        g_instance = nullptr;
}

bool frmAdDisplayer::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == QCoreApplication::instance() && event->type() == QEvent::Quit)
        m_ending = true;
    return QDialog::eventFilter(watched, event);
}

void frmAdDisplayer::unload()
{
    m_ending = true;
    Form_Unload();
    if (isVisible())
        QDialog::done(QDialog::Rejected); // ends the modal loop too
}

frmAdDisplayer *frmAdDisplayer::AdWindowInstance()
{
    return g_instance;
}

void frmAdDisplayer::setDescription(const QString &text)
{
    lblDescription->setText(text);
}

void frmAdDisplayer::setIcon(const QImage &icon)
{
    picIcon->setPixmap(QPixmap::fromImage(icon));
}

void frmAdDisplayer::disableUpdate()
{
    cmdUpdate->setEnabled(false);
}

void frmAdDisplayer::Form_Load()
{
    ignoringFaults([&] {
        m_left = std::max(toWholeNumber(ReadSettingsValue(HKEY_CURRENT_USER, kPreferencesKey, u"AdDisplayLeft"_s)), 0);
    });
    ignoringFaults([&] {
        m_top = std::max(toWholeNumber(ReadSettingsValue(HKEY_CURRENT_USER, kPreferencesKey, u"AdDisplayTop"_s)), 0);
    });
    layOut(WindowFrame::beforeShowing(this));
    cmdClose->setEnabled(false);
    cmdUpdate->setEnabled(Parent && !Parent->ProductGUID().isEmpty() && !Parent->RemoteHost().isEmpty()
        && !Parent->RemotePort().isEmpty() && !Parent->TransferInProgress());
    LoadTime = platform::Clock::instance().localNow();
    Timer1->start(500);
    platform::Shell::instance().prepare();
}

frmAdDisplayer::Geometry frmAdDisplayer::designGeometry(const QMargins &frame)
{
    const platform::Screen &screen = platform::Screen::instance();
    const double frameWidth = (frame.left() + frame.right()) * screen.twipsPerPixelX();
    const double frameHeight = (frame.top() + frame.bottom()) * screen.twipsPerPixelY();
    Geometry g;
    g.outerWidth = std::lround(AdSizeWidth(2) * 1.02);
    g.innerWidth = g.outerWidth - frameWidth;
    g.adAreaLeft = int(std::lround((g.innerWidth - AdSizeWidth(2)) / 2.0));
    g.adAreaTop = int(std::lround(kIconTop + kIconSize + 10 * screen.twipsPerPixelY()));
    const double designed = std::lround(1.5 * g.adAreaTop + AdSizeHeight(2) + kButtonHeight + 2 * g.adAreaLeft);
    // Inside: the ad area, a margin, the buttons and a margin. The designed
    // height leaves half the ad area's top for the frame; a taller frame adds
    // to the outer height instead of cutting into the inside.
    const double needed = g.adAreaTop + AdSizeHeight(2) + g.adAreaLeft + kButtonHeight + g.adAreaLeft;
    g.innerHeight = std::max(designed - frameHeight, needed);
    g.outerHeight = g.innerHeight + frameHeight;
    return g;
}

void frmAdDisplayer::layOut(const QMargins &frame)
{
    const Geometry g = designGeometry(frame);
    AdAreaWidth = AdSizeWidth(2);
    AdAreaHeight = AdSizeHeight(2);
    AdAreaLeft = g.adAreaLeft;
    AdAreaTop = g.adAreaTop;
    setFixedSize(Twips::widthToPixels(g.innerWidth), Twips::heightToPixels(g.innerHeight));

    const double closeLeft = g.innerWidth - kCloseButton - AdAreaLeft;
    const double buttonTop = g.innerHeight - kButtonHeight - AdAreaLeft;
    const double updateLeft = closeLeft - kWideButton - AdAreaLeft;
    const double registerLeft = updateLeft - kWideButton - AdAreaLeft;
    const double moreLeft = registerLeft - kWideButton - AdAreaLeft;
    Twips::place(cmdClose, {closeLeft, buttonTop, kCloseButton, kButtonHeight});
    Twips::place(cmdUpdate, {updateLeft, buttonTop, kWideButton, kButtonHeight});
    Twips::place(cmdRegister, {registerLeft, buttonTop, kWideButton, kButtonHeight});
    Twips::place(cmdMoreAds, {moreLeft, buttonTop, kWideButton, kButtonHeight});
    m_picAd[0]->move(Twips::widthToPixels(AdAreaLeft), m_picAd[0]->y());

    // The whole window, frame included, on the work area, which need not start
    // at (0, 0): pulled back from its right and bottom edges, then from its
    // left and top ones, so that a window larger than the area shows its title.
    QPoint position = Twips::pointToPixels(m_left, m_top);
    const QSize outer = size().grownBy(frame);
    if (const QRect area = WindowFrame::workArea(); !area.isEmpty()) {
        position.setY(std::max(std::min(position.y(), area.y() + area.height() - outer.height()), area.y()));
        position.setX(std::max(std::min(position.x(), area.x() + area.width() - outer.width()), area.x()));
    }
    move(position);
}

void frmAdDisplayer::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!m_activated) {
        m_activated = true;
        QTimer::singleShot(0, this, &frmAdDisplayer::Form_Activate);
    }
}

void frmAdDisplayer::Form_Activate()
{
    ErrorHandler handler(QStringLiteral("frmAdDisplayer.Activate"));
    if (PersonalizeOffered >= 1)
        return;
    bool personalized = true;
    handler.step([&] { personalized = OVUser().Personalized(); });
    if (!personalized)
        handler.step([&] { cmdRegister_Click(); });
}

void frmAdDisplayer::cmdRegister_Click()
{
    frmRegister form(this);
    form.exec();
    ++PersonalizeOffered;
}

void frmAdDisplayer::DisplayNextAds()
{
    for (AdPictureBox *box : m_picAd) {
        box->hide();
        box->Tag.clear();
    }
    if (Commercials) {
        for (const auto &ad : Commercials->Ads())
            ad->setVisible(false);
    }
    DisplayGroup();
}

void frmAdDisplayer::placeBox(int index, double left, double top, double width, double height)
{
    Twips::place(m_picAd[index], {left, top, width, height});
}

void frmAdDisplayer::DisplayGroup()
{
    guarded(QStringLiteral("frmAdDisplayer.DisplayGroup"), [&] {
        if (!Commercials)
            raiseFault(FaultObjectNotSet);
        platform::RandomSource &random = platform::RandomSource::instance();
        random.reseedFromClock();
        OVCommercials &ads = *Commercials;
        // The user's rating as stored now; a store that cannot be read leaves
        // the rating unspecified (all-audience ads only).
        OVUser user;
        ErrorHandler(QStringLiteral("frmAdDisplayer.DisplayGroup")).step([&] { user.Load(); });
        const int32_t rating = user.Rating();
        bool done = false;
        for (int tries = 0; !done && tries < 1000; ++tries) {
            const int layout = int(4 * random.next() + 1);
            if (layout == 1) {
                const auto ad = ads.GetUnusedRandomAd(2, false, rating);
                if (!ad || ad->AdGUID() == LastFullAdGUID || !PutAdInPictureBox(ad, m_picAd[0]))
                    continue;
                LastFullAdGUID = ad->AdGUID();
                placeBox(0, AdAreaLeft, AdAreaTop, AdSizeWidth(2), AdSizeHeight(2));
                done = true;
            } else if (layout == 2 || layout == 3) {
                const int size = layout == 2 ? 1 : 3;
                const int w = AdSizeWidth(size);
                const int h = AdSizeHeight(size);
                const auto first = ads.GetUnusedRandomAd(size, false, rating);
                if (!first || !PutAdInPictureBox(first, m_picAd[0]))
                    continue;
                placeBox(0, AdAreaLeft, AdAreaTop, w, h);
                const auto second = ads.GetUnusedRandomAd(size, false, rating);
                if (!second || !PutAdInPictureBox(second, m_picAd[1]))
                    continue;
                if (layout == 2)
                    placeBox(1, AdAreaLeft, AdAreaTop + h, w, h);
                else
                    placeBox(1, AdAreaLeft + w, AdAreaTop, w, h);
                done = true;
            } else {
                bool placed = false;
                for (int k = 0; k < 4; ++k) {
                    const auto ad = ads.GetUnusedRandomAd(6, false, rating);
                    if (!ad)
                        continue;
                    ad->setVisible(true);
                    if (PutAdInPictureBox(ad, m_picAd[k]))
                        placed = true;
                }
                if (!placed)
                    continue;
                const int w = AdSizeWidth(6);
                const int h = AdSizeHeight(6);
                placeBox(0, AdAreaLeft, AdAreaTop, w, h);
                placeBox(1, AdAreaLeft + w, AdAreaTop, w, h);
                placeBox(2, AdAreaLeft, AdAreaTop + h, w, h);
                placeBox(3, AdAreaLeft + w, AdAreaTop + h, w, h);
                done = true;
            }
        }
    });
}

bool frmAdDisplayer::PutAdInPictureBox(const std::shared_ptr<OVAdvertisement> &pAd, AdPictureBox *pPicture)
{
    bool result = false;
    guarded(QStringLiteral("frmAdDisplayer.PutAdInPictureBox"), [&] {
        if (!pAd || !pPicture) {
            OVSimpleLog::LogWarning(QStringLiteral("pAd or pPicture invalid"));
            return;
        }
        const QString name = OVHelperFunctions::FileNameFromPath(trimSpaces(pAd->ImageFileName()));
        if (name.isEmpty()) {
            OVSimpleLog::LogWarning(QStringLiteral("Missing filename ") + pAd->AdGUID());
            return;
        }
        const QString path = Commercials->ImageFolder() + u'/' + name;
        QPixmap picture;
        if (!picture.load(path)) {
            // The box stays empty; the failure is logged and the group goes on.
            OVSimpleLog::LogWarning(QStringLiteral("Cannot find or load '") + path + u'\'');
            return;
        }
        pPicture->setPixmap(picture);
        pPicture->show();
        pPicture->Tag = pAd->AdGUID();
        pPicture->resize(
            Twips::widthToPixels(AdSizeWidth(pAd->Size())), Twips::heightToPixels(AdSizeHeight(pAd->Size())));
        pPicture->setCursor(pAd->ClickURL().isEmpty() ? Qt::ArrowCursor : Qt::PointingHandCursor);
        pAd->setVisible(true);
        pAd->IncrementViewCount(1);
        result = true;
    });
    return result;
}

void frmAdDisplayer::picAd_Click(int index)
{
    guarded(QStringLiteral("frmAdDisplayer.picAd_Click"), [&] {
        if (!Commercials)
            return;
        const auto ad = Commercials->GetAdByGUID(m_picAd[index]->Tag);
        if (!ad || ad->ClickURL().isEmpty())
            return;
        OpenInBrowser(ad->ClickURL());
        ad->IncrementClickCount(1);
    });
}

void frmAdDisplayer::OpenInBrowser(const QString &url)
{
    const std::optional<QString> address = platform::browserAddress(url);
    if (!address) {
        OVSimpleLog::LogWarning(QStringLiteral("Address not opened: ") + url);
        return;
    }
    // Without a registered browser nothing starts; the click counts anyway.
    platform::Shell::instance().openInBrowser(*address);
}

void frmAdDisplayer::Timer1_Timer()
{
    const qint64 now = platform::Clock::instance().localNow().toSecsSinceEpoch();
    if (now - LoadTime.toSecsSinceEpoch() > 3)
        cmdClose->setEnabled(true);
    if (!cmdUpdate->isEnabled() && Parent && !Parent->TransferInProgress() && !Parent->RemoteHost().isEmpty()
        && !Parent->RemotePort().isEmpty() && !Parent->ProductGUID().isEmpty())
        cmdUpdate->setEnabled(true);
}

void frmAdDisplayer::reject()
{
    // Escape presses Close, which is locked for the first seconds.
    if (cmdClose->isEnabled())
        close();
}

void frmAdDisplayer::closeEvent(QCloseEvent *event)
{
    // The lock holds against the user and the host, not against the end of
    // the application or the session.
    if (!cmdClose->isEnabled() && !m_ending) {
        event->ignore();
        return;
    }
    Form_Unload();
    event->accept();
    QDialog::done(QDialog::Rejected);
}

void frmAdDisplayer::Form_Unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    Timer1->stop();
    ignoringFaults([&] {
        CreateSettingsKey(kPreferencesKey, HKEY_CURRENT_USER);
        WriteSettingsValue(
            HKEY_CURRENT_USER, kPreferencesKey, u"AdDisplayLeft"_s, int(std::lround(Twips::xFromPixels(x()))), REG_SZ);
        WriteSettingsValue(
            HKEY_CURRENT_USER, kPreferencesKey, u"AdDisplayTop"_s, int(std::lround(Twips::yFromPixels(y()))), REG_SZ);
    });
    ignoringFaults([&] {
        if (Commercials)
            Commercials->SaveAdInfoToLocalStorage();
    });
    Commercials.reset();
    if (g_instance == this)
        g_instance = nullptr;
    const QPointer<Orvane> parent = Parent;
    Parent = nullptr;
    if (parent)
        Q_EMIT parent->AdWindowClosed();
}

} // namespace orvane
