#pragma once

// The real server process and clients that talk to it, shared by the ad server's tests.
#include "exchange/OVFraming.h"
#include "exchange/OVUsageReport.h"

#include "TestData.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTcpSocket>
#include <QTest>
#include <QUrlQuery>
#include <QUuid>

#include <functional>
#include <optional>

using namespace orvane;
using namespace Qt::StringLiterals;

inline const QString kProduct = u"{3F2504E0-4F89-11D3-9A0C-0305E82C3301}"_s;

// The id of the sample campaign's ad `n`.
inline QString campaignAd(int n)
{
    return u"{0A000000-0000-4000-8000-%1}"_s.arg(n, 12, 10, QLatin1Char('0'));
}

// A GET of `path` with more header lines.
inline QByteArray get(const QByteArray &path, const QByteArray &extra = QByteArray())
{
    return "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + extra + "\r\n";
}

// One request on a fresh connection (from `from` when given): the answer once
// its head and Content-Length body are in, the peer closes, or 10 s pass in silence.
inline QByteArray exchange(quint16 port, const QByteArray &request, const QHostAddress &from = QHostAddress())
{
    QTcpSocket s;
    if (!from.isNull())
        s.bind(from);
    s.connectToHost(QHostAddress::LocalHost, port);
    s.write(request);
    static const QRegularExpression length(u"Content-Length: (\\d+)"_s);
    QByteArray got;
    for (;;) {
        const qsizetype head = got.indexOf("\r\n\r\n");
        const auto m = length.match(QString::fromLatin1(got.left(head)));
        if (head >= 0 && m.hasMatch() && got.size() >= head + 4 + m.captured(1).toInt())
            return got;
        if (!s.waitForReadyRead(10000))
            return got + s.readAll();
        got += s.readAll();
    }
}
// The status code of an answer; 0 when none came.
inline int statusOf(const QByteArray &answer)
{
    return answer.startsWith("HTTP/1.1 ") ? answer.mid(9, 3).toInt() : 0;
}
inline QByteArray bodyOf(const QByteArray &answer)
{
    return answer.mid(answer.indexOf("\r\n\r\n") + 4);
}

// The value of one metric series ("name" or "name{labels}") in an exposition; 0 when absent.
inline double seriesValue(const QByteArray &text, const QByteArray &series)
{
    for (const QByteArray &line : text.split('\n')) {
        if (line.startsWith(series + ' '))
            return line.mid(series.size() + 1).toDouble();
    }
    return 0;
}

// The --db of a row's database: empty for SQLite in the test's folder, the
// throw-away cluster's for "postgresql"; none when there is no cluster.
inline std::optional<QString> database(const QString &kind)
{
    if (kind == u"sqlite"_s)
        return QString();
    const QString url = qEnvironmentVariable("ORVANE_TEST_PG_URL");
    return url.isEmpty() ? std::nullopt : std::optional(url);
}
inline void bothDatabases()
{
    QTest::addColumn<QString>("db");
    QTest::newRow("sqlite") << u"sqlite"_s;
    QTest::newRow("postgresql") << u"postgresql"_s;
}
// The row's database as `url`; the row is skipped where there is no cluster.
#define FETCH_DATABASE(url)                                                                                            \
    QFETCH(QString, db);                                                                                               \
    const std::optional<QString> url = database(db);                                                                   \
    if (!url)                                                                                                          \
    QSKIP("no PostgreSQL cluster (ORVANE_TEST_PG_URL is not set)")

// A connection of the test's own, named `name`, to a server's --db
// (sqlite:PATH or postgresql://USER@/DB?host=DIR).
inline QSqlDatabase openDatabase(const QString &url, const QString &name)
{
    const bool sqlite = url.startsWith(u"sqlite:"_s);
    QSqlDatabase db = QSqlDatabase::addDatabase(sqlite ? u"QSQLITE"_s : u"QPSQL"_s, name);
    const QUrl parsed(url);
    db.setDatabaseName(sqlite ? url.mid(7) : parsed.path().mid(1));
    db.setHostName(QUrlQuery(parsed).queryItemValue(u"host"_s));
    db.setUserName(parsed.userName());
    return db;
}

