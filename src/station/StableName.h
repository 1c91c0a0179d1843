#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

// The name a station keeps to for its whole life. A receiver with its own USB
// port takes its device with it: each board that is plugged in gets a device
// node of its own (ttyACM0, then ttyACM1 ...), and what stays is the socket.
// So a port is known by the most stable name it has, followed to whatever
// device is behind it now.
namespace Station {

// The links from `path` to its device node: `path` first, each link's target
// after it (absolute), the node last, or where a dangling link leads.
QStringList LinkChain(const QString& path);

// The most stable name of the device `chain` leads to: its socket's
// /dev/serial/by-path alias where `byPath` (each alias with the node it leads
// to) has one, so that a kernel name is never followed to another adapter;
// else the last link before the node (a ports folder's entry, a udev
// SYMLINK); else the node itself.
QString MostStable(const QStringList& chain, const QList<QPair<QString, QString>>& byPath);

// The /dev/serial/by-path aliases the system has now, each with its node.
QList<QPair<QString, QString>> ByPathAliases();

// MostStable over the system as it is now.
QString StableNameOf(const QString& path);

} // namespace Station
