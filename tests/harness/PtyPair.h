#pragma once

#include "sim/PtyLine.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

// A real pseudo-terminal for tests that need a bare serial line: the test
// holds the master side, the tool opens the slave through a ports folder entry.
class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool IsValid() const { return pty_.master >= 0; }
    QString SlavePath() const { return pty_.slavePath; }
    // Maps the slave as `folder`/com`number`.
    bool MapAs(const QString& folder, int number);
    void Unmap();
    // Writes to the tool's side.
    void Write(const QByteArray& bytes);
    // Reads what the tool sent, waiting until `count` bytes came or `seconds` passed.
    QByteArray Read(qsizetype count, double seconds);
    // The rate the tool last set on its side of the line (0 when unknown).
    int ToolBaudRate() const;

private:
    VarnexSim::PtyEnds pty_;
    QString link_;
};

// A temporary ports folder, named in VARNEXCONFIG_PORTS while the object lives.
class TempPortsFolder {
public:
    TempPortsFolder();
    ~TempPortsFolder();
    QString Path() const { return dir_.path(); }
    bool IsValid() const { return dir_.isValid(); }

private:
    QTemporaryDir dir_;
    QByteArray previous_;
    bool hadPrevious_ = false;
};
