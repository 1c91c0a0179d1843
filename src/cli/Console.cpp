#include "cli/Console.h"

#include "cli/Interrupts.h"
#include "support/Clock.h"
#include "support/MessageBox.h"
#include "support/SupportFunctions.h"

namespace Cli {

Console::Console(std::FILE* err, bool terminal) : err_(err), terminal_(terminal)
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
    start_ = Clock::Now();
    lastMessage_.clear();
}

void Console::SetStep(int index) { step_ = index + 1; }

void Console::Status(const QString& text)
{
    Interrupts::SafePoint();
    // An emptied status bar needs no line of its own; the next text replaces it.
    if (quiet_ || text.isEmpty())
        return;
    const QString counter = stepCount_ > 0 ? QStringLiteral("[%1/%2] ").arg(step_).arg(stepCount_) : QString();
    if (terminal_) {
        const QString line = QStringLiteral("\r\x1b[K%1%2 s  %3").arg(counter).arg(Clock::Now() - start_, 0, 'f', 1).arg(text);
        std::fputs(line.toLocal8Bit().constData(), err_);
        progressShown_ = true;
    } else {
        std::fputs((counter + text + u'\n').toLocal8Bit().constData(), err_);
    }
    std::fflush(err_);
}

void Console::Waiting(const QString& text, bool first)
{
    if (terminal_) {
        std::fputs(("\r\x1b[K" + text).toLocal8Bit().constData(), err_);
        progressShown_ = true;
    } else if (first) {
        std::fputs((text + u'\n').toLocal8Bit().constData(), err_);
    }
    std::fflush(err_);
}

void Console::ClearProgress()
{
    if (progressShown_) {
        std::fputs("\r\x1b[K", err_);
        progressShown_ = false;
    }
}

void Console::Line(const QString& text)
{
    ClearProgress();
    std::fputs((text + u'\n').toLocal8Bit().constData(), err_);
    std::fflush(err_);
}

} // namespace Cli
