#include "records/Url.h"

#include <QDir>
#include <QUrl>
#include <QUrlQuery>

namespace Records {

QString DataFolder()
{
    const QString xdg = qEnvironmentVariable("XDG_DATA_HOME");
    return QDir(xdg.isEmpty() ? QDir::home().filePath(QStringLiteral(".local/share")) : xdg).filePath(QStringLiteral("varnexconfig"));
}

QString DefaultSqlitePath() { return QDir(DataFolder()).filePath(QStringLiteral("records.sqlite")); }
QString SpoolPath() { return QDir(DataFolder()).filePath(QStringLiteral("spool.sqlite")); }

std::optional<Target> ParseUrl(const QString& url, QString& error)
{
    Target t;
    if (url.startsWith(QLatin1String("sqlite:"))) {
        t.path = url.mid(7);
        if (t.path.startsWith(QLatin1String("//")))
            t.path = t.path.mid(2);
        if (t.path.isEmpty())
            t.path = DefaultSqlitePath();
        t.text = QStringLiteral("sqlite:") + t.path;
        return t;
    }
    const QUrl u(url, QUrl::StrictMode);
    if (!u.isValid() || (u.scheme() != QLatin1String("postgresql") && u.scheme() != QLatin1String("postgres"))) {
        error = QStringLiteral("\"%1\" is no record URL: give sqlite:PATH, sqlite: or postgresql://USER@HOST[:PORT]/DB").arg(url);
        return std::nullopt;
    }
    if (!u.password().isEmpty()) {
        error = QStringLiteral("a record URL holds no password: give it in PGPASSWORD or ~/.pgpass");
        return std::nullopt;
    }
    t.kind = Target::Kind::Postgresql;
    t.user = u.userName();
    t.host = u.host();
    t.port = u.port(0);
    t.database = u.path().mid(1);
    const QUrlQuery query(u);
    if (query.hasQueryItem(QStringLiteral("host")))
        t.host = query.queryItemValue(QStringLiteral("host"), QUrl::FullyDecoded);
    if (t.database.isEmpty() || t.database.contains(u'/')) {
        error = QStringLiteral("\"%1\" names no database: postgresql://USER@HOST[:PORT]/DB").arg(url);
        return std::nullopt;
    }
    t.text = u.toString(QUrl::RemovePassword);
    return t;
}

} // namespace Records
