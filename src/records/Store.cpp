#include "records/Store.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <QVariant>

namespace Records {
namespace {

// SQL that SQLite and PostgreSQL both take: TEXT times in ISO 8601 (UTC),
// INTEGER truth values, "end" quoted (a reserved word of PostgreSQL).
const std::vector<std::vector<QString>> kMigrations{
    // to version 1
    {QStringLiteral("CREATE TABLE units (id TEXT PRIMARY KEY, serial TEXT, outcome TEXT NOT NULL, device TEXT, "
                    "host TEXT, port TEXT, start TEXT NOT NULL, \"end\" TEXT, reason TEXT, exit_code INTEGER, "
                    "duration_seconds DOUBLE PRECISION, record TEXT NOT NULL)"),
     QStringLiteral("CREATE TABLE unit_steps (unit_id TEXT NOT NULL REFERENCES units(id), position INTEGER NOT NULL, "
                    "name TEXT NOT NULL, succeeded INTEGER NOT NULL, PRIMARY KEY (unit_id, position))"),
     QStringLiteral("CREATE INDEX units_serial ON units (serial)")},
    // to version 2
    {QStringLiteral("ALTER TABLE units ADD COLUMN station TEXT"),
     QStringLiteral("ALTER TABLE units ADD COLUMN day TEXT"),
     QStringLiteral("ALTER TABLE units ADD COLUMN profile_name TEXT"),
     QStringLiteral("ALTER TABLE units ADD COLUMN profile_sha256 TEXT"),
     QStringLiteral("ALTER TABLE units ADD COLUMN verified INTEGER"),
     QStringLiteral("ALTER TABLE units ADD COLUMN differences INTEGER"),
     QStringLiteral("ALTER TABLE units ADD COLUMN receiver_software TEXT"),
     QStringLiteral("ALTER TABLE units ADD COLUMN receiver_hardware TEXT"),
     QStringLiteral("ALTER TABLE units ADD COLUMN receiver_protocol TEXT"),
     QStringLiteral("UPDATE units SET day = substr(start, 1, 10)"),
     QStringLiteral("CREATE INDEX units_day ON units (day)"),
     QStringLiteral("CREATE TABLE unit_differences (unit_id TEXT NOT NULL REFERENCES units(id), position INTEGER NOT NULL, "
                    "name TEXT NOT NULL, state TEXT, wanted BIGINT, read BIGINT, PRIMARY KEY (unit_id, position))")},
    // to version 3: the receiver's generation, told by its identity
    {QStringLiteral("ALTER TABLE units ADD COLUMN receiver_generation INTEGER")},
};

QString Why(const QSqlError& e)
{
    const QString text = e.databaseText().isEmpty() ? e.text() : e.databaseText();
    return text.trimmed().isEmpty() ? QStringLiteral("the database gave no reason") : text.trimmed();
}

std::optional<qint64> OptionalInt(const QJsonValue& v)
{
    return v.isDouble() ? std::optional<qint64>(qint64(v.toDouble())) : std::nullopt;
}

QVariant Nullable(const QString& s) { return s.isEmpty() ? QVariant() : QVariant(s); }
template <typename T>
QVariant Nullable(const std::optional<T>& v)
{
    return v ? QVariant::fromValue(*v) : QVariant();
}

// Runs `sql` with `values` bound in order; false with `error` filled.
bool Exec(QSqlDatabase& db, const QString& sql, const QVariantList& values, QString& error, QSqlQuery* out = nullptr)
{
    QSqlQuery q(db);
    // PostgreSQL's driver prepares a statement as a named one, which its
    // server refuses for schema changes: a statement without values runs as it is.
    const bool ran = values.isEmpty() ? q.exec(sql) : q.prepare(sql) && [&] {
        for (const QVariant& v : values)
            q.addBindValue(v);
        return q.exec();
    }();
    if (!ran) {
        error = Why(q.lastError());
        return false;
    }
    if (out)
        *out = std::move(q);
    return true;
}

QString NewConnectionName(const char* what)
{
    return QStringLiteral("varnexconfig-%1-%2").arg(QLatin1String(what), QUuid::createUuid().toString(QUuid::WithoutBraces));
}

// Closes and forgets a connection; its queries must be gone by then.
void CloseConnection(const QString& name)
{
    if (QSqlDatabase::contains(name)) {
        QSqlDatabase::database(name, false).close();
        QSqlDatabase::removeDatabase(name);
    }
}

} // namespace

int SchemaVersion() { return int(kMigrations.size()); }

std::vector<QString> MigrationStep(int fromVersion)
{
    return fromVersion >= 0 && fromVersion < SchemaVersion() ? kMigrations[std::size_t(fromVersion)] : std::vector<QString>{};
}

std::optional<Row> RowFromRecord(const QByteArray& line, QString& error)
{
    QJsonParseError parseError;
    const QJsonObject o = QJsonDocument::fromJson(line, &parseError).object();
    if (parseError.error != QJsonParseError::NoError || o["id"].toString().isEmpty() || o["start"].toString().isEmpty()) {
        error = QStringLiteral("a record with no id or start");
        return std::nullopt;
    }
    Row r;
    r.id = o["id"].toString();
    r.serial = o["serial"].toString();
    r.outcome = o["outcome"].toString();
    r.device = o["device"].toString();
    r.host = o["host"].toString();
    r.port = o["port"].toString();
    r.station = o["station"].toString();
    r.start = o["start"].toString();
    r.end = o["end"].toString();
    r.day = r.start.left(10);
    r.reason = o["reason"].toString();
    r.exitCode = o["exitCode"].toInt();
    r.durationSeconds = o["durationSeconds"].toDouble();
    r.profileName = o["profile"].toObject()["name"].toString();
    r.profileSha256 = o["profile"].toObject()["sha256"].toString();
    if (o.contains("verified"))
        r.verified = o["verified"].toBool();
    r.differences = OptionalInt(o["differences"]);
    const QJsonObject receiver = o["receiver"].toObject();
    r.receiverSoftware = receiver["software"].toString();
    r.receiverHardware = receiver["hardware"].toString();
    r.receiverProtocol = receiver["protocol"].toString();
    r.receiverGeneration = OptionalInt(receiver["generation"]);
    for (const QJsonValue& e : receiver["extensions"].toArray())
        if (r.receiverProtocol.isEmpty() && e.toString().startsWith(QLatin1String("PROTVER=")))
            r.receiverProtocol = e.toString().mid(8).trimmed();
    for (const QJsonValue& s : o["steps"].toArray())
        r.steps.push_back({s.toObject()["name"].toString(), s.toObject()["succeeded"].toBool()});
    for (const QJsonValue& v : o["verification"].toArray()) {
        const QJsonObject item = v.toObject();
        if (!item["equal"].toBool(true))
            r.differing.push_back({item["name"].toString(), item["state"].toString(), qint64(item["wanted"].toDouble()),
                                   OptionalInt(item["read"])});
    }
    r.record = line.trimmed();
    return r;
}

Store::Store(const Target& target) : target_(target), connection_(NewConnectionName("records")) {}

Store::~Store() { CloseConnection(connection_); }

bool Store::Connect(QString& error)
{
    QSqlDatabase db = QSqlDatabase::contains(connection_) ? QSqlDatabase::database(connection_, false) : QSqlDatabase();
    if (!db.isValid()) {
        const bool sqlite = target_.kind == Target::Kind::Sqlite;
        const QString driver = sqlite ? QStringLiteral("QSQLITE") : QStringLiteral("QPSQL");
        if (!QSqlDatabase::isDriverAvailable(driver)) {
            error = QStringLiteral("Qt's %1 driver is not installed (Debian: %2)")
                        .arg(driver, sqlite ? QStringLiteral("libqt6sql6-sqlite") : QStringLiteral("libqt6sql6-psql"));
            return false;
        }
        db = QSqlDatabase::addDatabase(driver, connection_);
        if (sqlite) {
            QDir().mkpath(QFileInfo(target_.path).absolutePath());
            db.setDatabaseName(target_.path);
            db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000"));
        } else {
            db.setDatabaseName(target_.database);
            db.setUserName(target_.user);
            db.setHostName(target_.host);
            if (target_.port > 0)
                db.setPort(target_.port);
            db.setConnectOptions(QStringLiteral("connect_timeout=5"));
        }
    }
    if (db.isOpen() && target_.kind == Target::Kind::Postgresql) {
        // A server restarted under an open connection: the next statement
        // tells; a fresh connection is made then.
        QSqlQuery ping(db);
        if (ping.exec(QStringLiteral("SELECT 1")))
            return connected_ = true;
        db.close();
    }
    if (!db.isOpen() && !db.open()) {
        error = Why(db.lastError());
        return connected_ = false;
    }
    // The server's notices ("already exists, skipping") are no news for an operator.
    if (target_.kind == Target::Kind::Postgresql)
        QSqlQuery(db).exec(QStringLiteral("SET client_min_messages TO WARNING"));
    return connected_ = true;
}

QString Store::Migrate()
{
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    const bool postgres = target_.kind == Target::Kind::Postgresql;
    QString error;
    // One station upgrades at a time: the others wait, then find it done.
    if (!db.transaction())
        return Why(db.lastError());
    QSqlQuery q;
    if ((postgres && !Exec(db, QStringLiteral("SELECT pg_advisory_xact_lock(727368)"), {}, error))
        || !Exec(db, QStringLiteral("CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL)"), {}, error)
        || !Exec(db, QStringLiteral("SELECT version FROM schema_version"), {}, error, &q)) {
        db.rollback();
        return error;
    }
    const bool hadRow = q.next();
    int version = hadRow ? q.value(0).toInt() : 0;
    q.finish();
    if (version > SchemaVersion()) {
        db.rollback();
        return QStringLiteral("the database's schema (version %1) is newer than this program's (%2)").arg(version).arg(SchemaVersion());
    }
    for (; version < SchemaVersion(); ++version)
        for (const QString& sql : MigrationStep(version))
            if (!Exec(db, sql, {}, error)) {
                db.rollback();
                return error;
            }
    const QString write = hadRow ? QStringLiteral("UPDATE schema_version SET version = ?")
                                 : QStringLiteral("INSERT INTO schema_version (version) VALUES (?)");
    // Written even when nothing changed: a database that refuses writes is told here.
    if (!Exec(db, write, {version}, error)) {
        db.rollback();
        return error;
    }
    if (!db.commit())
        return Why(db.lastError());
    migrated_ = true;
    return {};
}

QString Store::Prepare(bool& away)
{
    away = false;
    QString error;
    if (!Connect(error)) {
        away = true;
        return error;
    }
    return Migrate();
}

QString Store::Write(const QByteArray& record)
{
    QString error;
    const std::optional<Row> row = RowFromRecord(record, error);
    if (!row)
        return error;
    if (!Connect(error) || (!migrated_ && !(error = Migrate()).isEmpty()))
        return error.isEmpty() ? QStringLiteral("the database cannot be reached") : error;
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    if (!db.transaction())
        return Why(db.lastError());
    const auto fail = [&](const QString& why) {
        db.rollback();
        return why;
    };
    QSqlQuery known;
    if (!Exec(db, QStringLiteral("SELECT 1 FROM units WHERE id = ?"), {row->id}, error, &known))
        return fail(error);
    if (known.next()) {
        known.finish();
        db.rollback();
        return {}; // sent before: written once
    }
    known.finish();
    const Row& r = *row;
    if (!Exec(db,
              QStringLiteral("INSERT INTO units (id, serial, outcome, device, host, port, station, start, \"end\", day, reason, "
                             "exit_code, duration_seconds, profile_name, profile_sha256, verified, differences, "
                             "receiver_software, receiver_hardware, receiver_protocol, receiver_generation, record) "
                             "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
              {r.id, r.serial, r.outcome, r.device, r.host, r.port, Nullable(r.station), r.start, Nullable(r.end), r.day,
               Nullable(r.reason), r.exitCode, r.durationSeconds, Nullable(r.profileName), Nullable(r.profileSha256),
               r.verified ? QVariant(int(*r.verified)) : QVariant(), Nullable(r.differences), Nullable(r.receiverSoftware),
               Nullable(r.receiverHardware), Nullable(r.receiverProtocol), Nullable(r.receiverGeneration),
               QString::fromUtf8(r.record)},
              error))
        return fail(error);
    for (std::size_t i = 0; i < r.steps.size(); ++i)
        if (!Exec(db, QStringLiteral("INSERT INTO unit_steps (unit_id, position, name, succeeded) VALUES (?, ?, ?, ?)"),
                  {r.id, int(i + 1), r.steps[i].name, int(r.steps[i].succeeded)}, error))
            return fail(error);
    for (std::size_t i = 0; i < r.differing.size(); ++i)
        if (!Exec(db,
                  QStringLiteral("INSERT INTO unit_differences (unit_id, position, name, state, wanted, read) VALUES (?, ?, ?, ?, ?, ?)"),
                  {r.id, int(i + 1), r.differing[i].name, r.differing[i].state, r.differing[i].want, Nullable(r.differing[i].read)},
                  error))
            return fail(error);
    if (!db.commit())
        return fail(Why(db.lastError()));
    return {};
}

QList<QByteArray> Store::Records(QString& error)
{
    QList<QByteArray> lines;
    bool away = false;
    if (!(error = Prepare(away)).isEmpty())
        return lines;
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    QSqlQuery q;
    if (!Exec(db, QStringLiteral("SELECT record FROM units ORDER BY start, id"), {}, error, &q))
        return lines;
    while (q.next())
        lines << q.value(0).toString().toUtf8();
    return lines;
}

Spool::Spool(const QString& path) : path_(path), connection_(NewConnectionName("spool")) {}

Spool::~Spool() { CloseConnection(connection_); }

bool Spool::Open(QString& error)
{
    if (open_)
        return true;
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE"))) {
        error = QStringLiteral("Qt's QSQLITE driver is not installed (Debian: libqt6sql6-sqlite)");
        return false;
    }
    QDir().mkpath(QFileInfo(path_).absolutePath());
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection_);
    db.setDatabaseName(path_);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000"));
    if (!db.open()) {
        error = Why(db.lastError());
        return false;
    }
    open_ = Exec(db,
                 QStringLiteral("CREATE TABLE IF NOT EXISTS spool (seq INTEGER PRIMARY KEY AUTOINCREMENT, target TEXT NOT NULL, "
                                "id TEXT NOT NULL UNIQUE, record TEXT NOT NULL)"),
                 {}, error);
    return open_;
}

