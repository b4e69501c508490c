#include <orvane/Orvane.h>

#include "catalogue/OVAdvertisement.h"
#include "catalogue/OVCommercials.h"
#include "personalization/OVUser.h"
#include "personalization/frmRegister.h"
#include "platform/Shell.h"
#include "platform/WidgetMessageBoxes.h"
#include "support/OVRegistryHelpers.h"
#include "support/OVSimpleLog.h"
#include "window/frmAdDisplayer.h"

#include "TestData.h"
#include "TestDoubles.h"
#include "TestHome.h"

#include <QApplication>
#include <QMessageBox>
#include <QMetaMethod>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace orvane;
using namespace orvane::OVRegistryHelpers;

namespace {
struct RecordingShell : platform::Shell
{
    RecordingShell() { Shell::install(this); }
    ~RecordingShell() override { Shell::install(nullptr); }
    std::optional<platform::ShellCommand> findHtmlHandler() override
    {
        const platform::ShellCommand browser {QStringLiteral("/usr/bin/browser"), {QStringLiteral("%u")}};
        return registered ? std::optional(browser) : std::nullopt;
    }
    bool startDetached(const QString &program, const QStringList &arguments) override
    {
        started.append(QStringList {program} + arguments);
        return true;
    }
    bool registered = true;
    QList<QStringList> started;
};
} // namespace

class TestAdWindow : public QObject
{
    Q_OBJECT
    // Destroyed in reverse order: the catalogue before the home it was loaded from.
    struct Fixture
    {
        TestHome home;
        FakeClock clock {QDateTime(QDate(2026, 12, 6), QTime(10, 0))};
        FakeScreen screen {15.0};
    };
    std::unique_ptr<Fixture> m_f;
    std::shared_ptr<OVCommercials> m_catalogue;
    QString images() const { return m_f->home.path() + QStringLiteral("/images"); }

    std::shared_ptr<OVAdvertisement> addAd(int n, int size, const QString &url = QStringLiteral("https://e.com/x"))
    {
        QImage image(40, 20, QImage::Format_RGB32);
        image.fill(QColor::fromHsv(n * 30 % 360, 200, 200));
        image.save(images() + QStringLiteral("/ad%1.png").arg(n));
        auto ad = std::make_shared<OVAdvertisement>();
        ad->setAdGUID(testdata::guid(n));
        ad->setSize(size);
        ad->setImageFileName(QStringLiteral("sub\\dir/ad%1.png").arg(n));
        ad->setClickURL(url);
        ad->setExpirationDate(60000.0);
        ad->setRating(20);
        m_catalogue->AddAdvertisement(ad);
        return ad;
    }
    std::unique_ptr<frmAdDisplayer> openWindow(Orvane *control = nullptr)
    {
        auto window = std::make_unique<frmAdDisplayer>();
        window->setCommercials(m_catalogue);
        window->setParentControl(control);
        window->Form_Load();
        window->DisplayNextAds();
        window->show();
        return window;
    }
    void configure(Orvane &control)
    {
        control.ReadProperties(MemoryPropertyBag());
        control.setDataFolder(m_f->home.path());
        control.setImageFolder(images());
        control.setRemoteHost(QStringLiteral("h"));
        control.setRemotePort(QStringLiteral("1"));
    }

private Q_SLOTS:
    void init()
    {
        m_f = std::make_unique<Fixture>();
        OVUser().Save(true); // personalized: the window does not open the form over itself
        m_catalogue = std::make_shared<OVCommercials>();
        m_catalogue->LoadAdInfoFromLocalStorage(m_f->home.path(), images());
        QDir().mkpath(images());
    }
    void cleanup()
    {
        m_catalogue.reset();
        m_f.reset();
    }

