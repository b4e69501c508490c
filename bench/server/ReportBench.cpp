#include "ReportBench.h"

#include "ReportQuery.h"
#include "ReportStore.h"

#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QUrlQuery>

#include <algorithm>
#include <cstdio>
#include <ctime>

using namespace orvane::adserver;

namespace bench {

namespace {

// CPU time of this process: what the query costs here, whatever else the machine runs.
double cpuMs()
{
    timespec t {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

constexpr int kDays = 30;
constexpr int kAds = 1000;
constexpr int kQueryRounds = 7;

// The raw tables of the schema before rollups, their keys built after the
// rows (far faster than row by row): opening the store afterwards upgrades it
// and back-fills the rollups from these rows.
const char *const kRawTables[] = {
    "CREATE TABLE reports (id VARCHAR(36) NOT NULL, received_at VARCHAR(32) NOT NULL, peer TEXT NOT NULL,"
    " product_guid TEXT NOT NULL, rating INTEGER NOT NULL, age_range INTEGER NOT NULL, gender TEXT NOT NULL,"
    " postal_code TEXT NOT NULL, country_code TEXT NOT NULL)",
    "CREATE TABLE report_ads (report_id VARCHAR(36) NOT NULL, position INTEGER NOT NULL,"
    " ad_guid TEXT NOT NULL, views INTEGER NOT NULL, clicks INTEGER NOT NULL,"
    " last_view_time DOUBLE PRECISION NOT NULL)",
};
const char *const kRawKeys[] = {
    "CREATE UNIQUE INDEX reports_id ON reports (id)",
    "CREATE UNIQUE INDEX report_ads_key ON report_ads (report_id, position)",
};

// One report row and one ad row per number i: day i % 30, ad i % 1000.
QStringList generators(bool postgres, qint64 rows)
{
    if (postgres)
        return {QStringLiteral("INSERT INTO reports SELECT 'r' || i, to_char(DATE '2026-11-01' + "
                               "(i % %1)::int, 'YYYY-MM-DD') || 'T12:00:00.000Z', '127.0.0.1', 'P', 20, 30, 'F', '', "
                               "'DE' FROM generate_series(0, %2) AS i")
                    .arg(kDays)
                    .arg(rows - 1),
            QStringLiteral("INSERT INTO report_ads SELECT 'r' || i, 1, 'AD' || ((i / %3) % %1), 2, i % 2, "
                           "46000 FROM generate_series(0, %2) AS i")
                .arg(kAds)
                .arg(rows - 1)
                .arg(kDays)};
    return {QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < %2) "
                           "INSERT INTO reports SELECT 'r' || i, date('2026-11-01', '+' || (i % %1) || "
                           "' days') || 'T12:00:00.000Z', '127.0.0.1', 'P', 20, 30, 'F', '', 'DE' FROM n")
                .arg(kDays)
                .arg(rows - 1),
        QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < %2) "
                       "INSERT INTO report_ads SELECT 'r' || i, 1, 'AD' || ((i / %3) % %1), 2, i % 2, 46000 FROM n")
            .arg(kAds)
            .arg(rows - 1)
            .arg(kDays)};
}

