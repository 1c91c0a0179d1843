#include "receiver_config/FlashProgram.h"

#include <QCoreApplication>
#include <QDir>
#include <QLoggingCategory>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <algorithm>
#include <array>
#else
#include <QProcess>
#endif

namespace FlashProgram {
namespace {

Q_LOGGING_CATEGORY(lcReflash, "varnexconfig.reflash")

constexpr const char* kProgramName = "gpsflash";

QString& FolderForTesting()
{
    static QString folder;
    return folder;
}

} // namespace

QString ApplicationFolder()
{
    if (!FolderForTesting().isEmpty())
        return FolderForTesting();
    return QCoreApplication::applicationDirPath();
}

void SetApplicationFolderForTesting(const QString& folder) { FolderForTesting() = folder; }

QString ProgramPath(const QString& folder)
{
    // Plain concatenation: on Windows an empty short form gives "\gpsflash",
    // the program in the root of the current drive, as the command line reads.
    return folder + QDir::separator() + QLatin1String(kProgramName);
}

QStringList Arguments(std::int32_t comPort)
{
    return {QStringLiteral("-f"), QStringLiteral("gps.bin"),
            QStringLiteral("-p"), QStringLiteral("com%1").arg(comPort),
            QStringLiteral("-l"), QStringLiteral("gps.ldr")};
}

QString CommandLine(const QString& folder, std::int32_t comPort)
{
    return ProgramPath(folder) + QLatin1Char(' ') + Arguments(comPort).join(QLatin1Char(' '));
}

#ifdef _WIN32

QString CommandFolder(const QString& folder)
{
    // Blanks in a long folder name would split the unquoted command line.
    constexpr DWORD kBufferLength = 260;
    std::array<char, kBufferLength> buffer;
    buffer.fill(' ');
    const QByteArray longForm = QDir::toNativeSeparators(folder).toLocal8Bit();
    // The length of the short form; 0 when the call fails (empty folder text).
    const DWORD length = GetShortPathNameA(longForm.constData(), buffer.data(), kBufferLength);
    return QString::fromLocal8Bit(buffer.data(), static_cast<qsizetype>(std::min(length, kBufferLength)));
}

struct Run::Impl {
    DWORD processId = 0;
    HANDLE process = nullptr;
};

Run::Run() : impl_(std::make_unique<Impl>()) {}

Run::~Run()
{
    if (impl_->process)
        CloseHandle(impl_->process);
}

bool Run::Start(const QString& folder, std::int32_t comPort)
{
    QByteArray commandLine = CommandLine(folder, comPort).toLocal8Bit();
    const QByteArray workingFolder = QDir::toNativeSeparators(folder).toLocal8Bit();
    qCInfo(lcReflash).noquote() << "Starting" << QString::fromLocal8Bit(commandLine);
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION started{};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                        workingFolder.isEmpty() ? nullptr : workingFolder.constData(), &startup, &started))
        return false;
    // Only the identifier is kept; the wait opens the process anew by it.
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    impl_->processId = started.dwProcessId;
    return true;
}

bool Run::OpenForWait()
{
    // SYNCHRONIZE is all a wait needs; the handle is not inherited.
    impl_->process = OpenProcess(SYNCHRONIZE, FALSE, impl_->processId);
    return impl_->process != nullptr;
}

void Run::WaitForEnd()
{
    if (!impl_->process)
        return;
    WaitForSingleObject(impl_->process, INFINITE);
    CloseHandle(impl_->process);
    impl_->process = nullptr;
}

#else

QString CommandFolder(const QString& folder) { return folder; }

struct Run::Impl {
    QProcess process;
};

Run::Run() : impl_(std::make_unique<Impl>()) {}

Run::~Run() = default;

bool Run::Start(const QString& folder, std::int32_t comPort)
{
    QProcess& process = impl_->process;
    // No shell: the folder, whatever blanks or shell characters its name
    // holds, only ever names the program, which gets exactly six arguments.
    process.setProgram(ProgramPath(folder));
    process.setArguments(Arguments(comPort));
    process.setWorkingDirectory(folder);
    // Nothing to read from; its output goes where ours goes, out of sight of
    // the operator as a hidden window's would be.
    process.setStandardInputFile(QProcess::nullDevice());
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    qCInfo(lcReflash).noquote() << "Starting" << process.program() << process.arguments().join(QLatin1Char(' '))
                                << "in" << folder;
    process.start();
    return process.waitForStarted(-1);
}

bool Run::OpenForWait()
{
    // A program that ended during the yield after the start has been
    // collected already: there is nothing left to wait on.
    return impl_->process.state() != QProcess::NotRunning;
}

void Run::WaitForEnd() { impl_->process.waitForFinished(-1); }

#endif

} // namespace FlashProgram
