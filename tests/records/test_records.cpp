// Unit records in real databases: SQLite files and a PostgreSQL server of
// the test's own (harness/PgServer), written by the packaged tool on
// simulated receivers and read back with SQL.
#include "cli/Report.h"
#include "harness/PgServer.h"
#include "harness/PtySim.h"
#include "records/Store.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QtTest>

#include <csignal>

using Records::Target;

namespace {

// A record as the command line writes it: `exitCode` 0 passes; 4 has one difference.
QByteArray Record(const QString& serial, int exitCode, const QString& start = QStringLiteral("2026-12-08T07:00:00.000Z"))
{
    Cli::UnitRecord u;
    u.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    u.station = QStringLiteral("bench-1:1");
    u.command = QStringLiteral("configure");
    u.device = QStringLiteral("molvane");
    u.port = QStringLiteral("1");
    u.host = QStringLiteral("bench-1");
    u.serial = serial;
    u.start = QDateTime::fromString(start, Qt::ISODateWithMs);
    u.end = u.start.addMSecs(700);
    u.exitCode = exitCode;
    u.outcome = exitCode == 0 ? QStringLiteral("done") : QStringLiteral("verification failed");
    u.reason = exitCode == 0 ? QStringLiteral("verified") : QStringLiteral("1 difference");
    u.steps = {{QStringLiteral("ResetToKnownState"), true, {}}, {QStringLiteral("ReadBack"), exitCode == 0, {}}};
    u.verificationRan = true;
    u.verification = {{QStringLiteral("saved CFG-RATE measRate"), 200, 200, true},
                      {QStringLiteral("saved CFG-PRT port 1 baudRate"), 9600, exitCode == 0 ? 9600 : 115200, exitCode == 0}};
    u.receiverSoftware = QStringLiteral("7.03 (45969)");
    u.receiverHardware = QStringLiteral("00040007");
    u.receiverExtensions = {QStringLiteral("PROTVER 14.00")};
    u.receiverGeneration = 6;
    u.receiverProtocol = QStringLiteral("14.00");
    return Cli::ToJsonLine(u, exitCode != 0);
}

QString IdOf(const QByteArray& line) { return QJsonDocument::fromJson(line).object()["id"].toString(); }

// One value of `sql` over the database of `url`, through Qt's own drivers.
QVariant Value(const QString& url, const QString& sql)
{
    QString error;
    const auto target = Records::ParseUrl(url, error);
    const QString name = QUuid::createUuid().toString();
    QVariant value;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(target->kind == Target::Kind::Sqlite ? "QSQLITE" : "QPSQL", name);
        db.setDatabaseName(target->kind == Target::Kind::Sqlite ? target->path : target->database);
        db.setUserName(target->user);
        db.setHostName(target->host);
        if (db.open()) {
            QSqlQuery q(db);
            if (q.exec(sql) && q.next())
                value = q.value(0);
        }
    }
    QSqlDatabase::removeDatabase(name);
    return value;
}

QList<QByteArray> Lines(const QString& path)
{
    QFile file(path);
    QList<QByteArray> lines = file.open(QIODevice::ReadOnly) ? file.readAll().split('\n') : QList<QByteArray>();
    lines.removeAll(QByteArray());
    return lines;
}

} // namespace

class TestRecords : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void urls_data();
    void urls();
    void store_data();
    void store();
    void stations_data();
    void stations();

private:
    std::unique_ptr<PgServer> pg_;
    QTemporaryDir dir_;
    int databases_ = 0;
    QString NewDatabase(bool postgres);
};

void TestRecords::initTestCase()
{
    QVERIFY(dir_.isValid());
    qputenv("XDG_DATA_HOME", dir_.filePath("data").toLocal8Bit()); // the spool, also the tools'
    pg_ = std::make_unique<PgServer>();
    QVERIFY2(pg_->IsValid(), qPrintable(pg_->Error()));
}

QString TestRecords::NewDatabase(bool postgres)
{
    const QString name = QStringLiteral("units%1").arg(++databases_);
    if (!postgres)
        return QStringLiteral("sqlite:") + dir_.filePath(name + ".sqlite");
    return pg_->CreateDatabase(name) ? pg_->Url(name) : QString();
}

void TestRecords::urls_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("parsed"); // kind|path or user@host:port/db, or the error's start
    QTest::newRow("an SQLite file") << "sqlite:/var/lib/bench/units.sqlite" << "sqlite|/var/lib/bench/units.sqlite";
    QTest::newRow("plain sqlite: the default file")
        << "sqlite:" << "sqlite|" + QDir(qEnvironmentVariable("XDG_DATA_HOME")).filePath("varnexconfig/records.sqlite");
    QTest::newRow("a server on a host and port") << "postgresql://line@db.factory:5433/units" << "pg|line@db.factory:5433/units";
    QTest::newRow("a Unix socket") << "postgresql://line@/units?host=/run/postgresql" << "pg|line@/run/postgresql:0/units";
    QTest::newRow("no database named") << "postgresql://line@db.factory/" << "error|\"postgresql://line@db.factory/\" names no database";
    QTest::newRow("a password in the URL") << "postgresql://line:secret@db/units" << "error|a record URL holds no password";
    QTest::newRow("another scheme") << "mysql://line@db/units" << "error|\"mysql://line@db/units\" is no record URL";
}

