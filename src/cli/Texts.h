#pragma once

#include <QByteArray>
#include <QString>

#include <cstdio>

// The console's texts that more than one command says, each written once.
namespace Cli::Texts {

// "varnexconfig: what": a line of the program's own, not of the receiver's run.
inline QString Said(const QString& what) { return QStringLiteral("varnexconfig: ") + what; }

inline QString CannotOpenPort(const QString& port, const QString& why)
{
    return Said(QStringLiteral("port %1 cannot be opened: %2").arg(port, why));
}

// `what`: a file name, or "standard output".
inline QString CannotWrite(const QString& what, const QString& why)
{
    return Said(QStringLiteral("cannot write %1: %2").arg(what, why));
}

inline QString CannotRead(const QString& file, const QString& why)
{
    return Said(QStringLiteral("cannot read %1: %2").arg(file, why));
}

// Writes all of `bytes` to `out` and flushes it; empty when it got there,
// else why not (a full disk, a reader gone).
QString Put(std::FILE* out, const QByteArray& bytes);

} // namespace Cli::Texts
