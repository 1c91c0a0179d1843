#include "harness/PgServer.h"

#include <QDir>
#include <QProcess>

#include <optional>

#include <unistd.h>

namespace {

constexpr const char* kRole = "varnex";

// The newest installed server's programs.
QString ServerBin()
{
    QStringList versions = QDir(QStringLiteral("/usr/lib/postgresql")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    std::sort(versions.begin(), versions.end(), [](const QString& a, const QString& b) { return a.toInt() < b.toInt(); });
    return versions.isEmpty() ? QString() : QStringLiteral("/usr/lib/postgresql/%1/bin").arg(versions.last());
}

} // namespace

PgServer::PgServer(bool durable) : bin_(ServerBin())
{
    if (bin_.isEmpty() || !dir_.isValid()) {
        error_ = QStringLiteral("no PostgreSQL server installed (Debian: postgresql)");
        return;
    }
    // initdb refuses to run as root: the cluster is the system's postgres user's.
    if (::geteuid() == 0) {
        runAs_ = QStringLiteral("postgres");
        if (!Run(QStringLiteral("/bin/chown"), {runAs_, dir_.path()}))
            return;
    }
    const QString data = dir_.filePath(QStringLiteral("data"));
    if (!Run(bin_ + QStringLiteral("/initdb"),
             {"-D", data, "-U", kRole, "--auth=trust", "--no-sync", "-E", "UTF8", "--locale=C"}))
        return;
    QFile conf(data + QStringLiteral("/postgresql.conf"));
    if (!conf.open(QIODevice::Append)) {
        error_ = conf.errorString();
        return;
    }
    conf.write(QStringLiteral("listen_addresses = ''\nunix_socket_directories = '%1'\n").arg(dir_.path()).toUtf8());
    if (!durable)
        conf.write("fsync = off\nsynchronous_commit = off\n");
    conf.close();
    started_ = Start();
}

PgServer::~PgServer()
{
    if (started_)
        Stop();
}

bool PgServer::Run(const QString& program, const QStringList& args, QString* output)
{
    QProcess p;
    if (runAs_.isEmpty() || program == QLatin1String("/bin/chown"))
        p.start(program, args);
    else
        p.start(QStringLiteral("runuser"), QStringList{"-u", runAs_, "--", program} + args);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        error_ = QStringLiteral("%1 failed: %2%3").arg(program, QString::fromLocal8Bit(p.readAllStandardError()),
                                                        QString::fromLocal8Bit(p.readAllStandardOutput()));
        return false;
    }
    if (output)
        *output = QString::fromUtf8(p.readAllStandardOutput());
    return true;
}

bool PgServer::Start()
{
    started_ = Run(bin_ + QStringLiteral("/pg_ctl"),
                   {"-D", dir_.filePath(QStringLiteral("data")), "-l", dir_.filePath(QStringLiteral("server.log")), "-w", "start"});
    return started_;
}

bool PgServer::Stop()
{
    return Run(bin_ + QStringLiteral("/pg_ctl"), {"-D", dir_.filePath(QStringLiteral("data")), "-m", "fast", "-w", "stop"});
}

std::optional<QString> PgServer::Sql(const QString& sql, const QString& database)
{
    QString out;
    if (!Run(QStringLiteral("/usr/bin/psql"),
             {"-X", "-q", "-A", "-t", "-v", "ON_ERROR_STOP=1", "-h", dir_.path(), "-U", kRole, "-d", database, "-c", sql}, &out))
        return std::nullopt;
    return out.trimmed();
}

bool PgServer::CreateDatabase(const QString& name)
{
    return Sql(QStringLiteral("CREATE DATABASE %1").arg(name)).has_value();
}

QString PgServer::Url(const QString& database) const
{
    return QStringLiteral("postgresql://%1@/%2?host=%3").arg(QLatin1String(kRole), database, dir_.path());
}