void TestRecords::urls()
{
    QFETCH(QString, url);
    QFETCH(QString, parsed);
    QString error;
    const auto t = Records::ParseUrl(url, error);
    const QString got = !t ? QStringLiteral("error|") + error.left(parsed.size() - 6)
                        : t->kind == Target::Kind::Sqlite
                            ? QStringLiteral("sqlite|") + t->path
                            : QStringLiteral("pg|%1@%2:%3/%4").arg(t->user, t->host).arg(t->port).arg(t->database);
    QCOMPARE(got, parsed);
    if (t)
        QVERIFY(!t->text.contains(u"secret"));
}

// The same on both databases: rows, steps and differences in their tables,
// a record sent twice kept once, read back in order; and a database of the
// first schema upgraded in place with its units kept.
void TestRecords::store_data()
{
    QTest::addColumn<bool>("postgres");
    QTest::addColumn<bool>("older");
    QTest::newRow("SQLite") << false << false;
    QTest::newRow("PostgreSQL") << true << false;
    QTest::newRow("SQLite of the first schema, upgraded") << false << true;
    QTest::newRow("PostgreSQL of the first schema, upgraded") << true << true;
}

void TestRecords::store()
{
    QFETCH(bool, postgres);
    QFETCH(bool, older);
    const QString url = NewDatabase(postgres);
    QVERIFY(!url.isEmpty());
    QString error;
    Records::Store store(*Records::ParseUrl(url, error));
    const QByteArray early = Record("OLD-1", 0, "2026-12-07T06:00:00.000Z");
    if (older) {
        // A database an earlier version made: version 1 and a unit in it.
        Records::Store first(*Records::ParseUrl(url, error));
        bool away = false;
        first.Prepare(away); // the current schema, then taken back to the first by hand
        for (const char* table : {"unit_differences", "unit_steps", "units", "schema_version"})
            Value(url, QStringLiteral("DROP TABLE %1").arg(QLatin1String(table)));
        Value(url, "CREATE TABLE schema_version (version INTEGER NOT NULL)");
        Value(url, "INSERT INTO schema_version (version) VALUES (1)");
        for (const QString& sql : Records::MigrationStep(0))
            Value(url, sql);
        Value(url, QStringLiteral("INSERT INTO units (id, serial, outcome, device, host, port, start, record) VALUES "
                                  "('%1', 'OLD-1', 'done', 'molvane', 'bench-1', '1', '2026-12-07T06:00:00.000Z', '%2')")
                       .arg(IdOf(early), QString::fromUtf8(early.trimmed())));
        QCOMPARE(Value(url, "SELECT version FROM schema_version").toInt(), 1);
    }
    bool away = true;
    QCOMPARE(store.Prepare(away), QString());
    QVERIFY(!away);
    QCOMPARE(Value(url, "SELECT version FROM schema_version").toInt(), Records::SchemaVersion());
    const QList<QByteArray> lines{Record("SN-1", 0), Record("SN-2", 4, "2026-12-08T07:01:00.000Z")};
    for (const QByteArray& line : lines)
        QCOMPARE(store.Write(line), QString());
    QCOMPARE(store.Write(lines[1]), QString()); // sent again (a spool's retry): kept once
    const int before = older ? 1 : 0;
    QCOMPARE(Value(url, "SELECT COUNT(*) FROM units").toInt(), before + 2);
    QCOMPARE(Value(url, "SELECT COUNT(*) FROM unit_steps").toInt(), 4);
    QCOMPARE(Value(url, QStringLiteral("SELECT name || ' ' || wanted || ' ' || read FROM unit_differences WHERE unit_id = '%1'")
                            .arg(IdOf(lines[1])))
                 .toString(),
             QStringLiteral("saved CFG-PRT port 1 baudRate 9600 115200"));
    QCOMPARE(Value(url, QStringLiteral("SELECT serial || ' ' || outcome || ' ' || station || ' ' || day || ' ' || verified || ' ' || "
                                       "differences || ' ' || receiver_protocol || ' ' || receiver_generation FROM units WHERE id = '%1'")
                            .arg(IdOf(lines[1])))
                 .toString(),
             QStringLiteral("SN-2 verification failed bench-1:1 2026-12-08 0 1 14.00 6"));
    QList<QByteArray> expected = lines;
    if (older)
        expected.prepend(early.trimmed());
    for (QByteArray& line : expected)
        line = line.trimmed();
    QCOMPARE(store.Records(error), expected);
}

enum class Scene { OneStation, ServerStoppedAndStarted, TwoStationsAtOnce, ReadOnly };
Q_DECLARE_METATYPE(Scene)

