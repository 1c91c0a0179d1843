#pragma once

#include "cli/Arguments.h"

// The handlers of the command table's rows (Arguments.cpp), each returning
// the program's exit code.
namespace Cli::Commands {

int Unit(const Arguments& a, const Streams& s);     // configure, verify: one unit, or the bench loop
int Ports(const Arguments& a, const Streams& s);
int Profiles(const Arguments& a, const Streams& s);
int Profile(const Arguments& a, const Streams& s);  // write a built-in, or --check a file
int Read(const Arguments& a, const Streams& s);
int Summary(const Arguments& a, const Streams& s);
int Help(const Arguments& a, const Streams& s);
int Version(const Arguments& a, const Streams& s);
int DryRun(const Arguments& a, const Streams& s);   // configure --dry-run

} // namespace Cli::Commands

#include <QByteArray>
#include <QString>

#include <memory>

namespace ProfileFile {
class LoadedProfile;
}

namespace Cli {

// A device from a profile file, read and checked whole before any port is touched.
struct FromFile {
    std::shared_ptr<ProfileFile::LoadedProfile> profile;
    QString sha256; // of the file's bytes, hex
    QString error;  // one line, with file:line:column where the file says where
};
FromFile LoadProfileFile(const QString& path);

} // namespace Cli
