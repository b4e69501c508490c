#include <orvane/Orvane.h>

#include "catalogue/OVAdvertisement.h"
#include "catalogue/OVCommercials.h"
#include "exchange/OVFraming.h"
#include "exchange/OVUsageReport.h"

#include "TestHome.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpSocket>
#include <QTest>

using namespace orvane;

// The real server process, its sample campaign and a SQLite database.
class ServerProcess
{
public:
    explicit ServerProcess(const QString &folder, const QString &db = QString())
        : m_folder(folder)
        , m_db(db.isEmpty() ? QStringLiteral("sqlite:") + folder + QStringLiteral("/reports.db") : db)
    {
        QProcess::execute(QStringLiteral(ADSERVER), {QStringLiteral("sample-campaign"), campaign()});
        start();
    }
    ~ServerProcess() { stop(); }

    void start()
    {
        m_process.start(QStringLiteral(ADSERVER),
            {QStringLiteral("serve"), QStringLiteral("--campaign"), campaign(), QStringLiteral("--db"), db(),
                QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0")});
        const bool started = QTest::qWaitFor(
            [this] {
                m_process.waitForReadyRead(100);
                m_out += m_process.readAllStandardOutput();
                return m_out.contains('\n');
            },
            10000);
        if (!started)
            qWarning("the server did not say where it listens");
        port = m_out.mid(m_out.lastIndexOf(':') + 1).trimmed().toUShort();
        m_out.clear();
    }
    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        m_process.waitForFinished(10000);
    }
    void kill()
    {
        m_process.kill();
        m_process.waitForFinished();
    }
    QString campaign() const { return m_folder + QStringLiteral("/campaign"); }
    QString db() const { return m_db; }
    QJsonObject stats() const
    {
        QProcess p;
        p.start(QStringLiteral(ADSERVER),
            {QStringLiteral("stats"), QStringLiteral("--db"), db(), QStringLiteral("--json")});
        p.waitForFinished(10000);
        return QJsonDocument::fromJson(p.readAllStandardOutput()).object();
    }
    // One raw exchange on a fresh connection: what came back before the close or the wait ran out.
    QByteArray raw(const QByteArray &request, int waitMs = 3000) const
    {
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, port);
        s.waitForConnected(3000);
        s.write(request);
        QByteArray got;
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < waitMs && s.state() == QAbstractSocket::ConnectedState) {
            if (s.waitForReadyRead(100))
                got += s.readAll();
            if (got.contains("\r\n\r\n") && !request.isEmpty())
                break;
        }
        return got + s.readAll();
    }

    quint16 port = 0;

private:
    QString m_folder;
    QString m_db;
    QProcess m_process;
    QByteArray m_out;
};

class TestAdServer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void transfersFillTheCatalogueAndCountsReachTheServerOnce();
    void hostileRequestsGetTheirAnswers();
    void acknowledgedReportsSurviveAKill_data();
    void acknowledgedReportsSurviveAKill();
    void wrongArgumentsExitWithTwo();
};

void TestAdServer::transfersFillTheCatalogueAndCountsReachTheServerOnce()
{
    TestHome home;
    ServerProcess server(home.path());
    QVERIFY(server.port > 0);
    Orvane control;
    control.ReadProperties(MemoryPropertyBag());
    control.setRemoteHost(QStringLiteral("127.0.0.1"));
    control.setRemotePort(QString::number(server.port));
    control.setProductGUID(QStringLiteral("{3F2504E0-4F89-11D3-9A0C-0305E82C3301}"));
    control.setDataFolder(home.path() + QStringLiteral("/data"));
    control.setImageFolder(home.path() + QStringLiteral("/images"));
    QDir().mkpath(control.DataFolder());
    bool ok = false;
    connect(&control, &Orvane::TransferComplete, this, [&](bool s) { ok = s; });
    QCOMPARE(int(control.Transfer()), 0);
    QVERIFY(ok);

    const QString guid = QStringLiteral("{0A000000-0000-4000-8000-000000000003}");
    {
        OVCommercials catalogue;
        catalogue.LoadAdInfoFromLocalStorage(control.DataFolder(), control.ImageFolder());
        QCOMPARE(catalogue.AdCount(), int16_t(12));
        QCOMPARE(QDir(control.ImageFolder()).entryList(QDir::Files).size(), 12);
        const auto ad = catalogue.GetAdByGUID(guid);
        ad->setViewCount(7);
        ad->setClickCount(2);
        QVERIFY(catalogue.SaveAdInfoToLocalStorage());
    }
    // A fresh control loads the counts from the data file, as after a restart.
    Orvane again;
    again.ReadProperties(MemoryPropertyBag());
    again.setRemoteHost(control.RemoteHost());
    again.setRemotePort(control.RemotePort());
    again.setProductGUID(control.ProductGUID());
    again.setDataFolder(control.DataFolder());
    again.setImageFolder(control.ImageFolder());
    QCOMPARE(int(again.Transfer()), 0);
    QCOMPARE(int(again.Transfer()), 0); // nothing more to report

    const QJsonObject stats = server.stats();
    QCOMPARE(stats.value(QStringLiteral("reports")).toInt(), 3);
    const QJsonArray ads = stats.value(QStringLiteral("ads")).toArray();
    QCOMPARE(ads.size(), 1);
    QCOMPARE(ads[0].toObject().value(QStringLiteral("guid")).toString(), guid);
    QCOMPARE(ads[0].toObject().value(QStringLiteral("views")).toInt(), 7);
    QCOMPARE(ads[0].toObject().value(QStringLiteral("clicks")).toInt(), 2);
    OVCommercials after;
    after.LoadAdInfoFromLocalStorage(control.DataFolder(), control.ImageFolder());
    QCOMPARE(after.GetAdByGUID(guid)->ViewCount(), int16_t(0));
    QCOMPARE(after.GetAdByGUID(guid)->ClickCount(), int16_t(0));
}

