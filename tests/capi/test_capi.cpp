// The C interface inside a GLib main loop: no Qt event loop of the test's
// own, the application object made by the library on first use, the events
// in the order of an exchange, and a release from inside an event.
#include <orvane/ClassIds.h>
#include <orvane/orvane.h>

#include "exchange/OVContentUpdate.h"

#include "ScriptedServer.h"
#include "TestHome.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QFile>
#include <QTest>

#include <glib.h>

#include <thread>

using namespace Qt::StringLiterals;

namespace {
const QByteArray kOK("HTTP/1.1 200 OK\r\n\r\n");
const char kProduct[] = "{12345678-9ABC-DEF0-1234-56789ABCDEF0}";
const char kAd[] = "{0A000000-0000-4000-8000-000000000001}";

struct Run
{
    GMainLoop *loop = nullptr;
    QStringList events;
    bool releaseOnComplete = false;
};

void record(OrvaneObject *sender, const char *event, const OrvaneValue *args, int argCount, void *userData)
{
    auto *run = static_cast<Run *>(userData);
    QString line = QString::fromUtf8(event);
    for (int i = 0; i < argCount; ++i)
        line
            += u' ' + (args[i].type == ORVANE_TYPE_TEXT ? QString::fromUtf8(args[i].text) : QString::number(args[i].i));
    run->events << line;
    if (qstrcmp(event, "TransferComplete") == 0) {
        if (run->releaseOnComplete)
            OrvaneRelease(sender);
        g_main_loop_quit(run->loop);
    }
}

gboolean giveUp(gpointer loop)
{
    g_main_loop_quit(static_cast<GMainLoop *>(loop));
    return G_SOURCE_REMOVE;
}

OrvaneValue integer(int32_t i)
{
    OrvaneValue v {};
    v.type = ORVANE_TYPE_INT;
    v.i = i;
    return v;
}

OrvaneValue object(OrvaneObject *o)
{
    OrvaneValue v {};
    v.type = ORVANE_TYPE_OBJECT;
    v.object = o;
    return v;
}
} // namespace

class TestCInterface : public QObject
{
    Q_OBJECT
    TestHome m_home;

    OrvaneObject *control(const QString &port, const QString &images)
    {
        OrvaneObject *c = nullptr;
        if (OrvaneCreateObject(orvane::ClassIds::OrvaneName, &c) != ORVANE_S_OK)
            return nullptr;
        OrvaneSetBool(c, "Enabled", 1);
        OrvaneSetText(c, "RemoteHost", "127.0.0.1");
        OrvaneSetText(c, "RemotePort", port.toUtf8().constData());
        OrvaneSetText(c, "ProductGUID", kProduct);
        OrvaneSetText(c, "DataFolder", m_home.dataHome().toUtf8().constData());
        OrvaneSetText(c, "ImageFolder", images.toUtf8().constData());
        return c;
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_home.writeSettingsFile("[Preferences]\nTransferTimeoutSeconds=20\n[Demographics]\nGender=X\n");
        // Made by the library on the first object, on this thread, with its
        // events on GLib's default main context.
        QVERIFY(qobject_cast<QApplication *>(QCoreApplication::instance()));
        QCOMPARE(QCoreApplication::instance()->thread(), QThread::currentThread());
        QVERIFY(QByteArray(QAbstractEventDispatcher::instance()->metaObject()->className()).contains("Glib"));
    }