// A fresh database holding `rows` raw reports: its URL, or empty.
QString makeDatabase(const QString &db, const QString &folder, qint64 rows)
{
    const bool postgres = db != QLatin1String("sqlite");
    const QString connection = QStringLiteral("report-bench");
    QString url;
    {
        QSqlDatabase sql = QSqlDatabase::addDatabase(postgres ? "QPSQL" : "QSQLITE", connection);
        if (postgres) {
            const QUrl parsed(db);
            sql.setHostName(QUrlQuery(parsed).queryItemValue(QStringLiteral("host")));
            if (sql.hostName().isEmpty())
                sql.setHostName(parsed.host());
            sql.setUserName(parsed.userName());
            sql.setDatabaseName(parsed.path().mid(1));
            const QString name = QStringLiteral("report_bench_%1").arg(rows);
            if (!sql.open())
                return QString();
            QSqlQuery(sql).exec(QStringLiteral("DROP DATABASE IF EXISTS ") + name);
            QSqlQuery(sql).exec(QStringLiteral("CREATE DATABASE ") + name);
            sql.close();
            sql.setDatabaseName(name);
            url = QString(db).replace(
                QLatin1Char('/') + parsed.path().mid(1) + QLatin1Char('?'), QLatin1Char('/') + name + QLatin1Char('?'));
        } else {
            const QString path = folder + QStringLiteral("/report-%1.db").arg(rows);
            sql.setDatabaseName(path);
            url = QStringLiteral("sqlite:") + path;
        }
        if (!sql.open())
            return QString();
        QStringList statements;
        for (const char *table : kRawTables)
            statements.append(QString::fromLatin1(table));
        statements += generators(postgres, rows);
        for (const char *key : kRawKeys)
            statements.append(QString::fromLatin1(key));
        for (const QString &statement : statements) {
            QSqlQuery q(sql);
            if (!q.exec(statement)) {
                std::printf("  cannot generate rows: %s\n", qPrintable(q.lastError().text()));
                return QString();
            }
        }
        sql.close();
    }
    QSqlDatabase::removeDatabase(connection);
    return url;
}

} // namespace

void runReportBench(const QString &db, const QString &folder)
{
    const bool postgres = db != QLatin1String("sqlite");
    QList<qint64> sizes {1000000, 10000000};
    const QStringList given = qEnvironmentVariable("ORVANE_BENCH_REPORT_ROWS").split(u',', Qt::SkipEmptyParts);
    if (given.size() == 2)
        sizes = {given[0].toLongLong(), given[1].toLongLong()};
    std::printf("report --by day,ad over %d days x %d ads, %s\n", kDays, kAds, postgres ? "PostgreSQL" : "SQLite");
    QList<double> best;
    for (qint64 rows : sizes) {
        QElapsedTimer made;
        made.start();
        const QString url = makeDatabase(db, folder, rows);
        QString error;
        std::unique_ptr<ReportStore> store;
        if (!url.isEmpty()) {
            const auto parsed = DatabaseUrl::parse(url, &error);
            store = parsed ? ReportStore::open(*parsed, &error) : nullptr; // upgrades: back-fills the rollups
        }
        if (!store) {
            std::printf("  %lld rows: no database: %s\n", static_cast<long long>(rows), qPrintable(error));
            return;
        }
        const double setupSeconds = made.elapsed() / 1000.0;
        ReportQuery query(*store);
        ReportRequest request;
        request.since = QDate(2026, 11, 1);
        request.until = request.since.addDays(kDays - 1);
        request.by = {ReportDimension::Day, ReportDimension::Ad};
        double fastest = 1e300;
        double leastCpu = 1e300;
        qsizetype count = 0;
        for (int round = 0; round < kQueryRounds; ++round) {
            QElapsedTimer t;
            t.start();
            const double cpu = cpuMs();
            const auto result = query.run(request, &error);
            leastCpu = std::min(leastCpu, cpuMs() - cpu);
            fastest = std::min(fastest, t.nsecsElapsed() / 1e6);
            count = result ? result->size() : -1;
        }
        best.append(fastest);
        std::printf("  %9lld raw rows  %6lld result rows  %7.2f ms (best of %d; %.2f ms CPU here)  [generated and "
                    "rolled up in %.0f s]\n",
            static_cast<long long>(rows), static_cast<long long>(count), fastest, kQueryRounds, leastCpu, setupSeconds);
        std::fflush(stdout);
    }
    if (best.size() == 2)
        std::printf("  ratio of the time at %lld rows to the time at %lld rows: %.2f\n",
            static_cast<long long>(sizes[1]), static_cast<long long>(sizes[0]), best[1] / best[0]);
}

} // namespace bench
