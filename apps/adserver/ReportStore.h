#pragma once

#include "DatabaseUrl.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>

#include <memory>
#include <optional>

namespace orvane::adserver {

// One usage report as the server keeps it.
struct StoredReport
{
    struct AdCounts
    {
        QString adGuid;
        int views = 0;
        int clicks = 0;
        double lastViewTime = 0; // OLE Automation date, universal time
        bool counted = true; // adds to totals and rollups (an ad the campaign knows)
    };

    QDateTime received; // UTC
    QString peer;
    QString productGuid;
    int rating = 0;
    int ageRange = 0;
    QString gender;
    QString postalCode;
    QString countryCode;
    QList<AdCounts> ads;
};

struct AdTotals
{
    QString guid;
    qint64 views = 0;
    qint64 clicks = 0;
};

struct StoreStats
{
    qint64 reports = 0;
    QList<AdTotals> ads; // ordered by GUID
};

struct StoreOptions
{
    bool mayCreate = true; // false: a missing database is an error, never a new empty one
    bool rollups = true; // false only to measure what keeping them costs
    int retainRawDays = 0; // raw rows older than this many days are deleted; 0 keeps them all
};

// The reports database through Qt SQL: one schema for SQLite and PostgreSQL.
// A store is one connection and must stay on the thread that opened it.
class ReportStore
{
public:
    ~ReportStore();
    ReportStore(const ReportStore &) = delete;
    ReportStore &operator=(const ReportStore &) = delete;

    // Opens the database, creates the tables when they are missing (if allowed)
    // and upgrades an older schema in place.
    static std::unique_ptr<ReportStore> open(const DatabaseUrl &url, QString *error, StoreOptions options = {});

    // Stores all the reports in one transaction; true once it has committed.
    bool store(const QList<StoredReport> &reports, QString *error);
    // Stores each report on its own savepoint within one transaction, so that
    // one the database refuses does not take the others with it. Which were
    // stored once the transaction has committed; `error` names the last failure.
    QList<bool> storeEach(const QList<StoredReport> &reports, QString *error);

    std::optional<StoreStats> stats(QString *error);
    // Deletes up to `batch` of the oldest raw reports received before `cutoff`,
    // with their ads, in one transaction; the rollups stay. How many, or -1.
    qsizetype pruneRaw(const QDateTime &cutoff, int batch, QString *error);
    // Records which advertiser each ad belongs to, for reports per advertiser.
    bool recordCampaignAds(const QHash<QString, QString> &advertiserOfAd, QString *error);
    // Whether the database answers a read of the reports table.
    bool ping(QString *error);

    const DatabaseUrl &url() const { return m_url; }
    const QSqlDatabase &connection() const { return m_db; }

private:
    explicit ReportStore(const DatabaseUrl &url);
    bool exec(const QString &sql, QString *error);
    bool begin(QString *error);
    bool commit(QString *error); // rolls back when the commit fails
    bool insert(const QList<StoredReport> &reports, qsizetype from, qsizetype count, QString *error);

    DatabaseUrl m_url;
    QString m_connectionName;
    QSqlDatabase m_db;
    std::unique_ptr<class SqliteRows> m_sqliteRows; // SQLite only
    std::unique_ptr<class PostgresRows> m_postgresRows; // PostgreSQL only
    std::unique_ptr<class RollupRows> m_rollups; // null when rollups are off
};

} // namespace orvane::adserver
