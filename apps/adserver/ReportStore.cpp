#include "ReportStore.h"

#include "PostgresRows.h"
#include "RollupRows.h"
#include "SchemaMigrations.h"
#include "SqliteRows.h"

#include <QAtomicInt>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QUuid>
#include <QVariant>

#include <sqlite3.h>
#include <sys/stat.h>

namespace orvane::adserver {

namespace {

// SQLite's extended result codes carry the primary code in their low byte.
constexpr int kSqlitePrimaryCodeMask = 0xff;

// A UUID whose first 48 bits are the time in milliseconds (as in UUID version
// 7): reports stored one after the other land side by side in the key's index,
// instead of all over it, so a commit writes a few pages instead of many.
QString orderedId()
{
    QUuid id = QUuid::createUuid();
    const quint64 ms = quint64(QDateTime::currentMSecsSinceEpoch());
    id.data1 = quint32(ms >> 16);
    id.data2 = quint16(ms);
    id.data3 = quint16(0x7000 | (id.data3 & 0x0FFF));
    return id.toString(QUuid::WithoutBraces);
}

QString describe(const QSqlError &e)
{
    QString text = e.databaseText().trimmed();
    if (text.isEmpty())
        text = e.driverText().trimmed();
    return text.replace(QLatin1Char('\n'), QLatin1Char(' '));
}

} // namespace

ReportStore::ReportStore(const DatabaseUrl &url)
    : m_url(url)
{
    static QAtomicInt serial;
    m_connectionName = QStringLiteral("orvane-reports-%1").arg(serial.fetchAndAddRelaxed(1));
}

ReportStore::~ReportStore()
{
    m_sqliteRows.reset(); // the statements go before the connection
    m_postgresRows.reset();
    m_rollups.reset();
    if (m_db.isValid()) {
        m_db.close();
        m_db = QSqlDatabase();
    }
    QSqlDatabase::removeDatabase(m_connectionName);
}

std::unique_ptr<ReportStore> ReportStore::open(const DatabaseUrl &url, QString *error, StoreOptions options)
{
    std::unique_ptr<ReportStore> store(new ReportStore(url));
    const int commitTimeoutMs = options.commitTimeoutMs;
    if (!QSqlDatabase::isDriverAvailable(url.driverName())) {
        *error = QStringLiteral("the Qt SQL driver %1 is not installed").arg(url.driverName());
        return nullptr;
    }
    store->m_db = QSqlDatabase::addDatabase(url.driverName(), store->m_connectionName);
    QSqlDatabase &db = store->m_db;
    if (url.kind == DatabaseUrl::Kind::Sqlite) {
        // SQLite would make an empty database of a mistyped path.
        if (!options.mayCreate && !QFileInfo(url.path).isFile()) {
            *error = QStringLiteral("%1: no such database file").arg(url.display());
            return nullptr;
        }
        db.setDatabaseName(url.path);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(commitTimeoutMs));
    } else {
        db.setDatabaseName(url.database);
        if (!url.host.isEmpty())
            db.setHostName(url.host);
        if (url.port > 0)
            db.setPort(url.port);
        if (!url.user.isEmpty())
            db.setUserName(url.user);
        if (!url.password.isEmpty())
            db.setPassword(url.password);
        // A server that stops answering (a host gone, a network cut) would hold a
        // commit past any statement time-out: TCP gives up on it within the bound.
        // connect_timeout is whole seconds, at least 2 (libpq's own floor).
        const int seconds = (commitTimeoutMs + 999) / 1000;
        db.setConnectOptions(QStringLiteral("connect_timeout=%1;tcp_user_timeout=%2;keepalives_idle=%3;"
                                            "keepalives_interval=1;keepalives_count=%3")
                                 .arg(std::max(2, seconds))
                                 .arg(commitTimeoutMs)
                                 .arg(std::max(1, seconds / 2)));
    }
    if (!db.open()) {
        *error = QStringLiteral("cannot open %1: %2").arg(url.display(), describe(db.lastError()));
        return nullptr;
    }
    if (url.kind == DatabaseUrl::Kind::Sqlite) {
        // WAL lets `stats` read while the server writes; FULL makes every commit survive power loss.
        QSqlQuery mode(db);
        if (!mode.exec(QStringLiteral("PRAGMA journal_mode=WAL")) || !mode.next()
            || mode.value(0).toString().compare(QLatin1String("wal"), Qt::CaseInsensitive) != 0) {
            *error = QStringLiteral("cannot use %1: the database does not take WAL mode").arg(url.display());
            return nullptr;
        }
        if (!store->exec(QStringLiteral("PRAGMA synchronous=FULL"), error))
            return nullptr;
        const std::optional<FileId> file = fileId(url.path);
        if (!file) {
            *error = QStringLiteral("cannot use %1: the file is gone").arg(url.display());
            return nullptr;
        }
        store->m_file = *file;
    } else {
        // A lock held by another session (a migration, a backup) or a stuck
        // statement fails the commit within the bound instead of holding every
        // report that waits for it.
        for (const char *setting : {"lock_timeout", "statement_timeout"}) {
            if (!store->exec(QStringLiteral("SET %1 = %2").arg(QLatin1String(setting)).arg(commitTimeoutMs), error))
                return nullptr;
        }
    }
    const bool postgres = url.kind == DatabaseUrl::Kind::Postgresql;
    QString why;
    if (!SchemaMigrations::upgrade(db, postgres, options.mayCreate, &why)) {
        *error = QStringLiteral("cannot use %1: %2").arg(url.display(), why);
        return nullptr;
    }
    if (url.kind == DatabaseUrl::Kind::Sqlite)
        store->m_sqliteRows = SqliteRows::create(db, &why);
    else
        store->m_postgresRows = PostgresRows::create(db, &why);
    if (!store->m_sqliteRows && !store->m_postgresRows) {
        *error = QStringLiteral("cannot use %1: %2").arg(url.display(), why);
        return nullptr;
    }
    if (options.rollups && !(store->m_rollups = RollupRows::create(db, postgres, &why))) {
        *error = QStringLiteral("cannot use %1: %2").arg(url.display(), why);
        return nullptr;
    }
    return store;
}

