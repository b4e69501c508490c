#pragma once

// The real server process and clients that talk to it, shared by the ad server's tests.
#include "exchange/OVFraming.h"
#include "exchange/OVUsageReport.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpSocket>
#include <QTest>
#include <QUuid>

#include <functional>

using namespace orvane;
using namespace Qt::StringLiterals;

inline const QString kProduct = u"{3F2504E0-4F89-11D3-9A0C-0305E82C3301}"_s;

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
        const QString campaign = folder + u"/campaign"_s;
        if (!QFileInfo::exists(campaign))
            QProcess::execute(QStringLiteral(ADSERVER), {u"sample-campaign"_s, campaign});
        m_args = QStringList {u"serve"_s, u"--campaign"_s, campaign, u"--db"_s, m_db, u"--listen"_s, u"127.0.0.1:0"_s}
            + extra;
        start();
    }
    ~ServerProcess()
    {
        process.terminate();
        process.waitForFinished(15000);
    }

    bool start()
    {
        process.start(QStringLiteral(ADSERVER), m_args);
        while (!process.canReadLine() && process.waitForReadyRead(10000)) {}
        const QByteArray out = process.readLine(); // "listening on ADDR:PORT"
        port = out.mid(out.lastIndexOf(':') + 1).trimmed().toUShort();
        return port > 0;
    }
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
    // One raw exchange on a fresh connection (from `from` when given): what came
    // back before the close or 3 s of silence.
    QByteArray raw(const QByteArray &request, const QHostAddress &from = QHostAddress()) const
    {
        QTcpSocket s;
        if (!from.isNull())
            s.bind(from);
        s.connectToHost(QHostAddress::LocalHost, port);
        s.write(request);
        QByteArray got;
        while (s.waitForReadyRead(3000))
            got += s.readAll();
        return got + s.readAll();
    }

    quint16 port = 0;
    QProcess process;
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
            if (answer.isEmpty())
                return; // the server is gone: this client stops
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
    bool stopping = false;
    QHash<QString, bool> answers;
};
