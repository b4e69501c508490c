#include "RollupRows.h"

#include "PgArrayText.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QVariant>

#include <sqlite3.h>

namespace orvane::adserver {

namespace {

const char kAddAd[] = "INSERT INTO daily_ads (day, ad_guid, product_guid, views, clicks, reports) %1"
                      " ON CONFLICT (day, ad_guid, product_guid) DO UPDATE SET"
                      " views = daily_ads.views + excluded.views, clicks = daily_ads.clicks + excluded.clicks,"
                      " reports = daily_ads.reports + excluded.reports";
const char kAddAudience[]
    = "INSERT INTO daily_audience (day, product_guid, age_range, gender, country_code, rating, views, clicks,"
      " reports) %1 ON CONFLICT (day, product_guid, age_range, gender, country_code, rating) DO UPDATE SET"
      " views = daily_audience.views + excluded.views, clicks = daily_audience.clicks + excluded.clicks,"
      " reports = daily_audience.reports + excluded.reports";

void bindText(sqlite3_stmt *statement, int index, const QString &text)
{
    sqlite3_bind_text16(statement, index, text.utf16(), int(text.size() * 2), SQLITE_TRANSIENT);
}

QString describe(const QSqlQuery &q)
{
    QString text = q.lastError().databaseText().trimmed();
    if (text.isEmpty())
        text = q.lastError().driverText().trimmed();
    return text.replace(QLatin1Char('\n'), QLatin1Char(' '));
}

} // namespace

void RollupDelta::add(const StoredReport &report)
{
    const QString day = report.received.toUTC().date().toString(Qt::ISODate);
    Counts total;
    total.reports = 1;
    // An ad named twice in one report is one report for that ad.
    std::map<QString, Counts> perAd;
    // Only the ads the campaign lists: the unknown entries never reach a total.
    for (const StoredReport::AdCounts &a : report.counted) {
        Counts &c = perAd[a.adGuid];
        c.views += a.views;
        c.clicks += a.clicks;
        c.reports = 1;
        total.views += a.views;
        total.clicks += a.clicks;
    }
    for (const auto &[ad, c] : perAd) {
        Counts &sum = ads[{day, ad, report.productGuid}];
        sum.views += c.views;
        sum.clicks += c.clicks;
        sum.reports += c.reports;
    }
    Counts &sum
        = audience[{day, report.productGuid, report.ageRange, report.gender, report.countryCode, report.rating}];
    sum.views += total.views;
    sum.clicks += total.clicks;
    sum.reports += total.reports;
}

RollupRows::~RollupRows()
{
    sqlite3_finalize(m_ad);
    sqlite3_finalize(m_audience);
}

std::unique_ptr<RollupRows> RollupRows::create(const QSqlDatabase &db, bool postgres, QString *error)
{
    std::unique_ptr<RollupRows> rows(new RollupRows);
    if (postgres) {
        // Both tables in one statement: one round trip per group commit instead of two.
        rows->m_pg = std::make_unique<QSqlQuery>(db);
        const QString ads = QString::fromLatin1(kAddAd).arg(QStringLiteral(
            "SELECT * FROM unnest(?::varchar[], ?::text[], ?::text[], ?::bigint[], ?::bigint[], ?::bigint[])"));
        const QString audience = QString::fromLatin1(kAddAudience)
                                     .arg(QStringLiteral("SELECT * FROM unnest(?::varchar[], ?::text[], ?::int[], "
                                                         "?::text[], ?::text[], ?::int[], ?::bigint[], ?::bigint[], "
                                                         "?::bigint[])"));
        if (!rows->m_pg->prepare(QStringLiteral("WITH ads AS (%1) %2").arg(ads, audience))) {
            *error = describe(*rows->m_pg);
            return nullptr;
        }
        return rows;
    }
    const QVariant handle = db.driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0) {
        *error = QStringLiteral("the connection gives no SQLite handle");
        return nullptr;
    }
    rows->m_sqlite = *static_cast<sqlite3 *const *>(handle.constData());
    const QByteArray ad = QString::fromLatin1(kAddAd).arg(QStringLiteral("VALUES (?,?,?,?,?,?)")).toLatin1();
    const QByteArray audience
        = QString::fromLatin1(kAddAudience).arg(QStringLiteral("VALUES (?,?,?,?,?,?,?,?,?)")).toLatin1();
    if (sqlite3_prepare_v3(rows->m_sqlite, ad.constData(), -1, SQLITE_PREPARE_PERSISTENT, &rows->m_ad, nullptr)
            != SQLITE_OK
        || sqlite3_prepare_v3(
               rows->m_sqlite, audience.constData(), -1, SQLITE_PREPARE_PERSISTENT, &rows->m_audience, nullptr)
            != SQLITE_OK) {
        *error = QString::fromUtf8(sqlite3_errmsg(rows->m_sqlite));
        return nullptr;
    }
    return rows;
}