    void layouts_data()
    {
        QTest::addColumn<QList<int>>("sizes"); // of the ads; a size 2 past the list repeats the first
        QTest::addColumn<int>("more"); // presses of cmdMoreAds
        QTest::addColumn<QList<QRect>>("boxes"); // visible boxes in pixels, relative to picAd0
        QTest::addColumn<int>("views");
        const QRect full {0, 0, 600, 280};
        QTest::newRow("empty catalogue") << QList<int>() << 0 << QList<QRect>() << 0;
        QTest::newRow("one Full ad") << QList<int>({2}) << 0 << QList<QRect>({full}) << 1;
        QTest::newRow("one quarter ad") << QList<int>({6}) << 0 << QList<QRect>({{0, 0, 300, 140}}) << 1;
        QTest::newRow("two half horizontal")
            << QList<int>({1, 1}) << 0 << QList<QRect>({{0, 0, 600, 140}, {0, 140, 600, 140}}) << 2;
        QTest::newRow("two half vertical")
            << QList<int>({3, 3}) << 0 << QList<QRect>({{0, 0, 300, 280}, {300, 0, 300, 280}}) << 2;
        // An abandoned try of layout 2 leaves its first ad shown, and counted.
        QTest::newRow("one half horizontal") << QList<int>({1}) << 0 << QList<QRect>({{0, 0, 600, 140}}) << 1;
        // Never the same Full ad twice in a row: a new one each time, or an empty area.
        QTest::newRow("three Full ads, twice more") << QList<int>({2, 2, 2}) << 2 << QList<QRect>({full}) << 3;
        QTest::newRow("one Full ad, once more") << QList<int>({2}) << 1 << QList<QRect>() << 1;
        QTest::newRow("32767 Full ads, twice more") << QList<int>(32767, 2) << 2 << QList<QRect>({full}) << 3;
    }

    void layouts()
    {
        QFETCH(QList<int>, sizes);
        QFETCH(int, more);
        QFETCH(QList<QRect>, boxes);
        for (int i = 0; i < std::min<qsizetype>(sizes.size(), 4); ++i)
            addAd(i + 1, sizes[i]);
        for (int i = 4; i < sizes.size(); ++i) {
            auto ad = std::make_shared<OVAdvertisement>(*m_catalogue->Ad(1)); // the largest catalogue stays cheap
            ad->setAdGUID(testdata::guid(i + 1));
            m_catalogue->AddAdvertisement(ad);
        }
        RecordingMessageBoxes warnings;
        OVSimpleLog::switches().VerboseWarnings = true;
        auto window = openWindow();
        for (int press = 0; press < more; ++press) {
            const QString previous = window->picAd(0)->Tag;
            QTest::mouseClick(window->findChild<QPushButton *>(QStringLiteral("cmdMoreAds")), Qt::LeftButton);
            QVERIFY(window->picAd(0)->Tag != previous);
        }
        QVERIFY(warnings.shown.isEmpty()); // not finding a group is no fault
        QList<QRect> shown;
        const QPoint origin = window->picAd(0)->pos();
        for (int i = 0; i < 4; ++i) {
            if (window->picAd(i)->isVisible())
                shown << QRect(window->picAd(i)->pos() - origin, window->picAd(i)->size());
        }
        QCOMPARE(shown, boxes);
        int views = 0;
        for (const auto &ad : m_catalogue->Ads())
            views += ad->ViewCount();
        QTEST(views, "views");
    }

    // The designed outer size until the frame takes more than half the ad area's top, then a taller window.
    void geometryForTheFrame_data()
    {
        QTest::addColumn<QMargins>("frame");
        QTest::addColumn<QList<double>>("expected"); // AdAreaLeft, inner height, outer height, in twips
        QTest::newRow("no frame") << QMargins() << QList<double>({90, 6008, 6008});
        QTest::newRow("29 pixels, just inside") << QMargins(1, 28, 1, 1) << QList<double>({75, 5543, 5978});
        QTest::newRow("30 pixels, just past") << QMargins(1, 29, 1, 1) << QList<double>({75, 5535, 5985});
        QTest::newRow("tall title bar") << QMargins(1, 40, 1, 1) << QList<double>({75, 5535, 6150});
    }
    void geometryForTheFrame()
    {
        QFETCH(QMargins, frame);
        QFETCH(QList<double>, expected);
        const frmAdDisplayer::Geometry g = frmAdDisplayer::designGeometry(frame);
        QCOMPARE(QList<double>({double(g.adAreaLeft), g.innerHeight, g.outerHeight}), expected);
        QVERIFY(g.innerHeight - 300 - g.adAreaLeft >= g.adAreaTop + 4200 + g.adAreaLeft); // buttons below the ads
    }

