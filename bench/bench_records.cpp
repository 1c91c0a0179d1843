// Unit records written to databases: units recorded per second, one
// station at a time, into an SQLite file and into PostgreSQL (a server of the
// benchmark's own, as the suite starts one); then three stations (three
// processes) recording 1000 units each at once into one PostgreSQL database:
// units recorded, lost (a station's unit missing from the database) and
// doubled (a unit there more than once).
//
//   build/bench/bench_records [--units 1000] [--stations 3]
#include "BenchUtil.h"
#include "cli/Report.h"
#include "harness/PgServer.h"
#include "records/Store.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QUuid>

#include <cstdio>

namespace {

// A record as the command line writes it for a unit that passed its proof.
QByteArray Record(int station, int unit)
{
    Cli::UnitRecord u;
    u.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    u.station = QStringLiteral("bench-%1:1").arg(station);
    u.command = QStringLiteral("configure");
    u.device = QStringLiteral("molvane");
    u.port = QStringLiteral("1");
    u.host = QStringLiteral("bench-%1").arg(station);
    u.serial = QStringLiteral("S%1-%2").arg(station).arg(unit);
    u.start = QDateTime::currentDateTimeUtc();
    u.end = u.start.addMSecs(600);
    u.outcome = QStringLiteral("done");
    u.reason = QStringLiteral("verified");
    for (const char* step : {"ResetToKnownState", "WriteConfiguration 200 ms rate 1", "SetTimePulse 200 ms 50 ms",
                             "SetBaudRate 9600 port 1", "WriteSetupToFlash", "ReadBack"})
        u.steps.push_back({QLatin1String(step), true, {}});
    u.verificationRan = true;
    u.verification = {{QStringLiteral("saved CFG-RATE measRate"), 200, 200, true}};
    u.receiverSoftware = QStringLiteral("7.03 (45969)");
    u.receiverHardware = QStringLiteral("00040007");
    return Cli::ToJsonLine(u, false);
}

// Writes `units` records as station `station`; their ids to `idsFile`. Seconds taken, or < 0.
double WriteUnits(const QString& url, int station, int units, const QString& idsFile)
{
    QString error;
    Records::Store store(*Records::ParseUrl(url, error));
    bool away = false;
    if (!(error = store.Prepare(away)).isEmpty()) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(url), qPrintable(error));
        return -1;
    }
    QFile ids(idsFile);
    if (!idsFile.isEmpty() && !ids.open(QIODevice::WriteOnly))
        return -1;
    const double t0 = BenchUtil::WallSeconds();
    for (int i = 0; i < units; ++i) {
        const QByteArray line = Record(station, i);
        if (!(error = store.Write(line)).isEmpty()) {
            std::fprintf(stderr, "unit %d: %s\n", i, qPrintable(error));
            continue;
        }
        if (ids.isOpen())
            ids.write(QJsonDocument::fromJson(line).object()["id"].toString().toLatin1() + '\n');
    }
    return BenchUtil::WallSeconds() - t0;
}

qint64 Count(const QString& url, const QString& sql)
{
    QString error;
    const auto t = Records::ParseUrl(url, error);
    qint64 n = -1;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QPSQL", "count");
        db.setDatabaseName(t->database);
        db.setUserName(t->user);
        db.setHostName(t->host);
        QSqlQuery q(db);
        if (db.open() && q.exec(sql) && q.next())
            n = q.value(0).toLongLong();
    }
    QSqlDatabase::removeDatabase("count");
    return n;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const auto value = [&](const char* name, int fallback) {
        const qsizetype at = args.indexOf(QLatin1String(name));
        return at >= 0 && at + 1 < args.size() ? args[at + 1].toInt() : fallback;
    };
    const int units = value("--units", 1000);
    if (args.contains(QStringLiteral("--station"))) { // one station of the concurrent run
        const qsizetype at = args.indexOf(QStringLiteral("--url"));
        return WriteUnits(args[at + 1], value("--station", 1), units, args[args.indexOf(QStringLiteral("--ids")) + 1]) < 0;
    }
    const int stations = value("--stations", 3);
    QTemporaryDir dir;
    PgServer pg(true); // syncing its writes, as a line's server does
    if (!pg.IsValid() || !pg.CreateDatabase("single") || !pg.CreateDatabase("line")) {
        std::fprintf(stderr, "%s\n", qPrintable(pg.Error()));
        return 1;
    }
    const QString sqlite = QStringLiteral("sqlite:") + dir.filePath("units.sqlite");
    for (const QString& url : {sqlite, pg.Url("single")}) {
        const double seconds = WriteUnits(url, 1, units, {});
        std::printf("%-10s one station, %d units: %.2f s, %.0f units/s\n", url.startsWith("sqlite") ? "SQLite" : "PostgreSQL",
                    units, seconds, units / seconds);
    }
    // The line: stations at once, each a process of its own with its own connection.
    const QString line = pg.Url("line");
    std::vector<std::unique_ptr<QProcess>> children;
    const double t0 = BenchUtil::WallSeconds();
    for (int s = 1; s <= stations; ++s) {
        children.push_back(std::make_unique<QProcess>());
        children.back()->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        children.back()->start(app.applicationFilePath(), {"--station", QString::number(s), "--units", QString::number(units),
                                                           "--url", line, "--ids", dir.filePath(QStringLiteral("ids-%1").arg(s))});
    }
    for (auto& child : children)
        child->waitForFinished(-1);
    const double seconds = BenchUtil::WallSeconds() - t0;
    qint64 lost = 0, sent = 0;
    for (int s = 1; s <= stations; ++s) {
        QFile ids(dir.filePath(QStringLiteral("ids-%1").arg(s)));
        ids.open(QIODevice::ReadOnly);
        for (const QByteArray& id : ids.readAll().split('\n'))
            if (!id.isEmpty()) {
                ++sent;
                lost += Count(line, QStringLiteral("SELECT COUNT(*) FROM units WHERE id = '%1'").arg(QLatin1String(id))) != 1;
            }
    }
    const qint64 rows = Count(line, "SELECT COUNT(*) FROM units");
    const qint64 distinct = Count(line, "SELECT COUNT(DISTINCT id) FROM units");
    std::printf("PostgreSQL %d stations x %d units at once: %.2f s, %.0f units/s; recorded %lld of %d, lost %lld, doubled %lld "
                "(acknowledged by the stations %lld)\n",
                stations, units, seconds, stations * units / seconds, static_cast<long long>(distinct), stations * units,
                static_cast<long long>(lost + (stations * units - sent)), static_cast<long long>(rows - distinct),
                static_cast<long long>(sent));
    return 0;
}
