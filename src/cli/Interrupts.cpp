#include "cli/Interrupts.h"

#include <QSocketNotifier>

#include <array>
#include <atomic>
#include <csignal>
#include <cstring>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace Cli::Interrupts {
namespace {

volatile std::sig_atomic_t gCount = 0;
bool gAbandoned = false;
std::function<void()> gAbandon;

// Two copies of each notice: the one the handler may be reading is never the
// one being written.
struct Notices {
    char first[256];
    char second[256];
};
std::array<Notices, 2> gNotices{};
volatile std::sig_atomic_t gCurrentNotices = 0;

#ifndef _WIN32
int gWake[2] = {-1, -1};
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction gPrevious[3];

void WriteAll(int fd, const char* text)
{
    std::size_t left = std::strlen(text);
    while (left > 0) {
        const ssize_t n = ::write(fd, text, left);
        if (n <= 0)
            return;
        text += n;
        left -= std::size_t(n);
    }
}

extern "C" void OnSignal(int)
{
    const int saved = errno;
    gCount = gCount + 1;
    const int count = gCount;
    const Notices& n = gNotices[std::size_t(gCurrentNotices)];
    if (count == 1)
        WriteAll(STDERR_FILENO, n.first);
    else if (count == 2) {
        WriteAll(STDERR_FILENO, n.second);
        const char byte = 1;
        [[maybe_unused]] const ssize_t w = ::write(gWake[1], &byte, 1);
    }
    errno = saved;
}
#endif

} // namespace

struct Guard::Notifier {
#ifndef _WIN32
    QSocketNotifier notifier{gWake[0], QSocketNotifier::Read};
#endif
};

Guard::Guard(std::function<void()> abandon)
{
    gCount = 0;
    gAbandoned = false;
    gAbandon = std::move(abandon);
#ifndef _WIN32
    if (gWake[0] < 0 && ::pipe(gWake) == 0)
        for (int fd : gWake) {
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
            ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        }
    notifier_ = std::make_unique<Notifier>();
    QObject::connect(&notifier_->notifier, &QSocketNotifier::activated, [] {
        char drain[16];
        while (::read(gWake[0], drain, sizeof drain) > 0) {
        }
        SafePoint();
    });
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < std::size(kSignals); ++i)
        sigaction(kSignals[i], &action, &gPrevious[i]);
#else
    // Windows: the console's Ctrl-C ends the program as before.
#endif
}

Guard::~Guard()
{
#ifndef _WIN32
    for (std::size_t i = 0; i < std::size(kSignals); ++i)
        sigaction(kSignals[i], &gPrevious[i], nullptr);
#endif
    notifier_.reset();
    gAbandon = nullptr;
}

int Count() { return gCount; }

void SetNotices(const QByteArray& first, const QByteArray& second)
{
    const int next = 1 - gCurrentNotices;
    Notices& n = gNotices[std::size_t(next)];
    std::strncpy(n.first, first.constData(), sizeof n.first - 1);
    n.first[sizeof n.first - 1] = '\0';
    std::strncpy(n.second, second.constData(), sizeof n.second - 1);
    n.second[sizeof n.second - 1] = '\0';
    std::atomic_signal_fence(std::memory_order_seq_cst);
    gCurrentNotices = next;
}

void SafePoint()
{
    if (gCount < 2 || gAbandoned || !gAbandon)
        return;
    gAbandoned = true;
    gAbandon();
}

void ProtectStandardStreams()
{
#ifndef _WIN32
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN); // a file-size limit makes a write short (a lost line), not the end of the run
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd)
        if (::fcntl(fd, F_GETFD) < 0)
            ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY); // takes the lowest free descriptor: fd
#endif
}

} // namespace Cli::Interrupts
