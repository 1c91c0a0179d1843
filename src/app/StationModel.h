#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>

// What one panel of the station window shows, made from the station's
// events (the command line's `configure --repeat --events` on that port):
// the state in a word and the one action asked of the operator, the unit's
// serial, the counts and the last units. Pure: the panel only draws it.
namespace StationView {

enum class Look {
    Idle,    // waiting, nothing asked yet
    Insert,  // insert a unit
    Scan,    // scan the unit's label
    Running, // a unit's run is under way
    Pass,    // passed: remove the unit
    Fail,    // failed: remove the unit
    Blocked, // the port cannot be opened
    Stopped, // the station's process ended
};

struct LastUnit {
    QDateTime time;
    QString serial;
    bool passed = false;
    QString reason;
};

struct PanelModel {
    QString port;    // as the panel was given it
    QString path;    // the stable name the station keeps to
    QString device;  // the device's or profile's name
    QString sha256;  // a profile file's hash; empty for a built-in device
    Look look = Look::Idle;
    QString word;    // the state in words, shown large: never the colour alone
    QString detail;  // what goes with it: the step, the reason, why the port will not open
    int unit = 0;
    QString serial;
    int passed = 0, failed = 0;
    bool waitsForSerial = false;
    QList<LastUnit> last; // newest first, at most kLastUnits
    QDateTime verdictShown; // when the last done event was applied
};

inline constexpr int kLastUnits = 8;

// Shows `look` with its `word` and `detail`.
void Show(PanelModel& model, Look look, const QString& word, const QString& detail = {});
// The model after `event` (one JSON line of the station's events).
void Apply(PanelModel& model, const QJsonObject& event);
// The station's process ended: `lastWords`, the end of what it said.
void Stopped(PanelModel& model, const QString& lastWords);
// The yield in percent, with one decimal; "-" before the first unit.
QString Yield(const PanelModel& model);

} // namespace StationView
