#include "engine/StageTimes.h"

const char* StageTimes::Name(int step)
{
    static const char* const kNames[kStepCount] = {"pre-processing", "segmentation",   "new words", "person names",
                                                   "places and organisations", "parts of speech", "output"};
    return step >= 0 && step < kStepCount ? kNames[step] : "?";
}
