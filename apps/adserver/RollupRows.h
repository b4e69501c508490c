#pragma once

#include "ReportStore.h"

#include <QList>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>

#include <map>
#include <memory>
#include <tuple>

struct sqlite3;
struct sqlite3_stmt;

namespace orvane::adserver {

// What a group of reports adds to the daily rollups. Only the entries the
// server counts (StoredReport::counted) add views and clicks. Keys
// are kept sorted, so every server adds to shared rows in the same order and
// two of them never wait for each other's row locks in a cycle.
struct RollupDelta
{
    struct Counts
    {
        qint64 views = 0;
        qint64 clicks = 0;
        qint64 reports = 0;
    };
    using AdKey = std::tuple<QString, QString, QString>; // day, ad, product
    // day, product, age range, gender, country code, rating
    using AudienceKey = std::tuple<QString, QString, int, QString, QString, int>;

    void add(const StoredReport &report);
    bool isEmpty() const { return audience.empty(); }

    std::map<AdKey, Counts> ads;
    std::map<AudienceKey, Counts> audience;
};

// Adds deltas to the rollup tables, in the store's open transaction, with one
// "insert or add to the row" statement per table.
class RollupRows
{
public:
    ~RollupRows();
    RollupRows(const RollupRows &) = delete;
    RollupRows &operator=(const RollupRows &) = delete;

    // Null (with the reason) when a statement does not prepare.
    static std::unique_ptr<RollupRows> create(const QSqlDatabase &db, bool postgres, QString *error);

    bool apply(const RollupDelta &delta, QString *error);
    // Why the last `apply` failed, with the database's own code, to sort the failure by.
    QSqlError lastError() const;

private:
    RollupRows() = default;
    bool applySqlite(const RollupDelta &delta, QString *error);
    bool applyPostgres(const RollupDelta &delta, QString *error);
    bool step(sqlite3_stmt *statement, QString *error);

    sqlite3 *m_sqlite = nullptr;
    sqlite3_stmt *m_ad = nullptr;
    sqlite3_stmt *m_audience = nullptr;
    int m_lastCode = 0; // SQLite: the result of the step that failed
    QString m_lastMessage;
    std::unique_ptr<QSqlQuery> m_pg; // PostgreSQL: both tables in one statement
};

} // namespace orvane::adserver
