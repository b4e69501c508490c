#include "ReportQuery.h"

#include <QSqlError>
#include <QSqlQuery>

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
    QSqlQuery query(m_store.connection());
    query.setForwardOnly(true);
    query.prepare(sql);
    if (request.since.isValid())
        query.bindValue(QStringLiteral(":since"), request.since.toString(Qt::ISODate));
    if (request.until.isValid())
        query.bindValue(QStringLiteral(":until"), request.until.toString(Qt::ISODate));
    if (!query.exec()) {
        QString text = query.lastError().databaseText().trimmed();
        if (text.isEmpty())
            text = query.lastError().driverText().trimmed();
        *error = QStringLiteral("%1: %2").arg(m_store.url().display(), text.replace(QLatin1Char('\n'), u' '));
        return std::nullopt;
    }
    QList<ReportRow> rows;
    const int n = int(columns.size());
    while (query.next()) {
        ReportRow row;
        for (int i = 0; i < n; ++i) {
            const bool number = request.by[i] == ReportDimension::Age || request.by[i] == ReportDimension::Rating;
            row.keys.append(number ? QVariant(query.value(i).toInt()) : QVariant(query.value(i).toString()));
        }
        row.views = query.value(n).toLongLong();
        row.clicks = query.value(n + 1).toLongLong();
        row.reports = query.value(n + 2).toLongLong();
        rows.append(row);
    }
    return rows;
}

} // namespace orvane::adserver
