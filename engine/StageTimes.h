#ifndef MORV_STAGETIMES_H
#define MORV_STAGETIMES_H

#include <chrono>

// Wall time spent in each step of the pipeline, summed over the sentences
// analysed while it is set on an analyser (a profiler's view of where the time
// goes, for the benchmarks; unset, the analysis reads no clock).
struct StageTimes {
    enum Step { kPreProcess, kSegment, kNewWords, kPersons, kEntities, kPos, kOutput, kStepCount };
    static const char* Name(int step);
    double seconds[kStepCount] = {};
};

// Adds the time since the last lap to a step of the stage times; does nothing
// (and reads no clock) when there are none.
class StageLap {
public:
    explicit StageLap(StageTimes* t) : times(t)
    {
        if (times != nullptr)
            at = std::chrono::steady_clock::now();
    }
    void operator()(StageTimes::Step step)
    {
        if (times == nullptr)
            return;
        const auto now = std::chrono::steady_clock::now();
        times->seconds[step] += std::chrono::duration<double>(now - at).count();
        at = now;
    }

private:
    StageTimes* times;
    std::chrono::steady_clock::time_point at;
};

#endif
