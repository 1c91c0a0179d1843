#include "cli/Summary.h"

#include "cli/Commands.h"
#include "cli/Texts.h"
#include "records/Store.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <cmath>

namespace Cli {
namespace {

constexpr int kReasonsShown = 3;

// Why a unit failed, in the verdict's words; a record from before they were
// written says its outcome and step.
QString ReasonOf(const QJsonObject& unit)
{
    const QString reason = unit["reason"].toString();
    if (!reason.isEmpty())
        return reason;
    const QString step = unit["failedStep"].toString();
    return step.isEmpty() ? unit["outcome"].toString() : unit["outcome"].toString() + QStringLiteral(" in ") + step;
}

} // namespace

bool SummaryBuilder::Add(const QByteArray& line)
{
    if (line.trimmed().isEmpty())
        return true;
    QJsonParseError error;
    const QJsonObject unit = QJsonDocument::fromJson(line, &error).object();
    const QDateTime start = QDateTime::fromString(unit["start"].toString(), Qt::ISODateWithMs);
    if (error.error != QJsonParseError::NoError || !start.isValid() || !unit.contains("exitCode")) {
        ++skipped_;
        return false;
    }
    const QString station = unit["station"].toString().isEmpty()
                                ? unit["host"].toString() + u':' + unit["port"].toString()
                                : unit["station"].toString();
    const QString key = QStringList{start.toLocalTime().date().toString(Qt::ISODate), unit["device"].toString(),
                                    byStation_ ? station : unit["host"].toString()}
                            .join(u'\t');
    const QString serial = unit["serial"].toString();
    Attempt attempt{start, unit["exitCode"].toInt() == 0, unit["durationSeconds"].toDouble(), ReasonOf(unit)};
    QMap<QString, Attempt>& units = groups_[key];
    const QString id = serial.isEmpty() ? QStringLiteral("\x01%1").arg(++unnamed_) : serial;
    const auto known = units.find(id);
    if (known == units.end() || known->start <= start)
        units[id] = attempt;
    return true;
}

QList<GroupSummary> SummaryBuilder::Groups() const
{
    QList<GroupSummary> groups;
    for (auto g = groups_.begin(); g != groups_.end(); ++g) {
        GroupSummary s;
        const QStringList key = g.key().split(u'\t');
        s.day = key.value(0);
        s.device = key.value(1);
        s.host = key.value(2);
        QList<double> seconds;
        QMap<QString, int> reasons;
        for (const Attempt& a : g.value()) {
            ++s.units;
            a.passed ? ++s.passed : ++s.failed;
            seconds << a.seconds;
            if (!a.passed)
                ++reasons[a.reason];
        }
        std::sort(seconds.begin(), seconds.end());
        s.medianSeconds = Median(seconds);
        s.p95Seconds = Percentile(seconds, 0.95);
        for (auto r = reasons.begin(); r != reasons.end(); ++r)
            s.failures << qMakePair(r.key(), r.value());
        std::stable_sort(s.failures.begin(), s.failures.end(), [](const auto& x, const auto& y) { return x.second > y.second; });
        s.failures = s.failures.mid(0, kReasonsShown);
        groups << s;
    }
    return groups;
}

double Percentile(const QList<double>& sorted, double share)
{
    if (sorted.isEmpty())
        return 0;
    const auto rank = qsizetype(std::ceil(share * double(sorted.size())));
    return sorted[std::clamp<qsizetype>(rank, 1, sorted.size()) - 1];
}

double Median(const QList<double>& sorted)
{
    const qsizetype n = sorted.size();
    if (n == 0)
        return 0;
    return n % 2 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
}

QString SummaryText(const QList<GroupSummary>& groups, bool byStation)
{
    QString text = QStringLiteral("day\tdevice\t%1\tunits\tpassed\tfailed\tyield\tmedian\tp95\tcommonest failures\n")
                       .arg(byStation ? QStringLiteral("station") : QStringLiteral("host"));
    for (const GroupSummary& g : groups) {
        QStringList failures;
        for (const auto& [reason, count] : g.failures)
            failures << QStringLiteral("%1 x%2").arg(reason).arg(count);
        text += QStringLiteral("%1\t%2\t%3\t%4\t%5\t%6\t%7 %\t%8 s\t%9 s\t%10\n")
                    .arg(g.day, g.device, g.host)
                    .arg(g.units)
                    .arg(g.passed)
                    .arg(g.failed)
                    .arg(g.units ? 100.0 * g.passed / g.units : 0, 0, 'f', 1)
                    .arg(g.medianSeconds, 0, 'f', 1)
                    .arg(g.p95Seconds, 0, 'f', 1)
                    .arg(failures.isEmpty() ? QStringLiteral("-") : failures.join(QStringLiteral("; ")));
    }
    return text;
}

QByteArray SummaryJson(const QList<GroupSummary>& groups, bool byStation)
{
    QJsonArray array;
    for (const GroupSummary& g : groups) {
        QJsonArray failures;
        for (const auto& [reason, count] : g.failures)
            failures.append(QJsonObject{{"reason", reason}, {"count", count}});
        array.append(QJsonObject{{"day", g.day}, {"device", g.device}, {byStation ? "station" : "host", g.host}, {"units", g.units},
                                 {"passed", g.passed}, {"failed", g.failed},
                                 {"yield", g.units ? double(g.passed) / g.units : 0.0},
                                 {"medianSeconds", g.medianSeconds}, {"p95Seconds", g.p95Seconds},
                                 {"failures", failures}});
    }
    return QJsonDocument(array).toJson(QJsonDocument::Compact) + '\n';
}

int Commands::Summary(const Arguments& a, const Streams& s)
{
    SummaryBuilder builder(a.byStation);
    if (!a.record.isEmpty()) {
        QString error;
        const std::optional<Records::Target> target = Records::ParseUrl(a.record, error);
        Records::Store store(*target);
        for (const QByteArray& line : store.Records(error))
            builder.Add(line);
        if (!error.isEmpty()) {
            Texts::Put(s.err, (Texts::CannotRead(target->text, error) + u'\n').toLocal8Bit());
            return kUsage;
        }
    }
    for (const QString& path : a.files) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            Texts::Put(s.err, (Texts::CannotRead(path, file.errorString()) + u'\n').toLocal8Bit());
            return kUsage;
        }
        while (!file.atEnd())
            builder.Add(file.readLine());
    }
    if (builder.Skipped() > 0)
        Texts::Put(s.err, (Texts::Said(builder.Skipped() == 1 ? QStringLiteral("skipped a line that is no record (cut short)")
                                                              : QStringLiteral("skipped %1 lines that are no record (cut short)")
                                                                    .arg(builder.Skipped()))
                           + u'\n')
                              .toLocal8Bit());
    const QList<GroupSummary> groups = builder.Groups();
    const QByteArray out = a.json ? SummaryJson(groups, a.byStation) : SummaryText(groups, a.byStation).toLocal8Bit();
    const QString error = Texts::Put(s.out, out);
    if (!error.isEmpty()) {
        Texts::Put(s.err, (Texts::CannotWrite(QStringLiteral("standard output"), error) + u'\n').toLocal8Bit());
        return kReportLost;
    }
    return kDone;
}

} // namespace Cli