    // The stored position, in twips, is kept on the work area with the frame; the window writes where it ended.
    void positionIsClampedToTheScreen_data()
    {
        QTest::addColumn<QStringList>("stored"); // left and top, in twips
        QTest::addColumn<QPoint>("bottomRight"); // where the frame ends, in pixels; -1: the work area's edge
        QTest::newRow("negative") << QStringList {"-50", "-1"} << QPoint(612, 397);
        // Whole twips, halves to even: 112 twips are 7 pixels, 113 are 8; 127 are 8, 128 are 9.
        QTest::newRow("a half down to even") << QStringList {"112.5", "0"} << QPoint(619, 397);
        QTest::newRow("a half up to even") << QStringList {" 127.5 ", "150"} << QPoint(621, 407);
        QTest::newRow("not a number") << QStringList {"far", ""} << QPoint(612, 397);
        QTest::newRow("beyond 32 bits") << QStringList {"4294967396", "4294967396"} << QPoint(612, 397);
        QTest::newRow("past the right and bottom edges") << QStringList {"10000000", "10000000"} << QPoint(-1, -1);
    }

    void positionIsClampedToTheScreen()
    {
        QFETCH(QStringList, stored);
        QFETCH(QPoint, bottomRight);
        CreateSettingsKey(kPreferencesKey, HKEY_CURRENT_USER);
        WriteSettingsValue(HKEY_CURRENT_USER, kPreferencesKey, QStringLiteral("AdDisplayLeft"), stored[0], REG_SZ);
        WriteSettingsValue(HKEY_CURRENT_USER, kPreferencesKey, QStringLiteral("AdDisplayTop"), stored[1], REG_SZ);
        addAd(1, 2);
        auto window = openWindow();
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        const QRect outer = window->frameGeometry();
        QCOMPARE(outer.bottomRight() + QPoint(1, 1),
            QPoint(bottomRight.x() < 0 ? area.right() + 1 : bottomRight.x(),
                bottomRight.y() < 0 ? area.bottom() + 1 : bottomRight.y()));
        // The designed size is the outer one; the margin is the same inside the frame on every side.
        QCOMPARE(outer.size(), QSize(612, 397));
        QCOMPARE(window->picAd(0)->pos(), QPoint(4, 59)); // the ad area's left and top
        const QRect close = window->findChild<QPushButton *>(QStringLiteral("cmdClose"))->geometry();
        QCOMPARE(window->width() - close.right() - 1, window->picAd(0)->x());
        QCOMPARE(window->height() - close.bottom() - 1, window->picAd(0)->x());
        window->unload();
        for (const auto &[name, value] : {std::pair("AdDisplayLeft", outer.left()), {"AdDisplayTop", outer.top()}})
            QCOMPARE(ReadSettingsValue(HKEY_CURRENT_USER, kPreferencesKey, name).toInt(), value * 15);
    }

    // The Close lock counts clock-second boundaries from the load: locked up to three, free from four.
    void buttonsAfterATick_data()
    {
        QTest::addColumn<int>("loadedMs"); // after a whole second
        QTest::addColumn<int>("tickMs");
        QTest::addColumn<bool>("product");
        QTest::addColumn<bool>("closeEnabled");
        QTest::newRow("3.999 s, 3 boundaries") << 0 << 3999 << true << false;
        QTest::newRow("4 s, 4 boundaries") << 0 << 4000 << true << true;
        QTest::newRow("3 s, 3 boundaries") << 999 << 3999 << true << false;
        QTest::newRow("3.001 s, 4 boundaries") << 999 << 4000 << false << true;
    }
    void buttonsAfterATick()
    {
        QFETCH(int, loadedMs);
        QFETCH(int, tickMs);
        QFETCH(bool, product);
        const QDateTime second = m_f->clock.local;
        Orvane control;
        configure(control);
        control.setProductGUID(product ? testdata::guid(1) : QString());
        m_f->clock.local = second.addMSecs(loadedMs);
        auto window = openWindow(&control);
        auto *update = window->findChild<QPushButton *>(QStringLiteral("cmdUpdate"));
        QCOMPARE(update->isEnabled(), product);
        window->disableUpdate(); // as a transfer starts
        m_f->clock.local = second.addMSecs(tickMs);
        window->Timer1_Timer();
        QTEST(window->findChild<QPushButton *>(QStringLiteral("cmdClose"))->isEnabled(), "closeEnabled");
        QCOMPARE(update->isEnabled(), product);
    }

