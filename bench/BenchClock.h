#ifndef MORV_BENCHCLOCK_H
#define MORV_BENCHCLOCK_H

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>

// The benchmarks' clocks. The machine may be shared: rates come from this
// process's CPU time, and the wall time is shown beside it.
inline double CpuNow()
{
    timespec ts {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

inline double WallNow()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Kilobytes of a /proc/self/status line (VmRSS, VmHWM), or -1.
inline long StatusKiB(const char* field)
{
    std::ifstream status("/proc/self/status");
    const size_t n = std::strlen(field);
    for (std::string line; std::getline(status, line);)
        if (line.compare(0, n, field) == 0 && line.size() > n && line[n] == ':')
            return std::atol(line.c_str() + n + 1);
    return -1;
}

#endif
