#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <optional>

// A PostgreSQL server of the test's own for its length: a cluster made with
// initdb in a temporary folder, run by an unprivileged user (the system's
// `postgres` when the test runs as root) on a Unix socket only, stopped and
// removed at the end. Debian's postgresql package provides the programs.
class PgServer {
public:
    // `durable`: the server syncs its writes to the disk as a production one
    // does (benchmarks); else it does not, which is quicker for tests.
    explicit PgServer(bool durable = false);
    ~PgServer();
    PgServer(const PgServer&) = delete;
    PgServer& operator=(const PgServer&) = delete;

    bool IsValid() const { return started_; }
    QString Error() const { return error_; }
    // The server stopped (a line's database going away) and started again.
    bool Stop();
    bool Start();
    // Runs `sql` with psql in `database`; its output, or nothing with Error() set.
    std::optional<QString> Sql(const QString& sql, const QString& database = QStringLiteral("postgres"));
    // A database of its own, and the record URL that names it.
    bool CreateDatabase(const QString& name);
    QString Url(const QString& database) const;
    QString SocketFolder() const { return dir_.path(); }

private:
    bool Run(const QString& program, const QStringList& args, QString* output = nullptr);

    QTemporaryDir dir_;
    QString bin_;
    QString runAs_; // the user the server's programs run as; empty: this process's own
    bool started_ = false;
    QString error_;
};