QString Spool::Add(const QString& target, const QString& id, const QByteArray& record)
{
    QString error;
    if (!Open(error))
        return error;
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    Exec(db, QStringLiteral("INSERT OR IGNORE INTO spool (target, id, record) VALUES (?, ?, ?)"),
         {target, id, QString::fromUtf8(record.trimmed())}, error);
    return error;
}

int Spool::Drain(Store& store, QString& error)
{
    if (!Open(error))
        return 0;
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    int sent = 0;
    for (;;) {
        QSqlQuery next;
        if (!Exec(db, QStringLiteral("SELECT seq, record FROM spool WHERE target = ? ORDER BY seq LIMIT 1"), {store.Where().text},
                  error, &next))
            return sent;
        if (!next.next())
            return sent;
        const qint64 seq = next.value(0).toLongLong();
        const QByteArray record = next.value(1).toString().toUtf8();
        next.finish();
        // Written (or found written) first, then removed: a crash between
        // the two sends it once more, and the database keeps it once.
        if (!(error = store.Write(record)).isEmpty())
            return sent;
        if (!Exec(db, QStringLiteral("DELETE FROM spool WHERE seq = ?"), {seq}, error))
            return sent;
        ++sent;
    }
}

int Spool::Waiting(const QString& target)
{
    QString error;
    if (!Open(error))
        return 0;
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    QSqlQuery q;
    if (!Exec(db, QStringLiteral("SELECT COUNT(*) FROM spool WHERE target = ?"), {target}, error, &q) || !q.next())
        return 0;
    return q.value(0).toInt();
}

Recorder::Recorder(const Target& target, const QString& spoolPath) : store_(target), spool_(spoolPath) {}

QString Recorder::Open(bool& away)
{
    const QString error = store_.Prepare(away);
    if (error.isEmpty())
        SendWaiting();
    return error;
}

int Recorder::SendWaiting()
{
    QString error;
    return spool_.Drain(store_, error);
}

Recorder::Outcome Recorder::Record(const QString& id, const QByteArray& record)
{
    SendWaiting();
    // While anything waits, a new record queues behind it: the database gets them in order.
    QString why = Waiting() > 0 ? QStringLiteral("it has earlier records to take first") : store_.Write(record);
    if (why.isEmpty())
        return {Outcome::Kind::Written, {}};
    if (const QString spoolError = spool_.Add(store_.Where().text, id, record); !spoolError.isEmpty())
        return {Outcome::Kind::Lost, QStringLiteral("%1, and the spool %2 cannot keep it: %3").arg(why, SpoolPath(), spoolError)};
    return {Outcome::Kind::Spooled, why};
}

} // namespace Records
