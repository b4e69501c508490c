#pragma once

#include "ReportStore.h"

#include <QList>
#include <QSqlError>
#include <QString>

#include <memory>

struct sqlite3;
struct sqlite3_stmt;

namespace orvane::adserver {

// Inserts report rows into SQLite through its own interface, on the handle of
// the store's Qt connection (same transaction): one prepared statement per
// table, bound and stepped row by row. Qt SQL's binding costs several times
// what SQLite itself spends on a row, and the writer's speed is the server's.
class SqliteRows
{
public:
    ~SqliteRows();
    SqliteRows(const SqliteRows &) = delete;
    SqliteRows &operator=(const SqliteRows &) = delete;

    // Null (with the reason) when the connection is not SQLite's or a statement does not prepare.
    static std::unique_ptr<SqliteRows> create(const QSqlDatabase &db, QString *error);

    // Inserts reports[from, from + count) under the given ids.
    bool insert(
        const QList<StoredReport> &reports, qsizetype from, qsizetype count, const QList<QString> &ids, QString *error);

    // The last failure, with SQLite's result code as its native code.
    QSqlError lastError() const;

private:
    SqliteRows() = default;
    bool step(sqlite3_stmt *statement, QString *error);
    bool insertEntries(
        sqlite3_stmt *statement, const QString &id, const QList<StoredReport::AdCounts> &entries, QString *error);

    sqlite3 *m_db = nullptr;
    sqlite3_stmt *m_report = nullptr;
    sqlite3_stmt *m_ad = nullptr;
    sqlite3_stmt *m_unknown = nullptr; // entries of ids outside the campaign
    int m_lastCode = 0;
    QString m_lastMessage;
};

} // namespace orvane::adserver
