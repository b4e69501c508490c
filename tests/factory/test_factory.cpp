#include <orvane/ComponentLibrary.h>
#include <orvane/OrvaneVersion.h>

#include "TestHome.h"

#include <QDirIterator>
#include <QScopeGuard>
#include <QSettings>
#include <QTest>

using namespace orvane;
using namespace Qt::StringLiterals;

namespace {
const QString kLibraryFile = qEnvironmentVariable("ORVANE_BINARY_DIR") + u"/lib/libOrvane.so"_s;

QStringList tree(const QString &root)
{
    QStringList entries;
    QDirIterator it(
        root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        entries << it.next();
    entries.sort();
    return entries;
}
} // namespace

class TestFactory : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY2(m_library.load(), qPrintable(m_library.errorString())); }

    void createsByIdAndName_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QByteArray>("className");
        const QByteArray control = "orvane::Orvane";
        QTest::newRow("control by id") << ClassIds::Orvane << control;
        QTest::newRow("control by id, lower case") << QString::fromLatin1(ClassIds::Orvane).toLower() << control;
        QTest::newRow("control by name") << ClassIds::OrvaneName << control;
        QTest::newRow("exchange client by id")
            << ClassIds::OVHTTPClient << QByteArray("orvane::exchange::OVHTTPClient");
        QTest::newRow("exchange client by name")
            << ClassIds::OVHTTPClientName << QByteArray("orvane::exchange::OVHTTPClient");
        QTest::newRow("property bag") << ClassIds::PropertyBagName << QByteArray("orvane::PropertyBagObject");
    }

    void createsByIdAndName()
    {
        QFETCH(QString, key);
        QFETCH(QByteArray, className);
        std::unique_ptr<QObject> object(m_library.createInstance(key));
        QVERIFY(object);
        QCOMPARE(QByteArray(object->metaObject()->className()), className);
        // Late bound, as a host that did not link the library sets a property.
        const bool bag = className.endsWith("Object");
        QVERIFY(object->setProperty(bag ? "FileName" : "RemoteHost", u"127.0.0.1"_s));
        // The library's version is the one of the headers the host built with.
        if (!bag)
            QCOMPARE(object->property("Version").toString(), QStringLiteral(ORVANE_VERSION_STR));
    }

    // What a factory host reaches by name: the enumerations' keys, the help
    // strings, and the saved properties through a bag the factory makes.
    void publishedNames()
    {
        const QMetaType ageRange = QMetaType::fromName("orvane::OrvAgeRange");
        QVERIFY(ageRange.isValid() && ageRange.metaObject());
        const QMetaObject *published = ageRange.metaObject();
        QCOMPARE(published->enumerator(published->indexOfEnumerator("OrvAgeRange")).keyToValue("AgeOver60"), 80);
        const QMetaEnum rating = published->enumerator(published->indexOfEnumerator("OrvRating"));
        QCOMPARE(QByteArray(rating.key(1)) + '=' + QByteArray::number(rating.value(1)), QByteArray("AllAudiences=20"));

        std::unique_ptr<QObject> control(m_library.createInstance(ClassIds::OrvaneName));
        const QMetaObject *meta = control->metaObject();
        QCOMPARE(QByteArray(meta->classInfo(meta->indexOfClassInfo("help:ImageFolder")).value()),
            QByteArray("Full path name of a folder to store  Orvane image files"));
        std::unique_ptr<QObject> bag(m_library.createInstance(ClassIds::PropertyBagName));
        const QString ini = m_home.path() + u"/bag.ini"_s;
        bag->setProperty("FileName", ini);
        control->setProperty("RemotePort", u"8080"_s);
        QObject *bagArgument = bag.get();
        QVERIFY(QMetaObject::invokeMethod(
            control.get(), "WriteProperties", QGenericArgument("orvane::PropertyBagObject*", &bagArgument)));
        QCOMPARE(QSettings(ini, QSettings::IniFormat).value(u"Orvane/RemotePort"_s).toString(), u"8080"_s);
    }

    void unknownClassRefused()
    {
        OrvaneClassObject *factory = reinterpret_cast<OrvaneClassObject *>(1);
        auto get = m_library.resolve<int (*)(const char *, OrvaneClassObject **)>("OrvaneGetClassObject");
        QCOMPARE(get("{00000000-0000-0000-0000-000000000000}", &factory), int(ORVANE_E_CLASSNOTAVAILABLE));
        QCOMPARE(factory, nullptr);
        QCOMPARE(get(nullptr, &factory), int(ORVANE_E_POINTER));
        QCOMPARE(get(ClassIds::Orvane, nullptr), int(ORVANE_E_POINTER));
    }

    void canUnloadOnlyWithoutLiveObjects()
    {
        QVERIFY(m_library.canUnloadNow());
        QObject *control = m_library.createInstance(ClassIds::OrvaneName);
        QVERIFY(control && !m_library.canUnloadNow());
        short result = -1;
        QVERIFY(QMetaObject::invokeMethod(control, "StartTransfer", Q_RETURN_ARG(short, result)));
        QCOMPARE(result, short(102)); // created disabled
        delete control;
        QVERIFY(m_library.canUnloadNow());
        ClassFactory *factory = m_library.classObject(ClassIds::Orvane);
        factory->lockServer(true);
        QVERIFY(!m_library.canUnloadNow());
        factory->lockServer(false);
        QVERIFY(m_library.canUnloadNow());
    }

    void registrationIsUndoneExactly()
    {
        const QByteArray savedHome = qgetenv("HOME");
        qputenv("HOME", m_home.path().toLocal8Bit());
        const auto restoreHome = qScopeGuard([&] { qputenv("HOME", savedHome); });
        // Another component's entry stays.
        const QString registry = m_home.dataHome() + u"/Orvane/classes.ini"_s;
        QSettings(registry, QSettings::IniFormat).setValue(u"Other.Thing/ClassId"_s, u"{1}"_s);
        const QStringList before = tree(m_home.path());

        auto call = [this](const char *name) { return m_library.resolve<int (*)()>(name)(); };
        QCOMPARE(call("OrvaneRegisterServer"), int(ORVANE_S_OK));
        QSettings classes(registry, QSettings::IniFormat);
        QCOMPARE(classes.value(u"Orvane.Orvane/ClassId"_s).toString(), QString::fromLatin1(ClassIds::Orvane));
        QCOMPARE(
            classes.value(u"Orvane.OVHTTPClient/ClassId"_s).toString(), QString::fromLatin1(ClassIds::OVHTTPClient));
        QCOMPARE(QFileInfo(classes.value(u"Orvane.Orvane/Library"_s).toString()).canonicalFilePath(),
            QFileInfo(kLibraryFile).canonicalFilePath());
        const QFileInfo link(m_home.path() + u"/.designer/plugins/libOrvaneDesigner.so"_s);
        const bool havePlugin = QFile::exists(QFileInfo(kLibraryFile).absolutePath() + u"/designer"_s);
        QCOMPARE(link.isSymLink() && link.exists(), havePlugin);

        // Recorded through another name of the same file (as a host that
        // loaded libOrvane.so.1 registers it): removed all the same.
        for (const QString &group : {u"Orvane.Orvane"_s, u"Orvane.PropertyBag"_s})
            classes.setValue(group + u"/Library"_s, kLibraryFile + u".1"_s);
        classes.sync();
        QCOMPARE(call("OrvaneUnregisterServer"), int(ORVANE_S_OK));
        QCOMPARE(tree(m_home.path()), before);
        QCOMPARE(QSettings(registry, QSettings::IniFormat).childGroups(), QStringList {u"Other.Thing"_s});
    }

private:
    TestHome m_home;
    ComponentLibrary m_library {kLibraryFile};
};

QTEST_MAIN(TestFactory)
#include "test_factory.moc"
