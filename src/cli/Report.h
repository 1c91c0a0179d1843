#pragma once

#include "profiles/Verification.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <vector>

// The record of one unit, written as one JSON object on one line (JSON Lines).
namespace Cli {

struct FrameRecord {
    QString sent;             // the frame as spaced upper-case hex
    QString wait;             // "ack", "reply", or empty when nothing was awaited
    QString answer;           // what ended the wait: "ack", "nak", "reply" or "none" (time-out)
    double seconds = 0;       // the whole wait, from the sending to its end
};

struct StepRecord {
    QString name;
    bool succeeded = false;
    std::vector<FrameRecord> frames;
};

struct UnitRecord {
    QString id;               // a UUID made by the station, the unit's key in a record database
    QString station;          // the machine and port that ran it: "host:port"
    QString command;          // "configure" or "verify"
    QString device;           // the table's key
    QString port;             // as given
    QString path;             // the device path opened
    QString serial;
    QString host;             // the machine that ran the unit
    QDateTime start;
    QDateTime end;
    QString outcome;          // "done", "step failed", "port not opened", "port lost", "verification failed", "interrupted"
    int exitCode = 0;
    QString reason;           // the verdict's words: "verified", "save refused (CFG-CFG)", "2 differences"
    QString failedStep;       // the step a unit that did not finish ended in; empty when it finished
    QString interruptedStep;  // the step an abandoned unit was in; empty otherwise
    QString message;          // the operator message of the run; for a failure, why
    std::vector<StepRecord> steps;
    QString profileName;      // the device's name
    QString profileFile;      // the profile file that ran; empty for a built-in device
    QString profileSha256;    // of the file's bytes, hex
    bool verificationRan = false;
    std::vector<Verification::Item> verification;
    // The receiver's own identity (MON-VER), when it answered; `identityAsked`
    // once it was asked (a unit that did not answer is recorded without one).
    bool identityAsked = false;
    QString receiverSoftware;
    QString receiverHardware;
    QStringList receiverExtensions;
    // Told from that identity: the generation (u-blox 8 is 8; 0 when not
    // known) and the protocol version ("18.00"; empty when not known).
    int receiverGeneration = 0;
    QString receiverProtocol;
    // The device was refused for this receiver before anything was sent.
    bool refusedFor = false;
    // What the run found out about the step that failed (not in the record's own fields).
    QStringList notes;
};

// The record as one line of JSON, newline included. `frames`: every frame
// and verification item in full; else (for a unit that passed) a summary of
// each step and of the verification, so that the line stays a few kB.
QByteArray ToJsonLine(const UnitRecord& unit, bool frames);

// Checks that `path` can be appended to (creating it if needed) without
// changing what it holds; an empty result means it can, else why not.
QString CheckWritable(const QString& path);

// Appends `line` to `path` in one write on a file opened for appending, then
// syncs it to the disk. Several processes appending to one file leave whole
// lines; a file whose last line was cut (a full disk, a killed process) gets
// a line end first, so the new line stays readable. A write that puts only
// part of the line on the disk is a failure; it is never cut back (another
// station's line may follow it). Returns why it failed, or empty.
QString AppendWhole(const QString& path, const QByteArray& line);

} // namespace Cli