void TestAdServer::hostileRequestsGetTheirAnswers()
{
    TestHome home;
    ServerProcess server(home.path());
    QByteArray bad = OVFraming::ComposeUsagePost(QStringLiteral("x"), QByteArray("\x03\x00\x05garbage", 10));
    QVERIFY(server.raw(bad).startsWith("HTTP/1.1 400"));
    QVERIFY(server.raw("GET /" + QByteArray(20000, 'a') + " HTTP/1.1\r\n\r\n").startsWith("HTTP/1.1 400"));
    QVERIFY(server.raw("GET /images/../campaign.json HTTP/1.1\r\nHost: x\r\n\r\n").startsWith("HTTP/1.1 404"));
    QVERIFY(server.raw("GET /images/images/ad01.png HTTP/1.1\r\nHost: x\r\n\r\n").contains("image/png"));
    // A silent client is closed after the idle time-out; others are served meanwhile.
    QTcpSocket silent;
    silent.connectToHost(QHostAddress::LocalHost, server.port);
    QVERIFY(silent.waitForConnected(3000));
    QVERIFY(server.raw("GET /Orvane/Ads HTTP/1.1\r\nHost: x\r\n\r\n").startsWith("HTTP/1.1 200 OK"));
    QVERIFY(silent.waitForDisconnected(15000));
    QCOMPARE(server.stats().value(QStringLiteral("reports")).toInt(), 0);
}

void TestAdServer::acknowledgedReportsSurviveAKill_data()
{
    QTest::addColumn<QString>("db");
    QTest::newRow("sqlite") << QString();
    // scripts/test runs the suite inside a throw-away PostgreSQL cluster.
    QTest::newRow("postgresql") << qEnvironmentVariable("ORVANE_TEST_PG_URL");
}

void TestAdServer::acknowledgedReportsSurviveAKill()
{
    QFETCH(QString, db);
    if (QByteArray(QTest::currentDataTag()) == "postgresql" && db.isEmpty())
        QSKIP("no PostgreSQL cluster (ORVANE_TEST_PG_URL is not set)");
    TestHome home;
    ServerProcess server(home.path(), db);
    int acknowledged = 0;
    for (int i = 0; i < 20; ++i) {
        OVUsageReport report;
        report.setProductGUID(QStringLiteral("{3F2504E0-4F89-11D3-9A0C-0305E82C3301}"));
        report.AddUsageStat(QStringLiteral("{0A000000-0000-4000-8000-000000000001}"), 1, 0, 1.0);
        if (server.raw(OVFraming::ComposeUsagePost(QStringLiteral("x"), report.GetStateIntoByteArray()))
                .startsWith("HTTP/1.1 200 OK"))
            ++acknowledged;
    }
    server.kill();
    QCOMPARE(acknowledged, 20);
    const QJsonObject stats = server.stats();
    QCOMPARE(stats.value(QStringLiteral("reports")).toInt(), 20);
    QCOMPARE(stats.value(QStringLiteral("ads")).toArray()[0].toObject().value(QStringLiteral("views")).toInt(), 20);
}

void TestAdServer::wrongArgumentsExitWithTwo()
{
    TestHome home;
    for (const QStringList &args : {QStringList {QStringLiteral("serve")}, QStringList {QStringLiteral("bogus")},
             QStringList {QStringLiteral("serve"), QStringLiteral("--campaign"), home.path() + QStringLiteral("/none"),
                 QStringLiteral("--db"), QStringLiteral("sqlite:/tmp/x.db"), QStringLiteral("--listen"),
                 QStringLiteral("127.0.0.1:0")}}) {
        QProcess p;
        p.start(QStringLiteral(ADSERVER), args);
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), 2);
    }
}

QTEST_MAIN(TestAdServer)
#include "test_adserver.moc"
