#pragma once

#include "ReportStore.h"

#include <QList>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>

#include <memory>

namespace orvane::adserver {

// Inserts report rows into PostgreSQL with one statement per table for a whole
// group: each column travels as one array and the server unnests them. The two
// statements are prepared once; per group, PostgreSQL parses two short
// EXECUTEs instead of a VALUES list of hundreds of rows, which cost it more
// than storing them.
class PostgresRows
{
public:
    // Null (with the reason) when a statement does not prepare.
    static std::unique_ptr<PostgresRows> create(const QSqlDatabase &db, QString *error);

    // Inserts reports[from, from + count) under the given ids.
    bool insert(
        const QList<StoredReport> &reports, qsizetype from, qsizetype count, const QList<QString> &ids, QString *error);

    const QSqlError &lastError() const { return m_lastError; }

private:
    explicit PostgresRows(const QSqlDatabase &db);

    QSqlQuery m_reports;
    QSqlQuery m_ads;
    QSqlQuery m_unknown; // entries of ids outside the campaign
    QSqlError m_lastError;
};

} // namespace orvane::adserver
