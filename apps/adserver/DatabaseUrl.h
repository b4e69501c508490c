#pragma once

#include <QString>

#include <optional>

namespace orvane::adserver {

// Where the reports live: "sqlite:PATH" or "postgresql://[user[:password]@][host][:port]/dbname[?host=SOCKETDIR]"
// ("postgres://" too). A host that starts with '/' is a folder holding the server's Unix socket.
struct DatabaseUrl
{
    enum class Kind { Sqlite, Postgresql };

    Kind kind = Kind::Sqlite;
    QString path; // SQLite file
    QString host;
    int port = -1;
    QString user;
    QString password;
    QString database;

    QString driverName() const;
    // For messages: the URL without its password.
    QString display() const;

    static std::optional<DatabaseUrl> parse(const QString &text, QString *error);
};

} // namespace orvane::adserver