    // A record the window cannot place is named in a warning; the try gives up and the area stays empty.
    void placementWarnings_data()
    {
        QTest::addColumn<QStringList>("fileAndWarning"); // %1: the AdGUID, %2: the image folder
        QTest::newRow("no file name") << QStringList {" ", "Missing filename %1"};
        QTest::newRow("no such file") << QStringList {"gone.png", "Cannot find or load '%2/gone.png'"};
    }
    void placementWarnings()
    {
        QFETCH(QStringList, fileAndWarning);
        const QString warning = QString(fileAndWarning[1]).replace("%1", testdata::guid(1)).replace("%2", images());
        addAd(1, 2)->setImageFileName(fileAndWarning[0]);
        RecordingMessageBoxes warnings;
        OVSimpleLog::switches().VerboseWarnings = true;
        auto window = openWindow();
        QVERIFY(!window->picAd(0)->isVisible());
        QVERIFY(!warnings.shown.isEmpty());
        for (const auto &box : warnings.shown)
            QCOMPARE(box, qMakePair(warning, QStringLiteral("Warning")));
    }

    // The first activation of a window whose user has not personalized opens the form, once per window.
    void activationOffersTheFormOnce()
    {
        m_f->home.writeSettingsFile(QByteArray());
        int forms = 0;
        QTimer poll;
        connect(&poll, &QTimer::timeout, &poll, [&] {
            if (auto *form = qobject_cast<frmRegister *>(QApplication::activeModalWidget())) {
                ++forms;
                form->close(); // the close box: nothing saved, still not personalized
            }
        });
        poll.start(10);
        auto window = openWindow();
        QTRY_COMPARE(forms, 1);
        window->hide();
        window->show();
        auto other = openWindow(); // a new window offers it again
        QTRY_COMPARE(forms, 2);
    }