// Another connection to the reports database holding the write lock, as a
// migration would, until it is destroyed.
class TableLock
{
public:
    explicit TableLock(const QString &url)
    {
        QSqlDatabase db = openDatabase(url, kName);
        QVERIFY2(db.open(), qPrintable(db.lastError().text()));
        QSqlQuery q(db);
        const bool sqlite = db.driverName() == u"QSQLITE"_s;
        QVERIFY2(q.exec(sqlite ? u"BEGIN EXCLUSIVE"_s : u"BEGIN"_s)
                && (sqlite || q.exec(u"LOCK TABLE reports IN ACCESS EXCLUSIVE MODE"_s)),
            qPrintable(q.lastError().text()));
    }
    ~TableLock()
    {
        {
            QSqlDatabase db = QSqlDatabase::database(kName);
            QSqlQuery(db).exec(u"ROLLBACK"_s);
            db.close();
        }
        QSqlDatabase::removeDatabase(kName);
    }

private:
    static inline const QString kName = u"lock"_s;
};

// A usage post of one statistic with its own ad id.
inline QByteArray post(
    const QString &adGuid, double lastViewTime = 46000.5, const QString &product = kProduct, int16_t views = 1)
{
    OVUsageReport report;
    report.setProductGUID(product);
    report.AddUsageStat(adGuid, views, 0, lastViewTime);
    return OVFraming::ComposeUsagePost(u"127.0.0.1"_s, report.GetStateIntoByteArray());
}

// Ad ids unique to one test row, so rows may share a PostgreSQL database.
struct AdIds
{
    QString next() { return prefix + u"%1}"_s.arg(++count, 12, 10, QLatin1Char('0')); }
    QString prefix = QUuid::createUuid().toString(QUuid::WithBraces).toUpper().left(25);
    int count = 0;
};

// Runs the server program with `args`: its exit code, standard output and error.
struct Run
{
    explicit Run(const QStringList &args)
    {
        QProcess p;
        p.start(QStringLiteral(ADSERVER), args);
        p.waitForFinished(20000);
        code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        out = p.readAllStandardOutput();
        err = p.readAllStandardError();
    }
    int code = -1;
    QByteArray out;
    QByteArray err;
};

// The sample campaign in `folder`/campaign, unless one is there already.
inline QString sampleCampaign(const QString &folder)
{
    const QString campaign = folder + u"/campaign"_s;
    if (!QFileInfo::exists(campaign))
        QProcess::execute(QStringLiteral(ADSERVER), {u"sample-campaign"_s, campaign});
    return campaign;
}

// The JSON report rows whose `key` field starts with `prefix`, by that field.
inline QHash<QString, QJsonObject> reportRows(
    const QByteArray &json, const QString &key, const QString &prefix = QString())
{
    QHash<QString, QJsonObject> rows;
    for (const QByteArray &line : json.split('\n')) {
        const QJsonObject row = QJsonDocument::fromJson(line).object();
        const QString name = row.value(key).toVariant().toString();
        if (!row.isEmpty() && name.startsWith(prefix))
            rows.insert(name, row);
    }
    return rows;
}

// The real server process with the sample campaign; later `extra` flags
// override the defaults.
struct ServerProcess
{
    explicit ServerProcess(const QString &folder, const QString &db = QString(), const QStringList &extra = {})
        : m_db(db.isEmpty() ? u"sqlite:"_s + folder + u"/reports.db"_s : db)
    {
        const QString campaign = sampleCampaign(folder);
        m_args = QStringList {u"serve"_s, u"--campaign"_s, campaign, u"--db"_s, m_db, u"--listen"_s, u"127.0.0.1:0"_s}
            + extra;
        start();
    }
    ~ServerProcess()
    {
        process.terminate();
        process.waitForFinished(15000);
    }

