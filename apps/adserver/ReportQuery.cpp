#include "ReportQuery.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>

#include <sqlite3.h>

namespace orvane::adserver {

namespace {

struct DimensionInfo
{
    ReportDimension dimension;
    const char *name;
    const char *adColumn; // in daily_ads joined with campaign_ads, or null
    const char *audienceColumn; // in daily_audience, or null
};

const DimensionInfo kDimensions[] = {
    {ReportDimension::Day, "day", "d.day", "day"},
    {ReportDimension::Ad, "ad", "d.ad_guid", nullptr},
    {ReportDimension::Product, "product", "d.product_guid", "product_guid"},
    {ReportDimension::Advertiser, "advertiser", "COALESCE(c.advertiser_guid, '')", nullptr},
    {ReportDimension::Age, "age", nullptr, "age_range"},
    {ReportDimension::Gender, "gender", nullptr, "gender"},
    {ReportDimension::Country, "country", nullptr, "country_code"},
    {ReportDimension::Rating, "rating", nullptr, "rating"},
};

const DimensionInfo &info(ReportDimension d)
{
    return kDimensions[int(d)];
}

bool needsAds(const ReportRequest &request)
{
    return request.by.contains(ReportDimension::Ad) || request.by.contains(ReportDimension::Advertiser);
}

} // namespace

ReportQuery::ReportQuery(ReportStore &store)
    : m_store(store)
{
}

QString ReportQuery::name(ReportDimension dimension)
{
    return QString::fromLatin1(info(dimension).name);
}

std::optional<ReportDimension> ReportQuery::dimension(const QString &name)
{
    for (const DimensionInfo &d : kDimensions) {
        if (name == QLatin1String(d.name))
            return d.dimension;
    }
    return std::nullopt;
}

QString ReportQuery::check(const ReportRequest &request)
{
    if (request.since.isValid() && request.until.isValid() && request.since > request.until)
        return QStringLiteral("the first day is after the last");
    const bool ads = needsAds(request);
    for (qsizetype i = 0; i < request.by.size(); ++i) {
        const DimensionInfo &d = info(request.by[i]);
        if (request.by.indexOf(request.by[i]) != i)
            return QStringLiteral("%1 is named twice").arg(QLatin1String(d.name));
        if (ads && !d.adColumn)
            return QStringLiteral("ad and advertiser do not combine with %1").arg(QLatin1String(d.name));
    }
    return QString();
}

std::optional<QList<ReportRow>> ReportQuery::run(const ReportRequest &request, QString *error)
{
    if (const QString why = check(request); !why.isEmpty()) {
        *error = why;
        return std::nullopt;
    }
    const bool ads = needsAds(request);
    QStringList columns;
    for (ReportDimension d : request.by)
        columns.append(QString::fromLatin1(ads ? info(d).adColumn : info(d).audienceColumn));
    const QString day = ads ? QStringLiteral("d.day") : QStringLiteral("day");
    QStringList where;
    if (request.since.isValid())
        where.append(day + QStringLiteral(" >= :since"));
    if (request.until.isValid())
        where.append(day + QStringLiteral(" <= :until"));
    QString sql = QStringLiteral("SELECT ");
    for (const QString &column : columns)
        sql += column + QStringLiteral(", ");
    sql += ads ? QStringLiteral("SUM(d.views), SUM(d.clicks), SUM(d.reports) FROM daily_ads d")
               : QStringLiteral("SUM(views), SUM(clicks), SUM(reports) FROM daily_audience");
    if (request.by.contains(ReportDimension::Advertiser))
        sql += QStringLiteral(" LEFT JOIN campaign_ads c ON c.ad_guid = d.ad_guid");
    if (!where.isEmpty())
        sql += QStringLiteral(" WHERE ") + where.join(QStringLiteral(" AND "));
    if (!columns.isEmpty()) {
        const QString list = columns.join(QStringLiteral(", "));
        sql += QStringLiteral(" GROUP BY ") + list + QStringLiteral(" ORDER BY ") + list;
    }
    const QString since = request.since.isValid() ? request.since.toString(Qt::ISODate) : QString();
    const QString until = request.until.isValid() ? request.until.toString(Qt::ISODate) : QString();
    QList<bool> numeric;
    for (ReportDimension d : request.by)
        numeric.append(d == ReportDimension::Age || d == ReportDimension::Rating);
    const QVariant handle = m_store.connection().driver()->handle();
    if (handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0)
        return runSqlite(*static_cast<sqlite3 *const *>(handle.constData()), sql, since, until, numeric, error);

    QSqlQuery query(m_store.connection());
    query.setForwardOnly(true);
    query.prepare(sql);
    if (!since.isEmpty())
        query.bindValue(QStringLiteral(":since"), since);
    if (!until.isEmpty())
        query.bindValue(QStringLiteral(":until"), until);
    if (!query.exec()) {
        QString text = query.lastError().databaseText().trimmed();
        if (text.isEmpty())
            text = query.lastError().driverText().trimmed();
        *error = QStringLiteral("%1: %2").arg(m_store.url().display(), text.replace(QLatin1Char('\n'), u' '));
        return std::nullopt;
    }
    QList<ReportRow> rows;
    const int n = int(numeric.size());
    while (query.next()) {
        ReportRow row;
        row.keys.reserve(n);
        for (int i = 0; i < n; ++i)
            row.keys.append(numeric[i] ? QVariant(query.value(i).toInt()) : QVariant(query.value(i).toString()));
        row.views = query.value(n).toLongLong();
        row.clicks = query.value(n + 1).toLongLong();
        row.reports = query.value(n + 2).toLongLong();
        rows.append(std::move(row));
    }
    return rows;
}

// SQLite through its own interface: Qt SQL's conversions of every value cost
// more than SQLite's reading of the rows.
std::optional<QList<ReportRow>> ReportQuery::runSqlite(sqlite3 *db, const QString &sql, const QString &since,
    const QString &until, const QList<bool> &numeric, QString *error)
{
    sqlite3_stmt *statement = nullptr;
    const QByteArray text = sql.toUtf8();
    auto fail = [&] {
        *error = QStringLiteral("%1: %2").arg(m_store.url().display(), QString::fromUtf8(sqlite3_errmsg(db)));
        sqlite3_finalize(statement);
        return std::nullopt;
    };
    if (sqlite3_prepare_v2(db, text.constData(), int(text.size()), &statement, nullptr) != SQLITE_OK)
        return fail();
    for (const auto &[name, value] : {std::pair {":since", &since}, std::pair {":until", &until}}) {
        const int index = sqlite3_bind_parameter_index(statement, name);
        if (index > 0)
            sqlite3_bind_text16(statement, index, value->utf16(), int(value->size() * 2), SQLITE_TRANSIENT);
    }
    QList<ReportRow> rows;
    const int n = int(numeric.size());
    int result = SQLITE_ROW;
    while ((result = sqlite3_step(statement)) == SQLITE_ROW) {
        ReportRow row;
        row.keys.reserve(n);
        for (int i = 0; i < n; ++i) {
            if (numeric[i]) {
                row.keys.append(sqlite3_column_int(statement, i));
            } else {
                const auto *chars = reinterpret_cast<const char *>(sqlite3_column_text(statement, i));
                row.keys.append(QString::fromUtf8(chars, sqlite3_column_bytes(statement, i)));
            }
        }
        row.views = sqlite3_column_int64(statement, n);
        row.clicks = sqlite3_column_int64(statement, n + 1);
        row.reports = sqlite3_column_int64(statement, n + 2);
        rows.append(std::move(row));
    }
    if (result != SQLITE_DONE)
        return fail();
    sqlite3_finalize(statement);
    return rows;
}

} // namespace orvane::adserver
