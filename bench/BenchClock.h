#ifndef MORV_BENCHCLOCK_H
#define MORV_BENCHCLOCK_H

#include <chrono>
#include <ctime>

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

#endif
