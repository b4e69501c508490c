#include "SchemaMigrations.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace orvane::adserver {

namespace {

// Version 1: the raw rows, one per report and one per ad of a report.
const char *const kVersion1[] = {
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

// Version 2: daily rollups kept in the same transactions as the raw rows, back-filled
// from the raw rows already there, and the campaign's ad-to-advertiser map.
// Days are UTC dates as text (YYYY-MM-DD), the first ten characters of received_at.
const char *const kVersion2[] = {
    // Raw rows past their keeping time go oldest first, found without a scan.
    "CREATE INDEX reports_received ON reports (received_at)",
    "CREATE TABLE campaign_ads ("
    " ad_guid TEXT PRIMARY KEY,"
    " advertiser_guid TEXT NOT NULL)",
    "CREATE TABLE daily_ads ("
    " day VARCHAR(10) NOT NULL,"
    " ad_guid TEXT NOT NULL,"
    " product_guid TEXT NOT NULL,"
    " views BIGINT NOT NULL,"
    " clicks BIGINT NOT NULL,"
    " reports BIGINT NOT NULL,"
    " PRIMARY KEY (day, ad_guid, product_guid))%1",
    "CREATE TABLE daily_audience ("
    " day VARCHAR(10) NOT NULL,"
    " product_guid TEXT NOT NULL,"
    " age_range INTEGER NOT NULL,"
    " gender TEXT NOT NULL,"
    " country_code TEXT NOT NULL,"
    " rating INTEGER NOT NULL,"
    " views BIGINT NOT NULL,"
    " clicks BIGINT NOT NULL,"
    " reports BIGINT NOT NULL,"
    " PRIMARY KEY (day, product_guid, age_range, gender, country_code, rating))%1",
    "INSERT INTO daily_ads (day, ad_guid, product_guid, views, clicks, reports)"
    " SELECT substr(r.received_at, 1, 10), a.ad_guid, r.product_guid, SUM(a.views), SUM(a.clicks),"
    " COUNT(DISTINCT r.id) FROM reports r JOIN report_ads a ON a.report_id = r.id GROUP BY 1, 2, 3",
    "INSERT INTO daily_audience (day, product_guid, age_range, gender, country_code, rating, views, clicks, reports)"
    " SELECT substr(r.received_at, 1, 10), r.product_guid, r.age_range, r.gender, r.country_code, r.rating,"
    " COALESCE(SUM(a.views), 0), COALESCE(SUM(a.clicks), 0), COUNT(*) FROM reports r LEFT JOIN"
    " (SELECT report_id, SUM(views) AS views, SUM(clicks) AS clicks FROM report_ads GROUP BY report_id) a"
    " ON a.report_id = r.id GROUP BY 1, 2, 3, 4, 5, 6",
};

// Version 3: entries of ids the campaign does not list, kept for the operator and
// never counted. A database made before versions were kept may have it already.
const char *const kVersion3[] = {
    "CREATE TABLE IF NOT EXISTS report_unknown_ads ("
    " report_id VARCHAR(36) NOT NULL REFERENCES reports(id),"
    " position INTEGER NOT NULL,"
    " ad_guid TEXT NOT NULL,"
    " views INTEGER NOT NULL,"
    " clicks INTEGER NOT NULL,"
    " last_view_time DOUBLE PRECISION NOT NULL,"
    " PRIMARY KEY (report_id, position))",
};

struct Step
{
    const char *const *begin;
    const char *const *end;
};
const Step kSteps[] = {
    {std::begin(kVersion1), std::end(kVersion1)},
    {std::begin(kVersion2), std::end(kVersion2)},
    {std::begin(kVersion3), std::end(kVersion3)},
};
static_assert(std::size(kSteps) == SchemaMigrations::kCurrentVersion);

// Any number above zero: the lock that one upgrade at a time holds on PostgreSQL.
constexpr qint64 kUpgradeLock = 0x4F7276616E65; // "Orvane"

class Runner
{
public:
    Runner(QSqlDatabase &db, QString *error)
        : m_db(db)
        , m_error(error)
    {
    }
    bool exec(const QString &sql)
    {
        QSqlQuery query(m_db);
        return run(query, sql);
    }
    // The first column of the first row, or an invalid value.
    QVariant value(const QString &sql)
    {
        QSqlQuery query(m_db);
        if (!run(query, sql) || !query.next())
            return QVariant();
        return query.value(0);
    }

private:
    bool run(QSqlQuery &query, const QString &sql)
    {
        if (query.exec(sql))
            return true;
        QString text = query.lastError().databaseText().trimmed();
        if (text.isEmpty())
            text = query.lastError().driverText().trimmed();
        *m_error = text.replace(QLatin1Char('\n'), QLatin1Char(' '));
        return false;
    }

    QSqlDatabase &m_db;
    QString *m_error;
};

} // namespace

bool SchemaMigrations::upgrade(QSqlDatabase &db, bool postgres, bool mayCreate, QString *error)
{
    Runner run(db, error);
    // SQLite: IMMEDIATE takes the write lock at once, so two openers never both read an old version.
    if (!run.exec(postgres ? QStringLiteral("BEGIN") : QStringLiteral("BEGIN IMMEDIATE")))
        return false;
    auto fail = [&] {
        QString ignored;
        Runner(db, &ignored).exec(QStringLiteral("ROLLBACK"));
        return false;
    };
    if (postgres && !run.exec(QStringLiteral("SELECT pg_advisory_xact_lock(%1)").arg(kUpgradeLock)))
        return fail();
    const auto exists = [&](const char *table) {
        const QString name = QString::fromLatin1(table);
        const QVariant found = postgres
            ? run.value(QStringLiteral("SELECT to_regclass('%1') IS NOT NULL").arg(name))
            : run.value(QStringLiteral("SELECT COUNT(*) > 0 FROM sqlite_master WHERE type = 'table' AND name = '%1'")
                            .arg(name));
        return found.isValid() ? std::optional<bool>(found.toBool()) : std::nullopt;
    };
    const std::optional<bool> versioned = exists("schema_version");
    const std::optional<bool> hasReports = exists("reports");
    if (!versioned || !hasReports)
        return fail();
    int version = 0;
    if (*versioned) {
        const QVariant v = run.value(QStringLiteral("SELECT MAX(version) FROM schema_version"));
        if (!v.isValid())
            return fail();
        version = v.toInt();
    } else if (*hasReports) {
        version = 1; // the schema from before versions were kept
    }
    if (version > kCurrentVersion) {
        *error = QStringLiteral("the database's schema version %1 is newer than this server's (%2)")
                     .arg(version)
                     .arg(kCurrentVersion);
        return fail();
    }
    if (version == 0 && !mayCreate) {
        *error = QStringLiteral("the database holds no reports");
        return fail();
    }
    if (version == kCurrentVersion)
        return run.exec(QStringLiteral("COMMIT")) || fail();
    if (!*versioned && !run.exec(QStringLiteral("CREATE TABLE schema_version (version INTEGER NOT NULL)")))
        return fail();
    for (int step = version; step < kCurrentVersion; ++step) {
        for (const char *const *statement = kSteps[step].begin; statement != kSteps[step].end; ++statement) {
            QString sql = QString::fromLatin1(*statement);
            // SQLite keeps a rollup table in its key's order, so a report reads
            // its rows in one pass instead of looking each one up.
            if (sql.contains(QLatin1String("%1")))
                sql = sql.arg(postgres ? QString() : QStringLiteral(" WITHOUT ROWID"));
            if (!run.exec(sql))
                return fail();
        }
    }
    if (!run.exec(QStringLiteral("DELETE FROM schema_version"))
        || !run.exec(QStringLiteral("INSERT INTO schema_version (version) VALUES (%1)").arg(kCurrentVersion)))
        return fail();
    return run.exec(QStringLiteral("COMMIT")) || fail();
}

} // namespace orvane::adserver
