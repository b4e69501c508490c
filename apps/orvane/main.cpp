// orvane: a command-line host that embeds the control as an application would,
// with its property bag kept in a profile file.
#include <orvane/Orvane.h>
#include <orvane/PropertyBag.h>

#include "catalogue/OVAdvertisement.h"
#include "catalogue/OVCommercials.h"
#include "personalization/OVUser.h"
#include "support/OleDate.h"

#include <QApplication>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>
#include <QWidget>

#include <cstdio>

using namespace orvane;

namespace {

const char *kUsage = "usage: orvane [--profile FILE] COMMAND [options]\n"
                     "commands:\n"
                     "  configure --host H --port P --product GUID [--images DIR] [--data DIR]\n"
                     "  transfer [--timeout SECONDS]\n"
                     "  ads [--json]\n"
                     "  user [--age-range N] [--gender M|F] [--postal-code TEXT] [--country CODE] [--rating N]\n"
                     "  show [--screenshot FILE]   the ad window; with a file, saves a picture of it and closes it\n"
                     "  personalize                the personalization form\n"
                     "The profile defaults to $XDG_CONFIG_HOME/Orvane/host.ini.\n";

int usage(const QString &why)
{
    std::fprintf(stderr, "orvane: %s\n%s", qPrintable(why), kUsage);
    return 2;
}

struct Flags
{
    QHash<QString, QString> values;
    QString error;
};

Flags parse(const QStringList &args, const QStringList &valued, const QStringList &bare)
{
    Flags f;
    for (int i = 0; i < args.size(); ++i) {
        if (bare.contains(args[i]))
            f.values.insert(args[i], QStringLiteral("1"));
        else if (valued.contains(args[i]) && i + 1 < args.size()) {
            f.values.insert(args[i], args[i + 1]);
            ++i;
        } else
            f.error = valued.contains(args[i]) ? args[i] + QStringLiteral(" needs a value")
                                               : QStringLiteral("unknown option ") + args[i];
        if (!f.error.isEmpty())
            break;
    }
    return f;
}

QString dataHome()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Orvane");
}

int configure(IniPropertyBag &bag, const QStringList &args)
{
    const Flags f = parse(args, {"--host", "--port", "--product", "--images", "--data"}, {"--help"});
    if (!f.error.isEmpty())
        return usage(f.error);
    if (f.values.contains(QStringLiteral("--help"))) {
        std::printf("%s", kUsage);
        return 0;
    }
    for (const char *required : {"--host", "--port", "--product"}) {
        if (!f.values.contains(QString::fromLatin1(required)))
            return usage(QStringLiteral("configure needs ") + QString::fromLatin1(required));
    }
    const QString images = f.values.value(QStringLiteral("--images"), dataHome() + QStringLiteral("/images"));
    const QString data = f.values.value(QStringLiteral("--data"), dataHome());
    QDir().mkpath(images);
    QDir().mkpath(data);
    Orvane control;
    control.ReadProperties(bag);
    control.setRemoteHost(f.values.value(QStringLiteral("--host")));
    control.setRemotePort(f.values.value(QStringLiteral("--port")));
    control.setProductGUID(f.values.value(QStringLiteral("--product")));
    control.setImageFolder(QDir(images).absolutePath());
    control.setDataFolder(QDir(data).absolutePath());
    control.WriteProperties(bag);
    std::printf("configured %s\n", qPrintable(bag.fileName()));
    return 0;
}

int transfer(IniPropertyBag &bag, const QStringList &args)
{
    const Flags f = parse(args, {"--timeout"}, {"--help"});
    if (!f.error.isEmpty())
        return usage(f.error);
    if (f.values.contains(QStringLiteral("--timeout"))) {
        bool ok = false;
        const int seconds = f.values.value(QStringLiteral("--timeout")).toInt(&ok);
        if (!ok || seconds <= 0)
            return usage(QStringLiteral("--timeout wants a positive number of seconds"));
        // The control reads its time-out from the user's preferences.
        QSettings settings(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
                + QStringLiteral("/Quintrel/Orvane.ini"),
            QSettings::IniFormat);
        settings.setValue(QStringLiteral("Preferences/TransferTimeoutSeconds"), QString::number(seconds));
    }
    Orvane control;
    control.ReadProperties(bag);
    bool success = false;
    QObject::connect(&control, &Orvane::ProgressMessage, [](const QString &m) {
        std::printf("%s\n", qPrintable(m));
        std::fflush(stdout);
    });
    QObject::connect(&control, &Orvane::TransferComplete, [&](bool s) { success = s; });
    const short result = control.Transfer();
    if (result != 0 || !success) {
        const short code = result != 0 ? (result == -1 ? control.LastError() : result) : short(-1);
        std::fprintf(stderr, "orvane: transfer failed: %s\n", qPrintable(control.GetResultString(code)));
        return 1;
    }
    return 0;
}

