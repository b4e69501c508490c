#include "ReportStore.h"

#include <QAtomicInt>
#include <QSqlError>
#include <QUuid>
#include <QVariant>

namespace orvane::adserver {

namespace {

constexpr int kReportColumns = 9;
constexpr int kAdColumns = 6;
// Rows per INSERT statement: few statements per commit, far below any parameter limit.
constexpr int kReportRowsPerInsert = 64;
constexpr int kAdRowsPerInsert = 128;

const char *const kSchema[] = {
    "CREATE TABLE IF NOT EXISTS reports ("
    " id VARCHAR(36) PRIMARY KEY,"
    " received_at VARCHAR(32) NOT NULL,"
    " peer TEXT NOT NULL,"
    " product_guid TEXT NOT NULL,"
    " rating INTEGER NOT NULL,"
    " age_range INTEGER NOT NULL,"
    " gender TEXT NOT NULL,"
    " postal_code TEXT NOT NULL,"
    " country_code TEXT NOT NULL)",
    "CREATE TABLE IF NOT EXISTS report_ads ("
    " report_id VARCHAR(36) NOT NULL REFERENCES reports(id),"
    " position INTEGER NOT NULL,"
    " ad_guid TEXT NOT NULL,"
    " views INTEGER NOT NULL,"
    " clicks INTEGER NOT NULL,"
    " last_view_time DOUBLE PRECISION NOT NULL,"
    " PRIMARY KEY (report_id, position))",
};

QString describe(const QSqlError &e)
{
    QString text = e.databaseText().trimmed();
    if (text.isEmpty())
        text = e.driverText().trimmed();
    return text.replace(QLatin1Char('\n'), QLatin1Char(' '));
}

QString placeholders(int rows, int columns)
{
    QString row = QStringLiteral("(?");
    for (int c = 1; c < columns; ++c)
        row += QStringLiteral(",?");
    row += QLatin1Char(')');
    QString all = row;
    for (int r = 1; r < rows; ++r)
        all += QLatin1Char(',') + row;
    return all;
}

} // namespace

ReportStore::ReportStore(const DatabaseUrl &url)
    : m_url(url)
{
    static QAtomicInt serial;
    m_connectionName = QStringLiteral("orvane-reports-%1").arg(serial.fetchAndAddRelaxed(1));
}

ReportStore::~ReportStore()
{
    qDeleteAll(m_insertReports);
    qDeleteAll(m_insertAds);
    m_insertReports.clear();
    m_insertAds.clear();
    if (m_db.isValid()) {
        m_db.close();
        m_db = QSqlDatabase();
    }
    QSqlDatabase::removeDatabase(m_connectionName);
}

std::unique_ptr<ReportStore> ReportStore::open(const DatabaseUrl &url, QString *error)
{
    std::unique_ptr<ReportStore> store(new ReportStore(url));
    if (!QSqlDatabase::isDriverAvailable(url.driverName())) {
        *error = QStringLiteral("the Qt SQL driver %1 is not installed").arg(url.driverName());
        return nullptr;
    }
    store->m_db = QSqlDatabase::addDatabase(url.driverName(), store->m_connectionName);
    QSqlDatabase &db = store->m_db;
    if (url.kind == DatabaseUrl::Kind::Sqlite) {
        db.setDatabaseName(url.path);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000"));
    } else {
        db.setDatabaseName(url.database);
        if (!url.host.isEmpty())
            db.setHostName(url.host);
        if (url.port > 0)
            db.setPort(url.port);
        if (!url.user.isEmpty())
            db.setUserName(url.user);
        if (!url.password.isEmpty())
            db.setPassword(url.password);
        db.setConnectOptions(QStringLiteral("connect_timeout=10"));
    }
    if (!db.open()) {
        *error = QStringLiteral("cannot open %1: %2").arg(url.display(), describe(db.lastError()));
        return nullptr;
    }
    if (url.kind == DatabaseUrl::Kind::Sqlite) {
        // WAL lets `stats` read while the server writes; FULL makes every commit survive power loss.
        QSqlQuery mode(db);
        if (!mode.exec(QStringLiteral("PRAGMA journal_mode=WAL")) || !mode.next()
            || mode.value(0).toString().compare(QLatin1String("wal"), Qt::CaseInsensitive) != 0) {
            *error = QStringLiteral("cannot use %1: the database does not take WAL mode").arg(url.display());
            return nullptr;
        }
        if (!store->exec(QStringLiteral("PRAGMA synchronous=FULL"), error))
            return nullptr;
    }
    for (const char *statement : kSchema) {
        if (!store->exec(QString::fromLatin1(statement), error))
            return nullptr;
    }
    return store;
}

bool ReportStore::exec(const QString &sql, QString *error)
{
    QSqlQuery query(m_db);
    if (query.exec(sql))
        return true;
    *error = QStringLiteral("%1: %2").arg(m_url.display(), describe(query.lastError()));
    return false;
}

QSqlQuery *ReportStore::insertQuery(bool reports, int rows, QString *error)
{
    QHash<int, QSqlQuery *> &cache = reports ? m_insertReports : m_insertAds;
    if (QSqlQuery *q = cache.value(rows))
        return q;
    auto *query = new QSqlQuery(m_db);
    const QString sql = reports
        ? QStringLiteral("INSERT INTO reports (id, received_at, peer, product_guid, rating, age_range, gender, "
                         "postal_code, country_code) VALUES ")
            + placeholders(rows, kReportColumns)
        : QStringLiteral("INSERT INTO report_ads (report_id, position, ad_guid, views, clicks, last_view_time) VALUES ")
            + placeholders(rows, kAdColumns);
    if (!query->prepare(sql)) {
        *error = QStringLiteral("%1: %2").arg(m_url.display(), describe(query->lastError()));
        delete query;
        return nullptr;
    }
    cache.insert(rows, query);
    return query;
}

bool ReportStore::insert(const QList<StoredReport> &reports, qsizetype from, qsizetype count, QString *error)
{
    struct AdRow
    {
        qsizetype report;
        int position;
    };
    QList<QString> ids;
    ids.reserve(count);
    QList<AdRow> adRows;
    for (qsizetype i = from; i < from + count; ++i) {
        ids.append(QUuid::createUuid().toString(QUuid::WithoutBraces));
        for (int j = 0; j < reports[i].ads.size(); ++j)
            adRows.append({i, j});
    }
    auto run = [&](QSqlQuery *q) {
        if (q->exec())
            return true;
        *error = QStringLiteral("%1: %2").arg(m_url.display(), describe(q->lastError()));
        return false;
    };
    for (qsizetype start = 0; start < count; start += kReportRowsPerInsert) {
        const int rows = int(std::min<qsizetype>(kReportRowsPerInsert, count - start));
        QSqlQuery *q = insertQuery(true, rows, error);
        if (!q)
            return false;
        int p = 0;
        for (qsizetype i = start; i < start + rows; ++i) {
            const StoredReport &r = reports[from + i];
            q->bindValue(p++, ids[i]);
            q->bindValue(p++, r.received.toUTC().toString(Qt::ISODateWithMs));
            q->bindValue(p++, r.peer);
            q->bindValue(p++, r.productGuid);
            q->bindValue(p++, r.rating);
            q->bindValue(p++, r.ageRange);
            q->bindValue(p++, r.gender);
            q->bindValue(p++, r.postalCode);
            q->bindValue(p++, r.countryCode);
        }
        if (!run(q))
            return false;
    }
    for (qsizetype start = 0; start < adRows.size(); start += kAdRowsPerInsert) {
        const int rows = int(std::min<qsizetype>(kAdRowsPerInsert, adRows.size() - start));
        QSqlQuery *q = insertQuery(false, rows, error);
        if (!q)
            return false;
        int p = 0;
        for (qsizetype i = start; i < start + rows; ++i) {
            const AdRow &a = adRows[i];
            const StoredReport::AdCounts &counts = reports[a.report].ads[a.position];
            q->bindValue(p++, ids[a.report - from]);
            q->bindValue(p++, a.position + 1);
            q->bindValue(p++, counts.adGuid);
            q->bindValue(p++, counts.views);
            q->bindValue(p++, counts.clicks);
            q->bindValue(p++, counts.lastViewTime);
        }
        if (!run(q))
            return false;
    }
    return true;
}

bool ReportStore::begin(QString *error)
{
    if (m_db.transaction())
        return true;
    *error = QStringLiteral("%1: cannot begin a transaction: %2").arg(m_url.display(), describe(m_db.lastError()));
    return false;
}

bool ReportStore::commit(QString *error)
{
    if (m_db.commit())
        return true;
    *error = QStringLiteral("%1: commit failed: %2").arg(m_url.display(), describe(m_db.lastError()));
    m_db.rollback();
    return false;
}

bool ReportStore::store(const QList<StoredReport> &reports, QString *error)
{
    if (reports.isEmpty())
        return true;
    if (!begin(error))
        return false;
    if (!insert(reports, 0, reports.size(), error)) {
        m_db.rollback();
        return false;
    }
    return commit(error);
}

QList<bool> ReportStore::storeEach(const QList<StoredReport> &reports, QString *error)
{
    QList<bool> stored(reports.size(), false);
    if (reports.isEmpty() || !begin(error))
        return stored;
    for (qsizetype i = 0; i < reports.size(); ++i) {
        QString why;
        if (!exec(QStringLiteral("SAVEPOINT one_report"), &why)) {
            *error = why;
            m_db.rollback();
            return QList<bool>(reports.size(), false);
        }
        if (insert(reports, i, 1, &why)) {
            stored[i] = exec(QStringLiteral("RELEASE SAVEPOINT one_report"), &why);
        } else {
            *error = why;
            exec(QStringLiteral("ROLLBACK TO SAVEPOINT one_report"), &why);
            exec(QStringLiteral("RELEASE SAVEPOINT one_report"), &why);
        }
    }
    if (!commit(error))
        return QList<bool>(reports.size(), false);
    return stored;
}

std::optional<StoreStats> ReportStore::stats(QString *error)
{
    StoreStats stats;
    QSqlQuery count(m_db);
    if (!count.exec(QStringLiteral("SELECT COUNT(*) FROM reports")) || !count.next()) {
        *error = QStringLiteral("%1: %2").arg(m_url.display(), describe(count.lastError()));
        return std::nullopt;
    }
    stats.reports = count.value(0).toLongLong();
    QSqlQuery totals(m_db);
    totals.setForwardOnly(true);
    if (!totals.exec(QStringLiteral(
            "SELECT ad_guid, SUM(views), SUM(clicks) FROM report_ads GROUP BY ad_guid ORDER BY ad_guid"))) {
        *error = QStringLiteral("%1: %2").arg(m_url.display(), describe(totals.lastError()));
        return std::nullopt;
    }
    while (totals.next())
        stats.ads.append({totals.value(0).toString(), totals.value(1).toLongLong(), totals.value(2).toLongLong()});
    return stats;
}

} // namespace orvane::adserver
