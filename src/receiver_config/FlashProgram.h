#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>

// The external flashing program "gpsflash", which lies in the application's
// folder beside the firmware image gps.bin and the loader gps.ldr: where it
// is, how it is called, and one run of it without a visible window.
namespace FlashProgram {

// The folder that holds the program's own executable, without a trailing
// separator (or the folder set for testing).
QString ApplicationFolder();
// Makes ApplicationFolder() return `folder`, so a test can put a stand-in
// flashing program there; an empty text restores the real folder.
void SetApplicationFolderForTesting(const QString& folder);

// The folder as it goes into the command line. On Windows its short (8.3)
// form, so the unquoted command line has no blanks in the program path, or
// an empty text when the system cannot give one; elsewhere unchanged, since
// the program is started from an argument list there.
QString CommandFolder(const QString& folder);

// The program file in `folder`.
QString ProgramPath(const QString& folder);
// The six arguments: -f gps.bin -p com<comPort> -l gps.ldr. The firmware and
// loader are named without a folder: the program runs in the one that holds them.
QStringList Arguments(std::int32_t comPort);
// The whole command line as one unquoted text, as Windows starts it:
// <folder>\gpsflash -f gps.bin -p com<comPort> -l gps.ldr
QString CommandLine(const QString& folder, std::int32_t comPort);

// One run of the flashing program. It reports nothing back, so all that is
// kept of it is what the wait for its end needs.
class Run {
public:
    Run();
    ~Run();
    Run(const Run&) = delete;
    Run& operator=(const Run&) = delete;

    // Starts the program of `folder` with the arguments for `comPort`, without
    // a visible window and with `folder` as its working folder. False when it
    // cannot be started (missing, not executable).
    bool Start(const QString& folder, std::int32_t comPort);
    // Takes hold of the started program for the wait. False when it can no
    // longer be waited on (it has already ended and been collected).
    bool OpenForWait();
    // Blocks, without a time-out and without serving the event loop, until
    // the program has ended; then lets go of it.
    void WaitForEnd();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace FlashProgram
