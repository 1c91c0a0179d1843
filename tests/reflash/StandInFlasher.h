#pragma once

#include "receiver_config/FlashProgram.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

// A stand-in for the flashing program in a temporary application folder whose
// name holds a blank and shell characters, so that only a start without a
// shell finds it. When it runs it records its arguments (one a line) and its
// working folder, asks $REFLASH_PORT_PROBE (when set) whether the port of its
// "-p" argument is free, takes a moment, and finally marks its end. While the
// object lives the program's application folder is that folder.
class StandInFlasher {
public:
    enum class Kind { Runs, Missing, NotExecutable };

    explicit StandInFlasher(Kind kind = Kind::Runs)
        : folder_(base_.filePath(QStringLiteral("app dir $(touch pwned); x")))
    {
        QDir().mkpath(folder_);
        FlashProgram::SetApplicationFolderForTesting(folder_);
        if (kind == Kind::Missing)
            return;
        QFile script(File("gpsflash"));
        script.open(QIODevice::WriteOnly);
        script.write("#!/bin/sh\n"
                     "here=$(dirname -- \"$0\")\n"
                     "printf '%s\\n' \"$@\" > \"$here/args\"\n"
                     "pwd -P > \"$here/cwd\"\n"
                     "if [ -n \"$REFLASH_PORT_PROBE\" ]; then\n"
                     "    \"$REFLASH_PORT_PROBE\" \"$VARNEXCONFIG_PORTS/$4\" > \"$here/port\"\n"
                     "fi\n"
                     "sleep 0.2\n"
                     ": > \"$here/ended\"\n");
        script.close();
        if (kind == Kind::Runs)
            script.setPermissions(script.permissions() | QFileDevice::ExeOwner);
    }
    ~StandInFlasher() { FlashProgram::SetApplicationFolderForTesting({}); }
    StandInFlasher(const StandInFlasher&) = delete;
    StandInFlasher& operator=(const StandInFlasher&) = delete;

    QString Folder() const { return folder_; }
    QString BaseFolder() const { return base_.path(); }
    QString EndMarker() const { return File("ended"); }
    bool Ran() const { return QFile::exists(File("args")); }
    QStringList Arguments() const { return Lines("args"); }
    QString WorkingFolder() const { return Lines("cwd").value(0); }
    QString PortProbe() const { return Lines("port").value(0); }

private:
    QString File(const char* name) const { return QDir(folder_).filePath(QString::fromLatin1(name)); }
    QStringList Lines(const char* name) const
    {
        QFile file(File(name));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromLocal8Bit(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    QTemporaryDir base_;
    QString folder_;
};
