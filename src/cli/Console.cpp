#include "cli/Console.h"

#include "cli/Interrupts.h"
#include "cli/Texts.h"
#include "support/Clock.h"
#include "support/MessageBox.h"
#include "support/SupportFunctions.h"

#include <cerrno>
#include <cstring>

namespace Cli {

QString Texts::Put(std::FILE* out, const QByteArray& bytes)
{
    errno = 0;
    const std::size_t written = std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), out);
    if (std::fflush(out) != 0 || written != std::size_t(bytes.size()) || std::ferror(out)) {
        std::clearerr(out);
        return QString::fromLocal8Bit(std::strerror(errno ? errno : EIO));
    }
    return {};
}

Console::Console(std::FILE* err, bool terminal, bool quiet)
    : err_(err), terminal_(terminal), quiet_(quiet), colour_(terminal && qEnvironmentVariableIsEmpty("NO_COLOR"))
{
    MessageBox::SetConsoleSink([this](const QString& text) {
        lastMessage_ = text;
        Line(text);
    });
    SupportFunctions::SetStatusSink([this](const QString& text) { Status(text); });
}

Console::~Console()
{
    ClearProgress();
    SupportFunctions::SetStatusSink({});
    MessageBox::SetConsoleSink({});
}

void Console::BeginUnit(int stepCount)
{
    stepCount_ = stepCount;
    step_ = 0;
    loggedStep_ = -1;
    start_ = Clock::Now();
    lastMessage_.clear();
}

void Console::SetStep(int index) { step_ = index + 1; }

// The console is never the record: a reader that went away (a closed pipe)
// loses these lines and the run goes on.
void Console::Put(const QString& text) { Texts::Put(err_, text.toLocal8Bit()); }

void Console::Status(const QString& text)
{
    Interrupts::SafePoint();
    // An emptied status bar needs no line of its own; the next text replaces it.
    if (quiet_ || probing_ || text.isEmpty())
        return;
    const QString counter = stepCount_ > 0 ? QStringLiteral("[%1/%2] ").arg(step_).arg(stepCount_) : QString();
    if (terminal_) {
        Put(QStringLiteral("\r\x1b[K%1%2 s  %3").arg(counter).arg(Clock::Now() - start_, 0, 'f', 1).arg(text));
        progressShown_ = true;
    } else if (loggedStep_ != step_) {
        loggedStep_ = step_;
        Put(counter + text + u'\n');
    }
}

void Console::Waiting(const QString& text, bool first)
{
    if (quiet_)
        return;
    if (terminal_) {
        Put(QStringLiteral("\r\x1b[K") + text);
        progressShown_ = true;
    } else if (first) {
        Put(text + u'\n');
    }
}

void Console::ClearProgress()
{
    if (progressShown_) {
        Put(QStringLiteral("\r\x1b[K"));
        progressShown_ = false;
    }
}

void Console::Line(const QString& text)
{
    if (quiet_)
        return;
    ClearProgress();
    Put(text + u'\n');
}

void Console::Verdict(const QString& text)
{
    ClearProgress();
    static const char* const kColours[][2] = {{"PASS", "\x1b[32m"}, {"FAIL", "\x1b[31m"}};
    for (const auto& [word, colour] : kColours)
        if (colour_ && text.startsWith(QLatin1String(word))) {
            Put(QLatin1String(colour) + QLatin1String(word) + QStringLiteral("\x1b[0m") + text.mid(4) + u'\n');
            return;
        }
    Put(text + u'\n');
}

} // namespace Cli
