#include "support/Clock.h"

#include <chrono>
#include <thread>

namespace Clock {
namespace {

class SteadyClock final : public Source {
public:
    double Now() override
    {
        using namespace std::chrono;
        return duration<double>(steady_clock::now().time_since_epoch()).count();
    }
    void Sleep(double seconds) override
    {
        if (seconds > 0)
            std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    }
};

SteadyClock g_steady;
Source* g_source = &g_steady;

} // namespace

double Now() { return g_source->Now(); }
void Sleep(double seconds) { g_source->Sleep(seconds); }
void Install(Source* source) { g_source = source ? source : &g_steady; }

} // namespace Clock
