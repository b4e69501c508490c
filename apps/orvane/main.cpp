// orvane: a command-line host that embeds the control as an application would,
// with its property bag kept in a profile file. It uses the public API only.
#include <orvane/Orvane.h>
#include <orvane/OrvaneVersion.h>
#include <orvane/PropertyBag.h>

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <optional>

using namespace orvane;

namespace {

const char *kUsage = "usage: orvane [--profile FILE] COMMAND [options]\n"
                     "       orvane --version\n"
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

// One command's options: each is --name VALUE, or a bare --name flag.
struct Command
{
    QCommandLineParser parser;
    QString error;

    Command(const QStringList &args, const QStringList &valued, const QStringList &bare)
    {
        parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
        for (const QString &name : valued)
            parser.addOption(QCommandLineOption(name, QString(), QStringLiteral("value")));
        for (const QString &name : bare)
            parser.addOption(QCommandLineOption(name));
        if (!parser.parse(QStringList {QStringLiteral("orvane")} + args))
            error = parser.errorText();
        else if (!parser.positionalArguments().isEmpty())
            error = QStringLiteral("unexpected argument ") + parser.positionalArguments().first();
    }
    bool has(const QString &name) const { return parser.isSet(name); }
    QString value(const QString &name, const QString &fallback = QString()) const
    {
        return parser.isSet(name) ? parser.value(name) : fallback;
    }
};

QString dataHome()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Orvane");
}

int configure(IniPropertyBag &bag, const QStringList &args)
{
    const Command c(args, {"host", "port", "product", "images", "data"}, {});
    if (!c.error.isEmpty())
        return usage(c.error);
    for (const char *required : {"host", "port", "product"}) {
        if (!c.has(QString::fromLatin1(required)))
            return usage(QStringLiteral("configure needs --") + QString::fromLatin1(required));
    }
    // Per-user folders unless others are named (an empty name is no folder:
    // the current directory is never taken for one).
    QString images = c.value(QStringLiteral("images"));
    QString data = c.value(QStringLiteral("data"));
    if (images.isEmpty())
        images = dataHome() + QStringLiteral("/images");
    if (data.isEmpty())
        data = dataHome();
    QDir().mkpath(images);
    QDir().mkpath(data);
    Orvane control;
    control.ReadProperties(bag);
    control.setRemoteHost(c.value(QStringLiteral("host")));
    control.setRemotePort(c.value(QStringLiteral("port")));
    control.setProductGUID(c.value(QStringLiteral("product")));
    control.setImageFolder(QDir(images).absolutePath());
    control.setDataFolder(QDir(data).absolutePath());
    control.WriteProperties(bag);
    std::printf("configured %s\n", qPrintable(bag.fileName()));
    return 0;
}

