#pragma once

#include <QString>

#include <optional>

// Where unit records go: an SQLite file for one station, or a PostgreSQL
// database that a line's stations share, named as the command line gives it.
namespace Records {

struct Target {
    enum class Kind { Sqlite, Postgresql };
    Kind kind = Kind::Sqlite;
    QString path;     // SQLite: the file
    QString user;     // PostgreSQL: the role; the password comes from PGPASSWORD or ~/.pgpass
    QString host;     // a host name, or a Unix socket's folder (?host=/run/postgresql)
    int port = 0;     // 0: the client library's default
    QString database;
    QString text;     // as given, without a password, for messages
};

// `sqlite:PATH`, plain `sqlite:` (the default file), or
// `postgresql://USER@HOST[:PORT]/DB` and `postgresql://USER@/DB?host=SOCKETDIR`
// in the client library's own URI form. Nothing, with `error` filled, when
// the text is no such URL.
std::optional<Target> ParseUrl(const QString& url, QString& error);

// The folder of the tool's own data: $XDG_DATA_HOME/varnexconfig, else
// ~/.local/share/varnexconfig.
QString DataFolder();
// The default SQLite file of one station, and the spool beside it.
QString DefaultSqlitePath();
QString SpoolPath();

} // namespace Records
