#include <orvane/OrvaneFactory.h>

#include "TestHome.h"

#include <QApplication>
#include <QDirIterator>
#include <QFile>
#include <QScopeGuard>
#include <QSettings>
#include <QTest>

using namespace orvane;

namespace {
QString libraryFile()
{
    return qEnvironmentVariable("ORVANE_BINARY_DIR") + QStringLiteral("/lib/libOrvane.so");
}

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
    void init();
    void cleanup();
    void createsByIdAndName_data();
    void createsByIdAndName();
    void unknownClassRefused();
    void canUnloadOnlyWithoutLiveObjects();
    void registrationIsUndoneExactly();

private:
    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<ComponentLibrary> m_library;
};

void TestFactory::init()
{
    m_home = std::make_unique<TestHome>();
    m_library = std::make_unique<ComponentLibrary>(libraryFile());
    QVERIFY2(m_library->load(), qPrintable(m_library->errorString()));
}

void TestFactory::cleanup()
{
    m_library.reset();
    m_home.reset();
}

void TestFactory::createsByIdAndName_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QByteArray>("className");
    QTest::addColumn<QByteArray>("method");
    QTest::newRow("control by id") << ClassIds::Orvane << QByteArray("orvane::Orvane") << QByteArray("Hide");
    QTest::newRow("control by id, lower case")
        << QString::fromLatin1(ClassIds::Orvane).toLower() << QByteArray("orvane::Orvane") << QByteArray("Hide");
    QTest::newRow("control by name") << ClassIds::OrvaneName << QByteArray("orvane::Orvane") << QByteArray("Hide");
    QTest::newRow("exchange client by id")
        << ClassIds::OVHTTPClient << QByteArray("orvane::exchange::OVHTTPClient") << QByteArray("ClearUsageStats");
    QTest::newRow("exchange client by name")
        << ClassIds::OVHTTPClientName << QByteArray("orvane::exchange::OVHTTPClient") << QByteArray("ClearUsageStats");
}

void TestFactory::createsByIdAndName()
{
    QFETCH(QString, key);
    QFETCH(QByteArray, className);
    QFETCH(QByteArray, method);
    std::unique_ptr<QObject> object(m_library->createInstance(key));
    QVERIFY(object);
    QCOMPARE(QByteArray(object->metaObject()->className()), className);
    // Late bound: properties and methods through the meta-object system.
    QVERIFY(object->setProperty("RemoteHost", QStringLiteral("127.0.0.1")));
    QCOMPARE(object->property("RemoteHost").toString(), QStringLiteral("127.0.0.1"));
    QVERIFY(object->metaObject()->indexOfMethod(method + "()") >= 0);
}

void TestFactory::unknownClassRefused()
{
    ClassFactory *factory = reinterpret_cast<ClassFactory *>(1);
    auto get = m_library->resolve<int (*)(const char *, ClassFactory **)>("OrvaneGetClassObject");
    QCOMPARE(get("{00000000-0000-0000-0000-000000000000}", &factory), int(ORVANE_E_CLASSNOTAVAILABLE));
    QCOMPARE(factory, nullptr);
    QCOMPARE(get(nullptr, &factory), int(ORVANE_E_POINTER));
    QCOMPARE(get(ClassIds::Orvane, nullptr), int(ORVANE_E_POINTER));
}

void TestFactory::canUnloadOnlyWithoutLiveObjects()
{
    QVERIFY(m_library->canUnloadNow());
    QObject *control = m_library->createInstance(ClassIds::OrvaneName);
    QVERIFY(control);
    QVERIFY(!m_library->canUnloadNow());
    short result = -1;
    QVERIFY(QMetaObject::invokeMethod(control, "StartTransfer", Q_RETURN_ARG(short, result)));
    QCOMPARE(result, short(102)); // created disabled
    delete control;
    QVERIFY(m_library->canUnloadNow());
    ClassFactory *factory = m_library->classObject(ClassIds::Orvane);
    factory->lockServer(true);
    QVERIFY(!m_library->canUnloadNow());
    factory->lockServer(false);
    QVERIFY(m_library->canUnloadNow());
}

void TestFactory::registrationIsUndoneExactly()
{
    const QByteArray savedHome = qgetenv("HOME");
    qputenv("HOME", m_home->path().toLocal8Bit());
    const auto restoreHome = qScopeGuard([&] { qputenv("HOME", savedHome); });
    // Another component's entry stays.
    const QString registry = m_home->dataHome() + QStringLiteral("/Orvane/classes.ini");
    QSettings(registry, QSettings::IniFormat).setValue(QStringLiteral("Other.Thing/ClassId"), QStringLiteral("{1}"));
    const QStringList before = tree(m_home->path());

    auto call = [this](const char *name) { return m_library->resolve<int (*)()>(name)(); };
    QCOMPARE(call("OrvaneRegisterServer"), int(ORVANE_S_OK));
    QSettings classes(registry, QSettings::IniFormat);
    QCOMPARE(classes.value(QStringLiteral("Orvane.Orvane/ClassId")).toString(), QString::fromLatin1(ClassIds::Orvane));
    QCOMPARE(classes.value(QStringLiteral("Orvane.OVHTTPClient/ClassId")).toString(),
        QString::fromLatin1(ClassIds::OVHTTPClient));
    const QString library = classes.value(QStringLiteral("Orvane.Orvane/Library")).toString();
    QVERIFY2(
        QFileInfo(library).canonicalFilePath() == QFileInfo(libraryFile()).canonicalFilePath(), qPrintable(library));
    const QFileInfo link(m_home->path() + QStringLiteral("/.designer/plugins/libOrvaneDesigner.so"));
    const bool havePlugin = QFile::exists(QFileInfo(libraryFile()).absolutePath() + QStringLiteral("/designer"));
    QCOMPARE(link.isSymLink() && link.exists(), havePlugin);

    QCOMPARE(call("OrvaneUnregisterServer"), int(ORVANE_S_OK));
    QCOMPARE(tree(m_home->path()), before);
    QSettings after(registry, QSettings::IniFormat);
    QCOMPARE(after.childGroups(), QStringList {QStringLiteral("Other.Thing")});
}

QTEST_MAIN(TestFactory)
#include "test_factory.moc"
