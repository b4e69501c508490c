#include "DatabaseUrl.h"

#include <QUrl>
#include <QUrlQuery>

namespace orvane::adserver {

QString DatabaseUrl::driverName() const
{
    return kind == Kind::Sqlite ? QStringLiteral("QSQLITE") : QStringLiteral("QPSQL");
}

QString DatabaseUrl::display() const
{
    if (kind == Kind::Sqlite)
        return QStringLiteral("sqlite:") + path;
    QString text = QStringLiteral("postgresql://");
    if (!user.isEmpty())
        text += user + QLatin1Char('@');
    if (!host.startsWith(QLatin1Char('/')))
        text += host;
    if (port > 0)
        text += QLatin1Char(':') + QString::number(port);
    text += QLatin1Char('/') + database;
    if (host.startsWith(QLatin1Char('/')))
        text += QStringLiteral("?host=") + host;
    return text;
}

std::optional<DatabaseUrl> DatabaseUrl::parse(const QString &text, QString *error)
{
    auto refuse = [&](const QString &why) {
        if (error)
            *error = why;
        return std::nullopt;
    };
    DatabaseUrl url;
    if (text.startsWith(QLatin1String("sqlite:"))) {
        url.kind = Kind::Sqlite;
        url.path = text.mid(7);
        if (url.path.startsWith(QLatin1String("//")))
            url.path = url.path.mid(2); // sqlite:///abs/path
        if (url.path.isEmpty())
            return refuse(QStringLiteral("--db sqlite: needs a file path"));
        return url;
    }
    if (!text.startsWith(QLatin1String("postgresql://")) && !text.startsWith(QLatin1String("postgres://")))
        return refuse(QStringLiteral("--db must be sqlite:PATH or postgresql://..., not %1").arg(text));

    const QUrl parsed(text, QUrl::StrictMode);
    if (!parsed.isValid())
        return refuse(QStringLiteral("malformed database URL: %1").arg(parsed.errorString()));
    url.kind = Kind::Postgresql;
    url.host = parsed.host(QUrl::FullyDecoded);
    url.port = parsed.port(-1);
    url.user = parsed.userName(QUrl::FullyDecoded);
    url.password = parsed.password(QUrl::FullyDecoded);
    url.database = parsed.path(QUrl::FullyDecoded).mid(1);
    const QUrlQuery query(parsed);
    for (const auto &item : query.queryItems(QUrl::FullyDecoded)) {
        if (item.first == QLatin1String("host"))
            url.host = item.second;
        else if (item.first == QLatin1String("port"))
            url.port = item.second.toInt();
        else if (item.first == QLatin1String("user"))
            url.user = item.second;
        else
            return refuse(QStringLiteral("unknown database URL parameter %1").arg(item.first));
    }
    if (url.database.isEmpty() || url.database.contains(QLatin1Char('/')))
        return refuse(QStringLiteral("database URL names no database"));
    return url;
}

} // namespace orvane::adserver