int transfer(IniPropertyBag &bag, const QStringList &args)
{
    const Command c(args, {"timeout"}, {});
    if (!c.error.isEmpty())
        return usage(c.error);
    if (c.has(QStringLiteral("timeout"))) {
        bool ok = false;
        const int seconds = c.value(QStringLiteral("timeout")).toInt(&ok);
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
    const Command c(args, {}, {"json"});
    if (!c.error.isEmpty())
        return usage(c.error);
    const bool json = c.has(QStringLiteral("json"));
    Orvane control;
    control.ReadProperties(bag);
    QJsonArray list;
    for (const AdListing &ad : control.AdList()) {
        const QString expiry = ad.ExpirationDate.toString(Qt::ISODate);
        if (json) {
            list.append(QJsonObject {{QStringLiteral("guid"), ad.AdGUID}, {QStringLiteral("size"), ad.Size},
                {QStringLiteral("rating"), ad.Rating}, {QStringLiteral("views"), ad.ViewCount},
                {QStringLiteral("clicks"), ad.ClickCount}, {QStringLiteral("expiry"), expiry},
                {QStringLiteral("image"), ad.ImageFileName}, {QStringLiteral("click_url"), ad.ClickURL}});
        } else {
            std::printf("%s  size %d  rating %2d  views %d  clicks %d  expires %s  %s  %s\n", qPrintable(ad.AdGUID),
                ad.Size, ad.Rating, ad.ViewCount, ad.ClickCount, qPrintable(expiry), qPrintable(ad.ImageFileName),
                qPrintable(ad.ClickURL));
        }
    }
    if (json)
        std::printf("%s\n", QJsonDocument(list).toJson(QJsonDocument::Indented).constData());
    return 0;
}

int user(const QStringList &args)
{
    const Command c(args, {"age-range", "gender", "postal-code", "country", "rating"}, {});
    if (!c.error.isEmpty())
        return usage(c.error);
    Orvane control;
    // Both numbers are checked before anything is stored: 16 bits each, never wrapped.
    std::optional<short> numbers[2];
    const char *names[2] = {"age-range", "rating"};
    for (int i = 0; i < 2; ++i) {
        const QString name = QString::fromLatin1(names[i]);
        if (!c.has(name))
            continue;
        bool ok = false;
        numbers[i] = c.value(name).toShort(&ok);
        if (!ok)
            return usage(QStringLiteral("--age-range and --rating want whole numbers from -32768 to 32767"));
    }
    if (numbers[0])
        control.setAgeRange(*numbers[0]);
    if (numbers[1])
        control.setRating(*numbers[1]);
    if (c.has(QStringLiteral("gender")))
        control.setGender(c.value(QStringLiteral("gender")));
    if (c.has(QStringLiteral("postal-code")))
        control.setPostalCode(c.value(QStringLiteral("postal-code")));
    if (c.has(QStringLiteral("country")))
        control.setCountryCode(c.value(QStringLiteral("country")));
    std::printf("age range %d\ngender %s\npostal code %s\ncountry %s\nrating %d\npersonalized %s\n", control.AgeRange(),
        qPrintable(control.Gender()), qPrintable(control.PostalCode()), qPrintable(control.CountryCode()),
        control.Rating(), control.Personalized() ? "yes" : "no");
    return 0;
}

// Once shown: take the picture, then close as soon as the window lets us.
void screenshotWhenShown(const QString &shot)
{
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

int show(IniPropertyBag &bag, const QStringList &args)
{
    const Command c(args, {"screenshot"}, {});
    if (!c.error.isEmpty())
        return usage(c.error);
    Orvane control;
    control.ReadProperties(bag);
    if (c.has(QStringLiteral("screenshot")))
        screenshotWhenShown(c.value(QStringLiteral("screenshot")));
    const short result = control.Show();
    if (result != 0) {
        std::fprintf(stderr, "orvane: %s\n", qPrintable(control.GetResultString(result)));
        return 1;
    }
    return 0;
}

int personalize(IniPropertyBag &bag, const QStringList &args)
{
    const Command c(args, {}, {});
    if (!c.error.isEmpty())
        return usage(c.error);
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
    // The global options stop at the command; the rest belongs to the command.
    QCommandLineParser global;
    global.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    const QCommandLineOption profileOption(QStringLiteral("profile"), QString(), QStringLiteral("file"));
    const QCommandLineOption helpOption(QStringList {QStringLiteral("h"), QStringLiteral("help")});
    global.addOption(profileOption);
    global.addOption(helpOption);
    const QCommandLineOption versionOption(QStringLiteral("version"));
    global.addOption(versionOption);
    if (!global.parse(app.arguments()))
        return usage(global.errorText());
    if (global.isSet(versionOption)) {
        std::printf("orvane %s\n", ORVANE_VERSION_STR);
        return 0;
    }
    QStringList args = global.positionalArguments();
    const QString command = args.value(0);
    args = args.mid(1);
    if (global.isSet(helpOption) || command == QLatin1String("help") || args.contains(QStringLiteral("--help"))) {
        std::printf("%s", kUsage);
        return 0;
    }
    const QString profile = global.isSet(profileOption)
        ? global.value(profileOption)
        : QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/Orvane/host.ini");
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
        return personalize(bag, args);
    return usage(command.isEmpty() ? QStringLiteral("no command") : QStringLiteral("unknown command ") + command);
}
