#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QString>

// A day's yield from reports: per local day, device and host, the units,
// passed, failed, yield, median and 95th-percentile time per unit, and the
// commonest failure reasons. A serial number tried several times counts once,
// with its last outcome. Lines are taken one at a time; a line that is not a
// record (a cut last line) is skipped and counted.
namespace Cli {

struct GroupSummary {
    QString day, device, host; // host: the station when grouped by station
    int units = 0, passed = 0, failed = 0;
    double medianSeconds = 0, p95Seconds = 0;
    QList<QPair<QString, int>> failures; // reason, count; commonest first
};

class SummaryBuilder {
public:
    // `byStation`: grouped by station (the record's, else host and port) rather than host.
    explicit SummaryBuilder(bool byStation = false) : byStation_(byStation) {}
    // One line of a report; false when it is no record.
    bool Add(const QByteArray& line);
    QList<GroupSummary> Groups() const;
    int Skipped() const { return skipped_; }

private:
    struct Attempt {
        QDateTime start;
        bool passed = false;
        double seconds = 0;
        QString reason;
    };
    // Per group ("day\tdevice\thost"), per serial (a unit without one is its own).
    QMap<QString, QMap<QString, Attempt>> groups_;
    bool byStation_ = false;
    int unnamed_ = 0;
    int skipped_ = 0;
};

// The value below which `share` (0..1) of the sorted `values` lie (nearest rank).
double Percentile(const QList<double>& sorted, double share);
double Median(const QList<double>& sorted);

QString SummaryText(const QList<GroupSummary>& groups, bool byStation = false);
QByteArray SummaryJson(const QList<GroupSummary>& groups, bool byStation = false);

} // namespace Cli
