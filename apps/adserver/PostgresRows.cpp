#include "PostgresRows.h"

#include "PgArrayText.h"

#include <QSqlError>

namespace orvane::adserver {

namespace {

QString describe(const QSqlQuery &q)
{
    QString text = q.lastError().databaseText().trimmed();
    if (text.isEmpty())
        text = q.lastError().driverText().trimmed();
    return text.replace(QLatin1Char('\n'), QLatin1Char(' '));
}

// The columns of one table of per-ad entries, for a whole group.
class Entries
{
public:
    void add(const QString &id, const QList<StoredReport::AdCounts> &entries)
    {
        for (qsizetype j = 0; j < entries.size(); ++j) {
            const StoredReport::AdCounts &a = entries[j];
            m_columns[0].add(id);
            m_columns[1].add(qint64(j + 1));
            m_columns[2].add(a.adGuid);
            m_columns[3].add(qint64(a.views));
            m_columns[4].add(qint64(a.clicks));
            m_columns[5].add(a.lastViewTime);
            m_empty = false;
        }
    }
    bool insert(QSqlQuery &statement, QString *error, QSqlError *failure)
    {
        if (m_empty)
            return true;
        for (int c = 0; c < kColumns; ++c)
            statement.bindValue(c, m_columns[c].text());
        if (statement.exec())
            return true;
        *error = describe(statement);
        *failure = statement.lastError();
        return false;
    }

private:
    static constexpr int kColumns = 6;
    PgArrayText m_columns[kColumns];
    bool m_empty = true;
};

} // namespace

PostgresRows::PostgresRows(const QSqlDatabase &db)
    : m_reports(db)
    , m_ads(db)
    , m_unknown(db)
{
}

std::unique_ptr<PostgresRows> PostgresRows::create(const QSqlDatabase &db, QString *error)
{
    std::unique_ptr<PostgresRows> rows(new PostgresRows(db));
    if (!rows->m_reports.prepare(QStringLiteral(
            "INSERT INTO reports (id, received_at, peer, product_guid, rating, age_range, gender, postal_code, "
            "country_code) SELECT * FROM unnest(?::varchar[], ?::varchar[], ?::text[], ?::text[], ?::int[], "
            "?::int[], ?::text[], ?::text[], ?::text[])"))) {
        *error = describe(rows->m_reports);
        return nullptr;
    }
    if (!rows->m_ads.prepare(QStringLiteral(
            "INSERT INTO report_ads (report_id, position, ad_guid, views, clicks, last_view_time) SELECT * FROM "
            "unnest(?::varchar[], ?::int[], ?::text[], ?::int[], ?::int[], ?::double precision[])"))) {
        *error = describe(rows->m_ads);
        return nullptr;
    }
    if (!rows->m_unknown.prepare(QStringLiteral(
            "INSERT INTO report_unknown_ads (report_id, position, ad_guid, views, clicks, last_view_time) SELECT * "
            "FROM unnest(?::varchar[], ?::int[], ?::text[], ?::int[], ?::int[], ?::double precision[])"))) {
        *error = describe(rows->m_unknown);
        return nullptr;
    }
    return rows;
}

bool PostgresRows::insert(
    const QList<StoredReport> &reports, qsizetype from, qsizetype count, const QList<QString> &ids, QString *error)
{
    PgArrayText report[9];
    Entries ad;
    Entries unknown;
    for (qsizetype i = 0; i < count; ++i) {
        const StoredReport &r = reports[from + i];
        report[0].add(ids[i]);
        report[1].add(r.received.toUTC().toString(Qt::ISODateWithMs));
        report[2].add(r.peer);
        report[3].add(r.productGuid);
        report[4].add(qint64(r.rating));
        report[5].add(qint64(r.ageRange));
        report[6].add(r.gender);
        report[7].add(r.postalCode);
        report[8].add(r.countryCode);
        ad.add(ids[i], r.counted);
        unknown.add(ids[i], r.unknown);
    }
    for (int c = 0; c < 9; ++c)
        m_reports.bindValue(c, report[c].text());
    if (!m_reports.exec()) {
        *error = describe(m_reports);
        m_lastError = m_reports.lastError();
        return false;
    }
    return ad.insert(m_ads, error, &m_lastError) && unknown.insert(m_unknown, error, &m_lastError);
}

} // namespace orvane::adserver
