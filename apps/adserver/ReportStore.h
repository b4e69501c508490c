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
    };

    QDateTime received; // UTC
    QString peer;
    QString productGuid;
    int rating = 0;
    int ageRange = 0;
    QString gender;
    QString postalCode;
    QString countryCode;
    // One entry per ad of the campaign, the report's entries for it summed: the
    // only counts that reach the totals.
    QList<AdCounts> counted;
    // Entries of ids the campaign does not list, as sent: kept apart for the operator.
    QList<AdCounts> unknown;
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
    QList<AdTotals> unknown; // ids outside the campaign, ordered by GUID
};

struct StoreOptions
{
    bool mayCreate = true; // false: a missing database is an error, never a new empty one
    bool rollups = true; // false only to measure what keeping them costs
    int retainRawDays = 0; // raw rows older than this many days are deleted; 0 keeps them all
    int commitTimeoutMs = 5000; // the longest a lock wait or a statement may take
};

// The reports database through Qt SQL: one schema for SQLite and PostgreSQL.
// A store is one connection and must stay on the thread that opened it.
class ReportStore
{
public:
    static constexpr int kDefaultCommitTimeoutMs = StoreOptions {}.commitTimeoutMs;

    // Why the last operation failed.
    enum class Failure {
        None,
        Refused, // the database refused what was sent: other reports may still be stored
        Timeout, // a lock or the statement took longer than the bound: the database is busy
        Lost, // the connection or the file is gone: open the store again
    };

    ~ReportStore();
    ReportStore(const ReportStore &) = delete;
    ReportStore &operator=(const ReportStore &) = delete;

    // Opens the database, creates the tables when they are missing (if allowed)
    // and upgrades an older schema in place. A lock wait or a statement that
    // takes longer than `options.commitTimeoutMs` fails (Timeout).
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

    Failure failure() const { return m_failure; }
    // Whether the connection still answers and, for SQLite, the file it has open
    // is still the one at its path (not deleted or replaced meanwhile): a commit
    // into a deleted file would be acknowledged and lost.
    bool isUsable(QString *why);

    const DatabaseUrl &url() const { return m_url; }
    const QSqlDatabase &connection() const { return m_db; }

private:
    explicit ReportStore(const DatabaseUrl &url);
    bool exec(const QString &sql, QString *error);
    bool begin(QString *error);
    bool commit(QString *error); // rolls back when the commit fails
    bool insert(const QList<StoredReport> &reports, qsizetype from, qsizetype count, QString *error);
    bool isSameFile(QString *why) const;
    Failure classify(const QSqlError &error) const;

    struct FileId
    {
        quint64 device = 0;
        quint64 inode = 0;
        bool operator==(const FileId &) const = default;
    };
    static std::optional<FileId> fileId(const QString &path);

    DatabaseUrl m_url;
    QString m_connectionName;
    QSqlDatabase m_db;
    FileId m_file; // SQLite only: the file opened
    Failure m_failure = Failure::None;
    std::unique_ptr<class SqliteRows> m_sqliteRows; // SQLite only
    std::unique_ptr<class PostgresRows> m_postgresRows; // PostgreSQL only
    std::unique_ptr<class RollupRows> m_rollups; // null when rollups are off
};

} // namespace orvane::adserver
