#include "SqliteRows.h"

#include <QSqlDriver>
#include <QVariant>

#include <sqlite3.h>

namespace orvane::adserver {

namespace {
void bindText(sqlite3_stmt *statement, int index, const QString &text)
{
    sqlite3_bind_text16(statement, index, text.utf16(), int(text.size() * 2), SQLITE_TRANSIENT);
}
} // namespace

SqliteRows::~SqliteRows()
{
    sqlite3_finalize(m_report);
    sqlite3_finalize(m_ad);
    sqlite3_finalize(m_unknown);
}

std::unique_ptr<SqliteRows> SqliteRows::create(const QSqlDatabase &db, QString *error)
{
    const QVariant handle = db.driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0) {
        *error = QStringLiteral("the connection gives no SQLite handle");
        return nullptr;
    }
    std::unique_ptr<SqliteRows> rows(new SqliteRows);
    rows->m_db = *static_cast<sqlite3 *const *>(handle.constData());
    const char *report = "INSERT INTO reports (id, received_at, peer, product_guid, rating, age_range, gender, "
                         "postal_code, country_code) VALUES (?,?,?,?,?,?,?,?,?)";
    const char *ad = "INSERT INTO report_ads (report_id, position, ad_guid, views, clicks, last_view_time) "
                     "VALUES (?,?,?,?,?,?)";
    const char *unknown = "INSERT INTO report_unknown_ads (report_id, position, ad_guid, views, clicks, "
                          "last_view_time) VALUES (?,?,?,?,?,?)";
    if (sqlite3_prepare_v3(rows->m_db, report, -1, SQLITE_PREPARE_PERSISTENT, &rows->m_report, nullptr) != SQLITE_OK
        || sqlite3_prepare_v3(rows->m_db, ad, -1, SQLITE_PREPARE_PERSISTENT, &rows->m_ad, nullptr) != SQLITE_OK
        || sqlite3_prepare_v3(rows->m_db, unknown, -1, SQLITE_PREPARE_PERSISTENT, &rows->m_unknown, nullptr)
            != SQLITE_OK) {
        *error = QString::fromUtf8(sqlite3_errmsg(rows->m_db));
        return nullptr;
    }
    return rows;
}

bool SqliteRows::step(sqlite3_stmt *statement, QString *error)
{
    const int result = sqlite3_step(statement);
    sqlite3_reset(statement);
    sqlite3_clear_bindings(statement);
    if (result == SQLITE_DONE)
        return true;
    m_lastCode = result;
    m_lastMessage = QString::fromUtf8(sqlite3_errmsg(m_db));
    *error = m_lastMessage;
    return false;
}

QSqlError SqliteRows::lastError() const
{
    return QSqlError(QString(), m_lastMessage, QSqlError::StatementError, QString::number(m_lastCode));
}

bool SqliteRows::insertEntries(
    sqlite3_stmt *statement, const QString &id, const QList<StoredReport::AdCounts> &entries, QString *error)
{
    for (qsizetype j = 0; j < entries.size(); ++j) {
        const StoredReport::AdCounts &a = entries[j];
        bindText(statement, 1, id);
        sqlite3_bind_int(statement, 2, int(j + 1));
        bindText(statement, 3, a.adGuid);
        sqlite3_bind_int(statement, 4, a.views);
        sqlite3_bind_int(statement, 5, a.clicks);
        sqlite3_bind_double(statement, 6, a.lastViewTime); // SQLite keeps a NaN as NULL: the row is refused
        if (!step(statement, error))
            return false;
    }
    return true;
}

bool SqliteRows::insert(
    const QList<StoredReport> &reports, qsizetype from, qsizetype count, const QList<QString> &ids, QString *error)
{
    for (qsizetype i = 0; i < count; ++i) {
        const StoredReport &r = reports[from + i];
        bindText(m_report, 1, ids[i]);
        bindText(m_report, 2, r.received.toUTC().toString(Qt::ISODateWithMs));
        bindText(m_report, 3, r.peer);
        bindText(m_report, 4, r.productGuid);
        sqlite3_bind_int(m_report, 5, r.rating);
        sqlite3_bind_int(m_report, 6, r.ageRange);
        bindText(m_report, 7, r.gender);
        bindText(m_report, 8, r.postalCode);
        bindText(m_report, 9, r.countryCode);
        if (!step(m_report, error))
            return false;
        if (!insertEntries(m_ad, ids[i], r.counted, error) || !insertEntries(m_unknown, ids[i], r.unknown, error))
            return false;
    }
    return true;
}

} // namespace orvane::adserver