    // Starts the server; true once it says where it listens (and where its
    // admin listener does, when it has one).
    bool start()
    {
        process.start(QStringLiteral(ADSERVER), m_args);
        const bool admin = m_args.contains(u"--admin-listen"_s);
        port = adminPort = 0;
        while ((port == 0 || (admin && adminPort == 0)) && (process.canReadLine() || process.waitForReadyRead(10000))) {
            while (process.canReadLine()) {
                const QByteArray line = process.readLine();
                log += line;
                const quint16 p = line.mid(line.lastIndexOf(':') + 1).trimmed().toUShort();
                if (line.startsWith("listening on"))
                    port = p;
                else if (line.contains("admin listening on"))
                    adminPort = p;
            }
        }
        return port > 0;
    }
    // Standard output so far.
    QByteArray output()
    {
        log += process.readAllStandardOutput();
        return log;
    }
    QByteArray admin(const QByteArray &path, const QByteArray &extra = QByteArray()) const
    {
        return exchange(adminPort, get(path, extra));
    }
    double metric(const QByteArray &series) const { return seriesValue(bodyOf(admin("/metrics")), series); }
    QJsonObject stats() const
    {
        QProcess p;
        p.start(QStringLiteral(ADSERVER), {u"stats"_s, u"--db"_s, m_db, u"--json"_s});
        p.waitForFinished(10000);
        return QJsonDocument::fromJson(p.readAllStandardOutput()).object();
    }
    // `report --db` this server's database with more arguments.
    Run report(const QStringList &args) const { return Run(QStringList {u"report"_s, u"--db"_s, m_db} + args); }
    // Views per stored ad id of `ids` (made-up ids: stored apart from the campaign's).
    QHash<QString, int> views(const AdIds &ids) const
    {
        QHash<QString, int> found;
        const QJsonObject totals = stats();
        for (const QString &list : {u"ads"_s, u"unknown"_s}) {
            for (const QJsonValue &ad : totals.value(list).toArray()) {
                const QString guid = ad.toObject().value(u"guid"_s).toString();
                if (guid.startsWith(ids.prefix))
                    found[guid] += ad.toObject().value(u"views"_s).toInt();
            }
        }
        return found;
    }
    quint16 port = 0;
    quint16 adminPort = 0;
    QProcess process;
    QByteArray log;
    QString m_db;
    QStringList m_args;
};

// Clients posting reports (`compose` makes one of a fresh ad id), each on a
// new connection as soon as the last one is answered, until told to stop or
// the server goes away. `answers` tells for every answered id whether it was
// acknowledged.
struct ReportLoad
{
    ReportLoad(quint16 port, AdIds *ids, int clients, std::function<QByteArray(const QString &)> compose)
        : port(port)
        , ids(ids)
        , compose(std::move(compose))
    {
        for (int i = 0; i < clients; ++i)
            next();
    }
    void next()
    {
        if (stopping)
            return;
        ++running;
        auto *s = new QTcpSocket;
        const QString guid = ids->next();
        QObject::connect(s, &QTcpSocket::readyRead, s, [s] {
            if (s->peek(s->bytesAvailable()).contains("\r\n\r\n"))
                s->disconnectFromHost();
        });
        QObject::connect(s, &QTcpSocket::stateChanged, s, [this, s, guid](auto state) {
            if (state != QAbstractSocket::UnconnectedState)
                return;
            const QByteArray answer = s->readAll();
            --running;
            s->deleteLater();
            if (answer.isEmpty()) {
                ++cut;
                return; // the server is gone: this client stops
            }
            answers.insert(guid, answer.startsWith("HTTP/1.1 200 OK"));
            next();
        });
        s->connectToHost(QHostAddress::LocalHost, port);
        s->write(compose(guid));
    }
    bool settle()
    {
        stopping = true;
        return QTest::qWaitFor([&] { return running == 0; }, 5000);
    }

    quint16 port;
    AdIds *ids;
    std::function<QByteArray(const QString &)> compose;
    int running = 0;
    int cut = 0; // connections closed without an answer
    bool stopping = false;
    QHash<QString, bool> answers;
};
