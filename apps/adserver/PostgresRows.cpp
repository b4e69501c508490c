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

} // namespace

PostgresRows::PostgresRows(const QSqlDatabase &db)
    : m_reports(db)
    , m_ads(db)
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
    return rows;
}

bool PostgresRows::insert(
    const QList<StoredReport> &reports, qsizetype from, qsizetype count, const QList<QString> &ids, QString *error)
{
    PgArrayText report[9];
    PgArrayText ad[6];
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
        for (qsizetype j = 0; j < r.ads.size(); ++j) {
            const StoredReport::AdCounts &a = r.ads[j];
            ad[0].add(ids[i]);
            ad[1].add(qint64(j + 1));
            ad[2].add(a.adGuid);
            ad[3].add(qint64(a.views));
            ad[4].add(qint64(a.clicks));
            ad[5].add(a.lastViewTime);
        }
    }
    for (int c = 0; c < 9; ++c)
        m_reports.bindValue(c, report[c].text());
    if (!m_reports.exec()) {
        *error = describe(m_reports);
        return false;
    }
    if (ad[0].isEmpty())
        return true; // no statistics in the whole group
    for (int c = 0; c < 6; ++c)
        m_ads.bindValue(c, ad[c].text());
    if (!m_ads.exec()) {
        *error = describe(m_ads);
        return false;
    }
    return true;
}

} // namespace orvane::adserver
