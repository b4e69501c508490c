#pragma once

#include "ReportStore.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QVariant>

#include <optional>

struct sqlite3;

namespace orvane::adserver {

// What a report row is grouped by.
enum class ReportDimension { Day, Ad, Product, Advertiser, Age, Gender, Country, Rating };

struct ReportRequest
{
    QDate since; // UTC day, inclusive; null: from the first day
    QDate until; // UTC day, inclusive; null: to the last day
    QList<ReportDimension> by; // no dimension: one row of totals
};

struct ReportRow
{
    QVariantList keys; // one per dimension, in the request's order: text, or a number for age and rating
    qint64 views = 0;
    qint64 clicks = 0;
    qint64 reports = 0;

    // Clicks per view; 0 without views.
    double clickThroughRate() const { return views > 0 ? double(clicks) / double(views) : 0.0; }
};

// Views, clicks and report counts from the daily rollups, grouped and ordered by
// the dimensions asked for. Read-only: for the `report` command and any other
// reader of one store connection.
//
// Reports count differently by what is grouped: grouped by day, product or
// the audience (age, gender, country, rating), a row counts the reports
// received; grouped by ad or advertiser, the reports that named the ad (one
// report naming two ads of an advertiser counts for each). Ads and audience
// are kept apart, so the two kinds of dimensions do not combine.
class ReportQuery
{
public:
    explicit ReportQuery(ReportStore &store);

    std::optional<QList<ReportRow>> run(const ReportRequest &request, QString *error);

    // "day", "ad", ... as the command line and a dashboard name them.
    static QString name(ReportDimension dimension);
    static std::optional<ReportDimension> dimension(const QString &name);
    // Why a request cannot be answered, or an empty text.
    static QString check(const ReportRequest &request);

private:
    std::optional<QList<ReportRow>> runSqlite(sqlite3 *db, const QString &sql, const QString &since,
        const QString &until, const QList<bool> &numeric, QString *error);

    ReportStore &m_store;
};

} // namespace orvane::adserver