    // Properties and methods by name, with C values; a number is never wrapped.
    void propertiesAndMethodsByName()
    {
        OrvaneObject *c = control(u"1"_s, QString());
        QVERIFY(c);
        QCOMPARE(QByteArray(OrvaneClassName(c)), QByteArray("orvane::Orvane"));
        char *text = nullptr;
        QCOMPARE(OrvaneGetText(c, "RemoteHost", &text), int(ORVANE_S_OK));
        QCOMPARE(QByteArray(text), QByteArray("127.0.0.1"));
        OrvaneFree(text);
        OrvaneValue name {};
        name.type = ORVANE_TYPE_TEXT;
        name.text = "AgeOver60";
        QCOMPARE(OrvaneSetProperty(c, "AgeRange", &name), int(ORVANE_S_OK));
        int32_t age = 0;
        QCOMPARE(OrvaneGetInt(c, "AgeRange", &age), int(ORVANE_S_OK));
        QCOMPARE(age, 80);
        QCOMPARE(OrvaneSetInt(c, "NoSuchProperty", 1), int(ORVANE_E_INVALIDARG));
        // From another thread: refused, never run.
        int fromThread[2] = {0, 0};
        std::thread([&] {
            fromThread[0] = OrvaneGetInt(c, "AgeRange", &age);
            OrvaneObject *other = nullptr;
            fromThread[1] = OrvaneCreateObject(orvane::ClassIds::OrvaneName, &other);
        }).join();
        QCOMPARE(fromThread[0], int(ORVANE_E_WRONGTHREAD));
        QCOMPARE(fromThread[1], int(ORVANE_E_WRONGTHREAD));

        OrvaneValue result {};
        const OrvaneValue code = integer(608);
        QCOMPARE(OrvaneCall(c, "GetResultString", &code, 1, &result), int(ORVANE_S_OK));
        QCOMPARE(QByteArray(result.text), QByteArray("Orv error code: 608"));
        OrvaneValueClear(&result);
        const OrvaneValue mode = integer(2);
        QCOMPARE(OrvaneCall(c, "Show", &mode, 1, &result), int(ORVANE_S_OK));
        QCOMPARE(result.i, 802);
        OrvaneValue fraction {};
        fraction.type = ORVANE_TYPE_DOUBLE;
        fraction.d = 1.5;
        QCOMPARE(OrvaneCall(c, "Show", &fraction, 1, &result), int(ORVANE_E_INVALIDARG));
        const OrvaneValue wide = integer(70000); // never wrapped into the 16-bit ShowMode
        QCOMPARE(OrvaneCall(c, "Show", &wide, 1, &result), int(ORVANE_E_INVALIDARG));

        // The saved properties through a bag the factory makes.
        OrvaneObject *bag = nullptr;
        QCOMPARE(OrvaneCreateObject(orvane::ClassIds::PropertyBagName, &bag), int(ORVANE_S_OK));
        const QString ini = m_home.path() + u"/host.ini"_s;
        OrvaneSetText(bag, "FileName", ini.toUtf8().constData());
        const OrvaneValue bagArg = object(bag);
        QCOMPARE(OrvaneCall(c, "WriteProperties", &bagArg, 1, nullptr), int(ORVANE_S_OK));
        OrvaneRelease(c);
        OrvaneObject *restored = nullptr;
        QCOMPARE(OrvaneCreateObject(orvane::ClassIds::Orvane, &restored), int(ORVANE_S_OK));
        QCOMPARE(OrvaneCall(restored, "ReadProperties", &bagArg, 1, nullptr), int(ORVANE_S_OK));
        QCOMPARE(OrvaneGetText(restored, "RemotePort", &text), int(ORVANE_S_OK));
        QCOMPARE(QByteArray(text), QByteArray("1"));
        OrvaneFree(text);
        // Only a bag will do.
        const OrvaneValue wrong = object(restored);
        QCOMPARE(OrvaneCall(restored, "ReadProperties", &wrong, 1, nullptr), int(ORVANE_E_INVALIDARG));
        // The exchange client's offers as C records; only a client has them.
        OrvaneObject *client = nullptr;
        QCOMPARE(OrvaneCreateObject(orvane::ClassIds::OVHTTPClientName, &client), int(ORVANE_S_OK));
        OrvaneIncomingAd ad {};
        QCOMPARE(OrvaneGetIncomingAd(client, 1, &ad), int(ORVANE_S_OK));
        QCOMPARE(QByteArray(ad.AdGUID), QByteArray());
        OrvaneIncomingAdClear(&ad);
        QCOMPARE(OrvaneGetIncomingAd(restored, 1, &ad), int(ORVANE_E_INVALIDARG));
        OrvaneRelease(client);
        OrvaneRelease(restored);
        OrvaneRelease(bag);
        QCOMPARE(OrvaneCanUnloadNow(), int(ORVANE_S_OK));
    }

