#pragma once

// The command line run in-process for the tests: its stderr captured, its
// standard input given, and the report's lines read back.
#include "cli/CommandLine.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <cstdlib>

namespace CliRun {

// Runs the command line with stdout and stderr captured.
struct Captured {
    int code = -1;
    QString err;
};

// `input`: what standard input holds (--serial -).
inline Captured RunCli(const QStringList& args, QByteArray input = {})
{
    char* buffer = nullptr;
    std::size_t size = 0;
    std::FILE* err = open_memstream(&buffer, &size);
    input.append('\0'); // fmemopen needs a buffer of at least one byte
    std::FILE* in = fmemopen(input.data(), std::size_t(input.size() - 1), "r");
    Captured c;
    c.code = Cli::Main(args, {err, qEnvironmentVariableIsSet("CLI_DEBUG") ? stderr : err, false, in});
    std::fclose(in);
    std::fclose(err);
    c.err = QString::fromLocal8Bit(buffer, qsizetype(size));
    std::free(buffer);
    return c;
}

inline QList<QJsonObject> ReportLines(const QString& path)
{
    QFile file(path);
    QList<QJsonObject> units;
    if (file.open(QIODevice::ReadOnly))
        for (const QByteArray& line : file.readAll().split('\n'))
            if (!line.isEmpty())
                units << QJsonDocument::fromJson(line).object();
    return units;
}

inline QJsonObject LastReportLine(const QString& path)
{
    const QList<QJsonObject> units = ReportLines(path);
    return units.isEmpty() ? QJsonObject() : units.last();
}

// The first step's frames, in full or (a unit that passed) counted.
inline QJsonValue FirstStepFrames(const QJsonObject& unit)
{
    const QJsonObject step = unit["steps"].toArray()[0].toObject();
    return step.contains("frames") ? step["frames"] : step["frameCount"];
}

} // namespace CliRun