bool RollupRows::apply(const RollupDelta &delta, QString *error)
{
    if (delta.isEmpty())
        return true;
    return m_sqlite ? applySqlite(delta, error) : applyPostgres(delta, error);
}

QSqlError RollupRows::lastError() const
{
    if (m_pg)
        return m_pg->lastError();
    return QSqlError(QString(), m_lastMessage, QSqlError::StatementError, QString::number(m_lastCode));
}

bool RollupRows::step(sqlite3_stmt *statement, QString *error)
{
    const int result = sqlite3_step(statement);
    sqlite3_reset(statement);
    sqlite3_clear_bindings(statement);
    if (result == SQLITE_DONE)
        return true;
    m_lastCode = result;
    m_lastMessage = QString::fromUtf8(sqlite3_errmsg(m_sqlite));
    *error = m_lastMessage;
    return false;
}

bool RollupRows::applySqlite(const RollupDelta &delta, QString *error)
{
    for (const auto &[key, c] : delta.ads) {
        bindText(m_ad, 1, std::get<0>(key));
        bindText(m_ad, 2, std::get<1>(key));
        bindText(m_ad, 3, std::get<2>(key));
        sqlite3_bind_int64(m_ad, 4, c.views);
        sqlite3_bind_int64(m_ad, 5, c.clicks);
        sqlite3_bind_int64(m_ad, 6, c.reports);
        if (!step(m_ad, error))
            return false;
    }
    for (const auto &[key, c] : delta.audience) {
        bindText(m_audience, 1, std::get<0>(key));
        bindText(m_audience, 2, std::get<1>(key));
        sqlite3_bind_int(m_audience, 3, std::get<2>(key));
        bindText(m_audience, 4, std::get<3>(key));
        bindText(m_audience, 5, std::get<4>(key));
        sqlite3_bind_int(m_audience, 6, std::get<5>(key));
        sqlite3_bind_int64(m_audience, 7, c.views);
        sqlite3_bind_int64(m_audience, 8, c.clicks);
        sqlite3_bind_int64(m_audience, 9, c.reports);
        if (!step(m_audience, error))
            return false;
    }
    return true;
}

bool RollupRows::applyPostgres(const RollupDelta &delta, QString *error)
{
    PgArrayText ad[6];
    for (const auto &[key, c] : delta.ads) {
        ad[0].add(std::get<0>(key));
        ad[1].add(std::get<1>(key));
        ad[2].add(std::get<2>(key));
        ad[3].add(c.views);
        ad[4].add(c.clicks);
        ad[5].add(c.reports);
    }
    PgArrayText audience[9];
    for (const auto &[key, c] : delta.audience) {
        audience[0].add(std::get<0>(key));
        audience[1].add(std::get<1>(key));
        audience[2].add(qint64(std::get<2>(key)));
        audience[3].add(std::get<3>(key));
        audience[4].add(std::get<4>(key));
        audience[5].add(qint64(std::get<5>(key)));
        audience[6].add(c.views);
        audience[7].add(c.clicks);
        audience[8].add(c.reports);
    }
    for (int i = 0; i < 6; ++i)
        m_pg->bindValue(i, ad[i].text());
    for (int i = 0; i < 9; ++i)
        m_pg->bindValue(6 + i, audience[i].text());
    if (!m_pg->exec()) {
        *error = describe(*m_pg);
        return false;
    }
    return true;
}

} // namespace orvane::adserver