bool ReportStore::exec(const QString &sql, QString *error)
{
    QSqlQuery query(m_db);
    if (query.exec(sql))
        return true;
    m_failure = classify(query.lastError());
    *error = QStringLiteral("%1: %2").arg(m_url.display(), describe(query.lastError()));
    return false;
}

std::optional<ReportStore::FileId> ReportStore::fileId(const QString &path)
{
    struct stat st
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return std::nullopt;
    return FileId {quint64(st.st_dev), quint64(st.st_ino)};
}

bool ReportStore::isSameFile(QString *why) const
{
    if (m_url.kind != DatabaseUrl::Kind::Sqlite || fileId(m_url.path) == m_file)
        return true;
    *why = QStringLiteral("%1: the database file was deleted or replaced").arg(m_url.display());
    return false;
}

bool ReportStore::isUsable(QString *why)
{
    if (!isSameFile(why))
        return false;
    QSqlQuery ping(m_db);
    if (ping.exec(QStringLiteral("SELECT 1")) && ping.next())
        return true;
    *why = QStringLiteral("%1: the database does not answer: %2").arg(m_url.display(), describe(ping.lastError()));
    return false;
}

ReportStore::Failure ReportStore::classify(const QSqlError &error) const
{
    const QString code = error.nativeErrorCode();
    if (m_url.kind == DatabaseUrl::Kind::Sqlite) {
        const int primary = code.toInt() & kSqlitePrimaryCodeMask;
        return primary == SQLITE_BUSY || primary == SQLITE_LOCKED ? Failure::Timeout : Failure::Refused;
    }
    // SQLSTATEs: lock_not_available, query_canceled (statement_timeout), deadlock_detected.
    if (code == u"55P03" || code == u"57014" || code == u"40P01")
        return Failure::Timeout;
    // Connection exceptions and the server shutting down.
    if (code.startsWith(u"08") || code.startsWith(u"57P") || error.type() == QSqlError::ConnectionError)
        return Failure::Lost;
    return Failure::Refused;
}

bool ReportStore::insert(const QList<StoredReport> &reports, qsizetype from, qsizetype count, QString *error)
{
    QList<QString> ids;
    ids.reserve(count);
    for (qsizetype i = 0; i < count; ++i)
        ids.append(orderedId());
    const bool rowsOk = m_sqliteRows ? m_sqliteRows->insert(reports, from, count, ids, error)
                                     : m_postgresRows->insert(reports, from, count, ids, error);
    bool ok = rowsOk;
    if (ok && m_rollups) {
        // In the same transaction as the raw rows: the rollups never drift from them.
        RollupDelta delta;
        for (qsizetype i = 0; i < count; ++i)
            delta.add(reports[from + i]);
        ok = m_rollups->apply(delta, error);
    }
    if (!ok) {
        m_failure = classify(!rowsOk ? (m_sqliteRows ? m_sqliteRows->lastError() : m_postgresRows->lastError())
                                     : m_rollups->lastError());
        *error = QStringLiteral("%1: %2").arg(m_url.display(), *error);
    }
    return ok;
}

bool ReportStore::begin(QString *error)
{
    m_failure = Failure::None;
    if (m_db.transaction())
        return true;
    m_failure = classify(m_db.lastError());
    *error = QStringLiteral("%1: cannot begin a transaction: %2").arg(m_url.display(), describe(m_db.lastError()));
    return false;
}

bool ReportStore::commit(QString *error)
{
    // Checked last thing before the commit: what goes into a deleted file is lost.
    if (!isSameFile(error)) {
        m_failure = Failure::Lost;
        m_db.rollback();
        return false;
    }
    if (m_db.commit())
        return true;
    m_failure = classify(m_db.lastError());
    *error = QStringLiteral("%1: commit failed: %2").arg(m_url.display(), describe(m_db.lastError()));
    m_db.rollback();
    return false;
}