    // A transfer run by g_main_loop_run alone: the image is stored only in
    // the folder the host set; without one nothing is written and the host
    // is told why.
    void transferInAGLibLoop_data() { testdata::boolRows("withImageFolder", "no image folder", "image folder"); }
    void transferInAGLibLoop()
    {
        QFETCH(bool, withImageFolder);
        const QByteArray imageName = "orvane-capi-" + QByteArray::number(QCoreApplication::applicationPid()) + ".png";
        const QByteArray png = ImageServer::png();
        ImageServer images;
        images.add(imageName, png);
        orvane::OVContentUpdate update;
        update.setBaseURL(images.base());
        update.AddAnOffering(QString::fromLatin1(kAd), QString::fromLatin1(kAd), u"https://example.com/1"_s, 47001.0, 1,
            QString::fromLatin1(imageName), 20, 2);
        ScriptedServer server({{kOK}, {ScriptedServer::contentResponse(update.GetStateIntoByteArray())}});
        const QString folder = withImageFolder ? m_home.path() + u"/images"_s : QString();
        QDir(m_home.path() + u"/images"_s).removeRecursively();
        QDir().mkpath(m_home.path() + u"/images"_s);

        Run run;
        run.loop = g_main_loop_new(nullptr, false);
        run.releaseOnComplete = true;
        OrvaneObject *c = control(server.port(), folder);
        QVERIFY(c);
        for (const char *event : {"ProgressMessage", "TransferComplete", "AdWindowClosed"})
            QCOMPARE(OrvaneConnect(c, event, record, &run), int(ORVANE_S_OK));
        QCOMPARE(OrvaneConnect(c, "NoSuchEvent", record, &run), int(ORVANE_E_INVALIDARG));
        int32_t started = -1;
        QCOMPARE(OrvaneCallInt(c, "StartTransfer", &started), int(ORVANE_S_OK));
        QCOMPARE(started, 0);
        const guint guard = g_timeout_add_seconds(60, giveUp, run.loop);
        g_main_loop_run(run.loop);
        g_source_remove(guard);
        g_main_loop_unref(run.loop);

        qInfo() << run.events;
        QVERIFY(!run.events.isEmpty());
        QCOMPARE(run.events.first(), u"ProgressMessage Connected"_s);
        const auto at = [&](const QString &e) { return run.events.indexOf(e); };
        QVERIFY(at(u"ProgressMessage Sent usage data"_s) > 0);
        QVERIFY(at(u"ProgressMessage Received Ad list"_s) > at(u"ProgressMessage Sent usage data"_s));
        QCOMPARE(run.events.mid(run.events.size() - 2),
            QStringList({u"ProgressMessage Transfer complete"_s,
                withImageFolder ? u"TransferComplete 1"_s : run.events.last()}));
        QVERIFY(run.events.last().startsWith(u"TransferComplete"_s));
        QFile stored(m_home.path() + u"/images/"_s + QString::fromLatin1(imageName));
        QVERIFY(!QFile::exists(u"/"_s + QString::fromLatin1(imageName)));
        if (withImageFolder) {
            QVERIFY(stored.open(QIODevice::ReadOnly));
            QCOMPARE(stored.readAll(), png);
        } else {
            QVERIFY(!stored.exists());
            QVERIFY(run.events.contains(u"ProgressMessage No image folder: no image is stored"_s));
            QCOMPARE(images.requests.size(), 0);
        }
        // Released inside its event, the control ends on the host's loop.
        for (int i = 0; i < 100 && OrvaneCanUnloadNow() != ORVANE_S_OK; ++i)
            g_main_context_iteration(nullptr, false);
        QCOMPARE(OrvaneCanUnloadNow(), int(ORVANE_S_OK));
    }
};

int main(int argc, char **argv)
{
    // As a host without Qt: the first object makes the application object.
    OrvaneObject *first = nullptr;
    if (OrvaneCreateObject(orvane::ClassIds::PropertyBagName, &first) != ORVANE_S_OK)
        return 1;
    OrvaneRelease(first);
    TestCInterface test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_capi.moc"
