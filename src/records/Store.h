#pragma once

#include "records/Url.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>
#include <vector>

// Unit records in a database a factory's other systems can read: SQLite for
// one station, PostgreSQL for a line of them, through Qt's SQL module and
// its drivers. A unit's record is the same JSON line the report holds; its
// fields are also laid out in columns (`units`), with a row per step
// (`unit_steps`) and per differing item (`unit_differences`), each unit in
// one transaction. docs/USER_GUIDE.md shows the schema and queries.
namespace Records {

// The columns of one unit, read from its JSON record.
struct Row {
    QString id, serial, outcome, device, host, port, station;
    QString start, end, day; // ISO 8601 in UTC; the day of the start, UTC
    QString profileName, profileSha256, reason;
    int exitCode = 0;
    std::optional<bool> verified;
    std::optional<qint64> differences;
    QString receiverSoftware, receiverHardware, receiverProtocol;
    std::optional<qint64> receiverGeneration;
    double durationSeconds = 0;
    struct Step {
        QString name;
        bool succeeded = false;
    };
    std::vector<Step> steps;
    struct Difference {
        QString name, state;
        qint64 want = 0;
        std::optional<qint64> read;
    };
    std::vector<Difference> differing;
    QByteArray record; // the JSON line itself
};

// The columns of the JSON record `line`; nothing, with `error`, when it is
// none (no id or start).
std::optional<Row> RowFromRecord(const QByteArray& line, QString& error);

// The schema's steps, oldest first: version N is reached by running step
// N-1's statements. Each runs in one transaction with the version written.
int SchemaVersion();
std::vector<QString> MigrationStep(int fromVersion);

class Store {
public:
    explicit Store(const Target& target);
    ~Store();
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    // Connects, upgrades an older schema in place and proves that a unit
    // could be written (nothing of the proof is kept). Empty when ready;
    // else why, with `away` true when the database could not be reached (as
    // against reached and refusing).
    QString Prepare(bool& away);
    // Writes one unit's rows in one transaction; a record whose id is already
    // there is not written again. Empty when it is there.
    QString Write(const QByteArray& record);
    // Every unit's JSON record, oldest first.
    QList<QByteArray> Records(QString& error);
    const Target& Where() const { return target_; }

private:
    bool Connect(QString& error);
    QString Migrate();

    Target target_;
    QString connection_;
    bool connected_ = false;
    bool migrated_ = false;
};

// Records that could not reach their database, kept in a local SQLite file
// until it answers again, then sent in order, each once.
class Spool {
public:
    explicit Spool(const QString& path = SpoolPath());
    ~Spool();
    Spool(const Spool&) = delete;
    Spool& operator=(const Spool&) = delete;

    // Keeps `record` (of unit `id`) for `target`. Empty when kept.
    QString Add(const QString& target, const QString& id, const QByteArray& record);
    // Sends what waits for `store`'s target, oldest first, each removed once
    // written; stops at the first the database does not take. How many were sent.
    int Drain(Store& store, QString& error);
    // How many records wait for `target`.
    int Waiting(const QString& target);

private:
    bool Open(QString& error);

    QString path_;
    QString connection_;
    bool open_ = false;
};

// The one way a unit's record reaches its database, so that none is lost or
// written twice: after what waits for that database in the spool, oldest
// first; into the spool when the database does not take it.
class Recorder {
public:
    explicit Recorder(const Target& target, const QString& spoolPath = SpoolPath());

    // Store::Prepare; then, when the database answers, what waits is sent.
    QString Open(bool& away);
    struct Outcome {
        enum class Kind { Written, Spooled, Lost } kind = Kind::Written;
        QString why; // Spooled: why the database did not take it; Lost: why neither kept it
    };
    Outcome Record(const QString& id, const QByteArray& record);
    // Sends what waits in the spool; how many were sent.
    int SendWaiting();
    int Waiting() { return spool_.Waiting(store_.Where().text); }
    const Target& Where() const { return store_.Where(); }

private:
    Store store_;
    Spool spool_;
};

} // namespace Records