// The tool's bench loops writing to a database, boards swapped under their
// adapters every 3 s: every unit in the database once, the same as in the
// stations' reports, the yield the same from both.
void TestRecords::stations_data()
{
    QTest::addColumn<Scene>("scene");
    QTest::addColumn<bool>("postgres");
    QTest::newRow("one station, its own SQLite file") << Scene::OneStation << false;
    QTest::newRow("the server stopped in a loop and started again") << Scene::ServerStoppedAndStarted << true;
    QTest::newRow("two stations writing at once") << Scene::TwoStationsAtOnce << true;
    QTest::newRow("a read-only database is refused before the first unit") << Scene::ReadOnly << true;
}

void TestRecords::stations()
{
    QFETCH(Scene, scene);
    QFETCH(bool, postgres);
    const QString url = NewDatabase(postgres);
    QVERIFY(!url.isEmpty());
    if (scene == Scene::ReadOnly)
        QVERIFY(pg_->Sql(QStringLiteral("ALTER DATABASE %1 SET default_transaction_read_only = on").arg(url.section('/', 3).section('?', 0, 0))));
    const int count = scene == Scene::TwoStationsAtOnce ? 2 : 1;
    std::vector<std::unique_ptr<PtySim>> sims;
    std::vector<std::unique_ptr<QProcess>> tools;
    QStringList reports, err(count);
    for (int i = 0; i < count; ++i) {
        sims.push_back(std::make_unique<PtySim>(i + 1, VarnexSim::ModelOptions{.swapEvery = 3}));
        QVERIFY2(sims.back()->IsValid(), qPrintable(sims.back()->Error()));
        reports << dir_.filePath(QStringLiteral("%1-%2.jsonl").arg(QTest::currentDataTag()).arg(i));
        tools.push_back(std::make_unique<QProcess>());
        tools.back()->start(QStringLiteral(VARNEX_TOOL_EXE), {"configure", "pemmet", "--port", sims.back()->DevicePath(), "--fast",
                                                              "--repeat", "--report", reports.back(), "--record", url});
    }
    const auto done = [&](int i) {
        err[i] += QString::fromLocal8Bit(tools[i]->readAllStandardError());
        return int(err[i].count(QLatin1String("PASS  unit")));
    };
    if (scene == Scene::ReadOnly) {
        QVERIFY(tools[0]->waitForFinished(20000));
        done(0);
        QVERIFY2(tools[0]->exitCode() == 2 && err[0].contains(QLatin1String("refuses units")) && err[0].contains(QLatin1String("read-only")),
                 qPrintable(err[0]));
        QVERIFY(sims[0]->FramesFromPc().isEmpty());
        return;
    }
    QTRY_VERIFY_WITH_TIMEOUT(done(0) >= 1, 30000);
    if (scene == Scene::ServerStoppedAndStarted) {
        QVERIFY(pg_->Stop());
        QTRY_VERIFY_WITH_TIMEOUT(done(0) >= 3, 30000);
        QVERIFY2(err[0].contains(QLatin1String("waits in the spool")), qPrintable(err[0]));
        QVERIFY(pg_->Start());
        const int spooled = done(0);
        QTRY_VERIFY_WITH_TIMEOUT(done(0) > spooled, 30000);
    } else {
        QTRY_VERIFY_WITH_TIMEOUT(done(0) >= 3 && done(count - 1) >= 3, 40000);
    }
    for (auto& tool : tools)
        if (tool->processId() > 0) // never 0: that would signal the test's whole process group
            ::kill(pid_t(tool->processId()), SIGINT);
    QStringList ids;
    for (int i = 0; i < count; ++i) {
        QVERIFY(tools[i]->waitForFinished(20000));
        done(i);
        QVERIFY2(tools[i]->exitCode() == 0, qPrintable(err[i]));
        for (const QByteArray& line : Lines(reports[i]))
            ids << IdOf(line);
    }
    // Each unit once: the database holds exactly the units of the reports.
    ids.sort();
    QString error;
    Records::Store store(*Records::ParseUrl(url, error));
    QStringList stored;
    for (const QByteArray& line : store.Records(error))
        stored << IdOf(line);
    stored.sort();
    QCOMPARE(stored, ids);
    QCOMPARE(Value(url, "SELECT COUNT(DISTINCT id) FROM units").toInt(), ids.size());
    // The yield from the database is the yield from the reports.
    QProcess fromDb, fromFiles;
    fromDb.start(QStringLiteral(VARNEX_TOOL_EXE), {"summary", "--json", "--by", "station", "--record", url});
    fromFiles.start(QStringLiteral(VARNEX_TOOL_EXE), QStringList{"summary", "--json", "--by", "station"} + reports);
    QVERIFY(fromDb.waitForFinished(10000) && fromFiles.waitForFinished(10000));
    const QByteArray summary = fromDb.readAllStandardOutput();
    QVERIFY2(summary.count("\"station\"") == count, summary.constData());
    QCOMPARE(summary, fromFiles.readAllStandardOutput());
}

QTEST_GUILESS_MAIN(TestRecords)
#include "test_records.moc"