bool ReportStore::store(const QList<StoredReport> &reports, QString *error)
{
    if (reports.isEmpty())
        return true;
    if (!begin(error))
        return false;
    if (!insert(reports, 0, reports.size(), error)) {
        m_db.rollback();
        return false;
    }
    return commit(error);
}

QList<bool> ReportStore::storeEach(const QList<StoredReport> &reports, QString *error)
{
    QList<bool> stored(reports.size(), false);
    if (reports.isEmpty() || !begin(error))
        return stored;
    for (qsizetype i = 0; i < reports.size(); ++i) {
        QString why;
        if (!exec(QStringLiteral("SAVEPOINT one_report"), &why)) {
            *error = why;
            m_db.rollback();
            return QList<bool>(reports.size(), false);
        }
        if (insert(reports, i, 1, &why)) {
            stored[i] = exec(QStringLiteral("RELEASE SAVEPOINT one_report"), &why);
        } else {
            *error = why;
            if (m_failure != Failure::Refused) { // busy or gone: no other report gets through either
                m_db.rollback();
                return QList<bool>(reports.size(), false);
            }
            exec(QStringLiteral("ROLLBACK TO SAVEPOINT one_report"), &why);
            exec(QStringLiteral("RELEASE SAVEPOINT one_report"), &why);
        }
    }
    const Failure refusals = m_failure;
    if (!commit(error))
        return QList<bool>(reports.size(), false);
    m_failure = refusals;
    return stored;
}

qsizetype ReportStore::pruneRaw(const QDateTime &cutoff, int batch, QString *error)
{
    if (!begin(error))
        return -1;
    // Ordered by time and id: both statements pick the very same reports.
    const QString oldest
        = QStringLiteral("(SELECT id FROM reports WHERE received_at < :cutoff ORDER BY received_at, id LIMIT %1)")
              .arg(batch);
    qsizetype deleted = 0;
    for (const QString &sql : {QStringLiteral("DELETE FROM report_ads WHERE report_id IN ") + oldest,
             QStringLiteral("DELETE FROM report_unknown_ads WHERE report_id IN ") + oldest,
             QStringLiteral("DELETE FROM reports WHERE id IN ") + oldest}) {
        QSqlQuery query(m_db);
        query.prepare(sql);
        query.bindValue(QStringLiteral(":cutoff"), cutoff.toUTC().toString(Qt::ISODateWithMs));
        if (!query.exec()) {
            m_failure = classify(query.lastError());
            *error = QStringLiteral("%1: %2").arg(m_url.display(), describe(query.lastError()));
            m_db.rollback();
            return -1;
        }
        deleted = query.numRowsAffected();
    }
    return commit(error) ? deleted : -1;
}

bool ReportStore::recordCampaignAds(const QHash<QString, QString> &advertiserOfAd, QString *error)
{
    if (advertiserOfAd.isEmpty())
        return true;
    if (!begin(error))
        return false;
    QSqlQuery upsert(m_db);
    upsert.prepare(QStringLiteral("INSERT INTO campaign_ads (ad_guid, advertiser_guid) VALUES (?, ?) ON CONFLICT "
                                  "(ad_guid) DO UPDATE SET advertiser_guid = excluded.advertiser_guid"));
    QStringList ads = advertiserOfAd.keys();
    ads.sort(); // in one order on every server: two never wait for each other's rows
    for (const QString &ad : ads) {
        upsert.bindValue(0, ad);
        upsert.bindValue(1, advertiserOfAd.value(ad));
        if (!upsert.exec()) {
            m_failure = classify(upsert.lastError());
            *error = QStringLiteral("%1: %2").arg(m_url.display(), describe(upsert.lastError()));
            m_db.rollback();
            return false;
        }
    }
    return commit(error);
}

bool ReportStore::ping(QString *error)
{
    return exec(QStringLiteral("SELECT 1 FROM reports LIMIT 1"), error);
}

std::optional<StoreStats> ReportStore::stats(QString *error)
{
    StoreStats stats;
    QSqlQuery count(m_db);
    if (!count.exec(QStringLiteral("SELECT COUNT(*) FROM reports")) || !count.next()) {
        *error = QStringLiteral("%1: %2").arg(m_url.display(), describe(count.lastError()));
        return std::nullopt;
    }
    stats.reports = count.value(0).toLongLong();
    for (auto [table, out] : {std::pair {"report_ads", &stats.ads}, std::pair {"report_unknown_ads", &stats.unknown}}) {
        QSqlQuery totals(m_db);
        totals.setForwardOnly(true);
        if (!totals.exec(QStringLiteral("SELECT ad_guid, SUM(views), SUM(clicks) FROM %1 GROUP BY ad_guid ORDER BY "
                                        "ad_guid")
                             .arg(QLatin1String(table)))) {
            *error = QStringLiteral("%1: %2").arg(m_url.display(), describe(totals.lastError()));
            return std::nullopt;
        }
        while (totals.next())
            out->append({totals.value(0).toString(), totals.value(1).toLongLong(), totals.value(2).toLongLong()});
    }
    return stats;
}

} // namespace orvane::adserver