int ads(IniPropertyBag &bag, const QStringList &args)
{
    const Flags f = parse(args, {}, {"--json"});
    if (!f.error.isEmpty())
        return usage(f.error);
    Orvane control;
    control.ReadProperties(bag);
    OVCommercials catalogue;
    catalogue.LoadAdInfoFromLocalStorage(control.DataFolder(), control.ImageFolder());
    QJsonArray list;
    for (const auto &ad : catalogue.Ads()) {
        const QString expiry = OleDate::toDateTime(ad->ExpirationDate()).toString(Qt::ISODate);
        if (f.values.contains(QStringLiteral("--json"))) {
            list.append(QJsonObject {{QStringLiteral("guid"), ad->AdGUID()}, {QStringLiteral("size"), ad->Size()},
                {QStringLiteral("rating"), ad->Rating()}, {QStringLiteral("views"), ad->ViewCount()},
                {QStringLiteral("clicks"), ad->ClickCount()}, {QStringLiteral("expiry"), expiry},
                {QStringLiteral("image"), ad->ImageFileName()}, {QStringLiteral("click_url"), ad->ClickURL()}});
        } else {
            std::printf("%s  size %d  rating %2d  views %d  clicks %d  expires %s  %s  %s\n", qPrintable(ad->AdGUID()),
                ad->Size(), ad->Rating(), ad->ViewCount(), ad->ClickCount(), qPrintable(expiry),
                qPrintable(ad->ImageFileName()), qPrintable(ad->ClickURL()));
        }
    }
    if (f.values.contains(QStringLiteral("--json")))
        std::printf("%s\n", QJsonDocument(list).toJson(QJsonDocument::Indented).constData());
    return 0;
}

int user(const QStringList &args)
{
    const Flags f = parse(args, {"--age-range", "--gender", "--postal-code", "--country", "--rating"}, {});
    if (!f.error.isEmpty())
        return usage(f.error);
    OVUser u;
    u.Load();
    auto number = [&](const char *flag, void (OVUser::*set)(int32_t)) {
        if (!f.values.contains(QString::fromLatin1(flag)))
            return true;
        bool ok = false;
        const int v = f.values.value(QString::fromLatin1(flag)).toInt(&ok);
        if (ok)
            (u.*set)(v);
        return ok;
    };
    if (!number("--age-range", &OVUser::setAgeRange) || !number("--rating", &OVUser::setRating))
        return usage(QStringLiteral("--age-range and --rating want numbers"));
    if (f.values.contains(QStringLiteral("--gender")))
        u.setGender(f.values.value(QStringLiteral("--gender")));
    if (f.values.contains(QStringLiteral("--postal-code")))
        u.setPostalCode(f.values.value(QStringLiteral("--postal-code")));
    if (f.values.contains(QStringLiteral("--country")))
        u.setCountryCode(f.values.value(QStringLiteral("--country")));
    if (!f.values.isEmpty())
        u.Save(false);
    std::printf("age range %d\ngender %s\npostal code %s\ncountry %s\nrating %d\npersonalized %s\n", u.AgeRange(),
        qPrintable(u.Gender()), qPrintable(u.PostalCode()), qPrintable(u.CountryCode()), u.Rating(),
        u.Personalized() ? "yes" : "no");
    return 0;
}

int show(IniPropertyBag &bag, const QStringList &args)
{
    const Flags f = parse(args, {"--screenshot"}, {});
    if (!f.error.isEmpty())
        return usage(f.error);
    Orvane control;
    control.ReadProperties(bag);
    const QString shot = f.values.value(QStringLiteral("--screenshot"));
    if (!shot.isEmpty()) {
        // Once shown: take the picture, then close as soon as the window lets us.
        QTimer::singleShot(500, [shot] {
            for (QWidget *w : QApplication::topLevelWidgets()) {
                if (w->objectName() == QLatin1String("frmRegister") && w->isVisible())
                    w->close();
            }
            for (QWidget *w : QApplication::topLevelWidgets()) {
                if (w->objectName() == QLatin1String("frmAdDisplayer") && w->isVisible()) {
                    w->grab().save(shot, "PNG");
                    std::printf("screenshot saved to %s\n", qPrintable(shot));
                    auto *closer = new QTimer(w);
                    QObject::connect(closer, &QTimer::timeout, w, [w] { w->close(); });
                    closer->start(500);
                }
            }
        });
    }
    const short result = control.Show();
    if (result != 0) {
        std::fprintf(stderr, "orvane: %s\n", qPrintable(control.GetResultString(result)));
        return 1;
    }
    return 0;
}

int personalize(IniPropertyBag &bag)
{
    Orvane control;
    control.ReadProperties(bag);
    const short result = control.ShowPersonalizationForm();
    if (result != 0) {
        std::fprintf(stderr, "orvane: %s\n", qPrintable(control.GetResultString(result)));
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    QString profile
        = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/Orvane/host.ini");
    if (args.value(0) == QLatin1String("--profile")) {
        if (args.size() < 2)
            return usage(QStringLiteral("--profile needs a file"));
        profile = args[1];
        args = args.mid(2);
    }
    const QString command = args.value(0);
    args = args.mid(1);
    if (command == QLatin1String("--help") || command == QLatin1String("help")
        || args.contains(QStringLiteral("--help"))) {
        std::printf("%s", kUsage);
        return 0;
    }
    QDir().mkpath(QFileInfo(profile).absolutePath());
    IniPropertyBag bag(profile);
    if (command == QLatin1String("configure"))
        return configure(bag, args);
    if (command == QLatin1String("transfer"))
        return transfer(bag, args);
    if (command == QLatin1String("ads"))
        return ads(bag, args);
    if (command == QLatin1String("user"))
        return user(args);
    if (command == QLatin1String("show"))
        return show(bag, args);
    if (command == QLatin1String("personalize"))
        return personalize(bag);
    return usage(command.isEmpty() ? QStringLiteral("no command") : QStringLiteral("unknown command ") + command);
}
