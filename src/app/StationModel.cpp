#include "app/StationModel.h"

namespace StationView {

void Show(PanelModel& m, Look look, const QString& word, const QString& detail)
{
    m.look = look;
    m.word = word;
    m.detail = detail;
}

namespace {

void Done(PanelModel& m, const QJsonObject& e)
{
    const bool passed = e["verdict"].toString() == QLatin1String("PASS");
    passed ? ++m.passed : ++m.failed;
    m.serial = e["serial"].toString();
    QString reason = e["reason"].toString();
    if (e["record"].toString() == QLatin1String("spooled"))
        reason += QStringLiteral(" (record spooled)");
    if (!e["recorded"].toBool(true))
        reason += QStringLiteral(" (record lost)");
    m.last.prepend({QDateTime::fromString(e["time"].toString(), Qt::ISODateWithMs), m.serial, passed, reason});
    while (m.last.size() > kLastUnits)
        m.last.removeLast();
    // On a line of mixed module revisions, which receiver it was.
    const QString receiver = e["receiver"].toString();
    Show(m, passed ? Look::Pass : Look::Fail, passed ? QStringLiteral("PASS") : QStringLiteral("FAIL"),
         QStringLiteral("%1 - remove the unit").arg(receiver.isEmpty() ? reason : reason + QStringLiteral(", ") + receiver));
    m.verdictShown = QDateTime::currentDateTimeUtc();
}

} // namespace

void Apply(PanelModel& m, const QJsonObject& e)
{
    const QString event = e["event"].toString();
    if (event == QLatin1String("station")) {
        m.path = e["path"].toString();
        m.device = e["name"].toString();
        m.sha256 = e["sha256"].toString();
    } else if (event == QLatin1String("waiting")) {
        m.waitsForSerial = false;
        if (m.look != Look::Scan)
            Show(m, Look::Insert, QStringLiteral("Insert a unit"),
                e["device"].toBool(true) ? QString() : QStringLiteral("no device behind %1").arg(m.path));
    } else if (event == QLatin1String("serial")) {
        m.waitsForSerial = true;
        m.unit = e["unit"].toInt();
        Show(m, Look::Scan, QStringLiteral("Scan the label"), QStringLiteral("unit %1").arg(m.unit));
    } else if (event == QLatin1String("running")) {
        m.waitsForSerial = false;
        m.unit = e["unit"].toInt();
        if (e.contains("serial"))
            m.serial = e["serial"].toString();
        const QString step = e.contains("step") ? QStringLiteral("step %1 of %2: %3")
                                                      .arg(e["step"].toInt())
                                                      .arg(e["steps"].toInt())
                                                      .arg(e["name"].toString())
                                                : QStringLiteral("starting");
        Show(m, Look::Running, QStringLiteral("Running"), step);
    } else if (event == QLatin1String("done")) {
        Done(m, e);
    } else if (event == QLatin1String("gone")) {
        if (!e["newBoard"].toBool())
            Show(m, Look::Insert, QStringLiteral("Insert a unit"));
    } else if (event == QLatin1String("cannotOpen")) {
        Show(m, Look::Blocked, QStringLiteral("Port cannot be opened"), e["reason"].toString());
    } else if (event == QLatin1String("opens")) {
        if (m.look == Look::Blocked)
            Show(m, Look::Idle, QStringLiteral("Port open again"));
    }
}

void Stopped(PanelModel& m, const QString& lastWords)
{
    m.waitsForSerial = false;
    Show(m, Look::Stopped, QStringLiteral("Station stopped"), lastWords);
}

QString Yield(const PanelModel& m)
{
    const int units = m.passed + m.failed;
    return units == 0 ? QStringLiteral("-") : QStringLiteral("%1 %").arg(100.0 * m.passed / units, 0, 'f', 1);
}

} // namespace StationView
