#pragma once

#include <QSqlDatabase>
#include <QString>

namespace orvane::adserver {

// The reports database's schema and the steps from each earlier version to the
// next. A database of any earlier version (the first one had no version
// table) is upgraded in place, inside one transaction that other servers on
// the same database wait for, so that only one of them upgrades.
class SchemaMigrations
{
public:
    static constexpr int kCurrentVersion = 3;

    // Brings the database to kCurrentVersion. An empty database gets the whole
    // schema only when `mayCreate` is set; otherwise it is refused.
    static bool upgrade(QSqlDatabase &db, bool postgres, bool mayCreate, QString *error);
};

} // namespace orvane::adserver
