// Fuzz target for the word frequency table: the input is a CoreDict.unig file.
// After the look-ups, the whole analysis of short texts runs on it.
#include <cstdint>
#include <string>

#include "fuzz/FuzzInput.h"
#include "fuzz/FuzzModels.h"
#include "lexicon/CUnigram.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string path = fuzzinput::TempPath("CUnigram");
    fuzzinput::WriteAll(path, data, size);
    CUnigram table;
    if (!table.Load(path.c_str()))
        return 0;
    const int32_t header[3] = {fuzzinput::Int32At(data, size, 0), fuzzinput::Int32At(data, size, 4),
                               fuzzinput::Int32At(data, size, 8)};
    volatile unsigned sink = unsigned(table.GetTotalFrequency()) + unsigned(table.GetEntryCount());
    for (int id : {-1, 0, 1, 2, 1000, header[0] - 1, header[0], header[1], header[1] + 1, header[2],
                   INT32_MAX, INT32_MIN})
        sink = sink + unsigned(table.Frequency(id));
    for (int id = 0; id < 64; ++id)
        sink = sink + unsigned(table.Frequency(id));
    (void)sink;
    fuzzmodels::ModelSet models = fuzzmodels::SoundSet();
    models.unigram = &table;
    fuzzmodels::Analyse(models);
    return 0;
}
