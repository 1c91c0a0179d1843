#pragma once

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <vector>

// Wall and CPU time of this process, for the benchmarks.
namespace BenchUtil {

inline double WallSeconds()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// CPU time of the calling thread: the tool's own work runs on the GUI thread,
// while an in-process simulator runs in a thread of its own and is not counted.
inline double CpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

inline double Median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace BenchUtil