    // A message box shows its text and an OK button, nothing else.
    void messageBoxes()
    {
        QString seen; // icon, buttons, caption, text
        QTimer::singleShot(0, this, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            seen = QStringLiteral("%1 %2 %3 %4")
                       .arg(box->icon())
                       .arg(box->standardButtons())
                       .arg(box->windowTitle(), box->text());
            box->accept();
        });
        platform::WidgetMessageBoxes().show(QStringLiteral("Source\r\n9 Overflow"), QString());
        QCOMPARE(
            seen, QStringLiteral("%1 %2 Orvane Source\r\n9 Overflow").arg(QMessageBox::NoIcon).arg(QMessageBox::Ok));
    }

    void clickThrough_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("registered");
        QTest::addColumn<QString>("opened"); // empty: the browser is not started
        QTest::addColumn<int>("clicks"); // after two clicks
        const QString longUrl = QStringLiteral("https://example.com/") + QString(40, u'x');
        QTest::newRow("plain") << "https://example.com/a?b=1&c=2" << true << "https://example.com/a?b=1&c=2" << 2;
        QTest::newRow("no browser registered") << "https://example.com/" << false << "" << 2;
        QTest::newRow("without scheme") << "www.example.com" << true << "http://www.example.com" << 2;
        QTest::newRow("cut to 50 when stored") << longUrl << true << longUrl.left(50) << 2;
        QTest::newRow("refused address still counts") << "file:///etc/passwd" << true << "" << 2;
        QTest::newRow("empty address") << "" << true << "" << 0;
    }

    void clickThrough()
    {
        QFETCH(QString, url);
        QFETCH(bool, registered);
        QFETCH(QString, opened);
        QFETCH(int, clicks);
        RecordingShell shell;
        shell.registered = registered;
        const auto ad = addAd(1, 2, url);
        auto window = openWindow();
        QTest::mouseClick(window->picAd(0), Qt::LeftButton);
        QTest::mouseClick(window->picAd(0), Qt::LeftButton);
        QCOMPARE(ad->ClickCount(), int16_t(clicks));
        const QStringList browser {QStringLiteral("/usr/bin/browser"), opened};
        QCOMPARE(shell.started, opened.isEmpty() ? QList<QStringList>() : QList<QStringList>({browser, browser}));
        // A record removed since it was placed: nothing happens.
        m_catalogue->ClearAds();
        QTest::mouseClick(window->picAd(0), Qt::LeftButton);
        QCOMPARE(shell.started.size(), opened.isEmpty() ? 0 : 2);
    }

    void everyEndUnloadsOnce_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("locked"); // the end is refused during the first seconds
        QTest::newRow("close button") << "button" << true;
        QTest::newRow("close box") << "close" << true;
        QTest::newRow("Escape") << "escape" << true;
        QTest::newRow("Hide from another control") << "hide" << true;
        QTest::newRow("application quits") << "quit" << false;
        QTest::newRow("application exits") << "exit" << false;
        // Checkpoints of the session manager leave the window; the end of the session quits the application.
        QTest::newRow("session checkpoint, then quit") << "session" << false;
    }

    void everyEndUnloadsOnce()
    {
        QFETCH(QString, how);
        QFETCH(bool, locked);
        addAd(1, 2);
        QVERIFY(m_catalogue->SaveAdInfoToLocalStorage());
        Orvane control;
        configure(control);
        QSignalSpy closed(&control, &Orvane::AdWindowClosed);
        Orvane second; // never shows a window itself: not modal to it
        second.ReadProperties(MemoryPropertyBag());
        auto end = [&](frmAdDisplayer *window) {
            if (how == "button")
                QTest::mouseClick(window->findChild<QPushButton *>(QStringLiteral("cmdClose")), Qt::LeftButton);
            else if (how == "close")
                window->close();
            else if (how == "escape")
                QTest::keyClick(window, Qt::Key_Escape);
            else if (how == "hide")
                QCOMPARE(int(second.Hide()), 0);
            else if (how == "quit")
                QCoreApplication::quit();
            else if (how == "exit")
                QCoreApplication::exit(0);
            else {
                for (auto request : {&QGuiApplication::commitDataRequest, &QGuiApplication::saveStateRequest})
                    QMetaMethod::fromSignal(request).invoke(
                        qApp, Qt::DirectConnection, QGenericArgument("QSessionManager&", this));
                QCOMPARE(frmAdDisplayer::AdWindowInstance(), window);
                QCoreApplication::quit();
            }
        };
        short shown = -2;
        QTimer::singleShot(0, this, [&] {
            QTimer::singleShot(50, this, [&] {
                frmAdDisplayer *window = frmAdDisplayer::AdWindowInstance();
                QVERIFY(window);
                // A second control sees the window as shown; the window follows its control's text.
                QCOMPARE(int(second.Show()), 801);
                QCOMPARE(int(second.ShowPersonalizationForm()), 801);
                control.setText(QStringLiteral("New text"));
                QCOMPARE(window->findChild<QLabel *>(QStringLiteral("lblDescription"))->text(), "New text");
                QCOMPARE(window->windowTitle(), QStringLiteral("New text"));
                if (locked) {
                    m_f->clock.local = m_f->clock.local.addMSecs(2500);
                    window->Timer1_Timer();
                    end(window);
                    QCOMPARE(frmAdDisplayer::AdWindowInstance(), window);
                    m_f->clock.local = m_f->clock.local.addMSecs(2000); // 4.5 s after loading
                    window->Timer1_Timer();
                }
                end(window);
            });
            shown = control.Show();
            QCoreApplication::quit();
        });
        QCoreApplication::exec();
        QCOMPARE(shown, short(0));
        QCOMPARE(closed.size(), 1);
        QCOMPARE(int(control.Hide()), -1); // a window shown modally is not hidden by its own control
        QCOMPARE(int(control.LastError()), -1);
        QVERIFY(!frmAdDisplayer::AdWindowInstance());
        QVERIFY(ReadSettingsValue(HKEY_CURRENT_USER, kPreferencesKey, QStringLiteral("AdDisplayLeft")).isValid());
        OVCommercials saved;
        saved.LoadAdInfoFromLocalStorage(m_f->home.path(), images());
        QVERIFY(saved.GetAdByGUID(testdata::guid(1)));
        QCOMPARE(saved.GetAdByGUID(testdata::guid(1))->ViewCount(), int16_t(1));
    }

    void demographicsPassThrough()
    {
        m_f->home.writeSettingsFile(QByteArray()); // not personalized yet
        Orvane a; // disabled: its windows are refused, its demographics pass
        QCOMPARE(int(a.Show()), 102);
        QCOMPARE(int(a.ShowPersonalizationForm()), 102);
        Orvane b;
        configure(b);
        a.setAgeRange(30);
        a.setGender(QStringLiteral(" F "));
        a.setCountryCode(QStringLiteral("DE"));
        QCOMPARE(int(b.AgeRange()), 30);
        QCOMPARE(b.Gender(), QStringLiteral("F"));
        QCOMPARE(b.CountryCode(), QStringLiteral("DE"));
        QVERIFY(!b.Personalized());
        a.setPostalCode(QStringLiteral("10115"));
        a.setRating(20);
        QVERIFY(b.Personalized());
        QCOMPARE(int(b.Show(2)), 802);
        QCOMPARE(int(b.LastError()), 802);
        QCOMPARE(int(b.Hide()), 0);
        // The form that closes normally sets LastError back to 0.
        QTimer::singleShot(100, this, [] { QApplication::activeModalWidget()->close(); });
        QCOMPARE(int(b.ShowPersonalizationForm()), 0);
        QCOMPARE(int(b.LastError()), 0);
        // A stored number beyond 16 bits is a fault of the get, never wrapped.
        RecordingMessageBoxes boxes;
        OVSimpleLog::switches().VerboseErrors = true;
        WriteSettingsValue(HKEY_CURRENT_USER, kDemographicsKey, QStringLiteral("Rating"), 65556, REG_SZ);
        QCOMPARE(int(b.Rating()), 0);
        QCOMPARE(boxes.shown.size(), 1);
        QVERIFY(boxes.shown[0].first.startsWith(QStringLiteral("OVSocketClientGetRating\r\n6 ")));
        // A value beyond 16 bits, by name or not, is an overflow of the let: nothing is stored, nothing wraps.
        a.setAgeRange(70000);
        QVERIFY(a.setProperty("AgeRange", -32769));
        QVERIFY(a.setProperty("Rating", 32768));
        QCOMPARE(boxes.shown.size(), 4);
        QVERIFY(boxes.shown[3].first.startsWith(QStringLiteral("OVSocketClientSetRating\r\n6 ")));
        QVERIFY(a.setProperty("AgeRange", -32768));
        QCOMPARE(a.property("AgeRange"), QVariant(-32768));
        QCOMPARE(ReadSettingsValue(HKEY_CURRENT_USER, kDemographicsKey, QStringLiteral("Rating")).toString(), "65556");
        // So does orvane user, with a usage error, before it stores anything.
        for (const QStringList &args : {QStringList {"--age-range", "70000"}, {"--age-range", "4", "--rating", "65556"},
                 {"--rating", "ten"}, {"--age-range", "40", "--rating", "32767"}}) {
            QProcess cli;
            cli.start(QStringLiteral(ORVANE_CLI), QStringList {QStringLiteral("user")} + args);
            QVERIFY(cli.waitForFinished(30000));
            QCOMPARE(cli.exitCode(), args.size() == 4 && args[1] == "40" ? 0 : 2);
            QCOMPARE(int(b.AgeRange()), cli.exitCode() == 0 ? 40 : -32768);
        }
    }
};

QTEST_MAIN(TestAdWindow)
#include "test_adwindow.moc"
