#pragma once

#include <QStringList>

// The hand-checked frames each device profile sends after the reset, one
// frame a line in tests/data/profiles/<device>.txt, as upper-case hex.
QStringList GoldenProfileFrames(const QString& device);
// The frames of a run that follow the reset's 152nd CFG-MSG; empty when the
// reset did not complete.
QStringList FramesAfterReset(const QStringList& frames);
// Upper-case hex without spaces, whatever the spacing and case of `hex`:
// "b5 62 06 08" -> "B5620608".
QString HexFrame(const QString& hex);
