// Fuzz target for the word-pair table: the input is a BiWord.big file. After
// the look-ups, the whole analysis of short texts runs on it.
#include <cstdint>
#include <string>

#include "fuzz/FuzzInput.h"
#include "fuzz/FuzzModels.h"
#include "lexicon/CBigram.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string path = fuzzinput::TempPath("CBigram");
    fuzzinput::WriteAll(path, data, size);
    CBigram table;
    if (!table.Load(path.c_str()))
        return 0;
    const int pairs = fuzzinput::Int32At(data, size, 0);
    const int rows = fuzzinput::Int32At(data, size, 4);
    volatile unsigned sink = 0;
    const int ids[] = {-1, 0, 1, 2, 3, 7, rows - 1, rows, rows + 1, pairs, INT32_MAX, INT32_MIN};
    for (int first : ids)
        for (int second : ids)
            sink = sink + unsigned(table.PairFrequency(first, second));
    // Pair ids taken from the file's own records, so lookups reach real rows.
    for (size_t off = 8; off + 8 <= size && off < 8 + 8 * 32; off += 8)
        for (int first = 0; first < 4; ++first)
            sink = sink + unsigned(table.PairFrequency(first, fuzzinput::Int32At(data, size, off)));
    (void)sink;
    fuzzmodels::ModelSet models = fuzzmodels::SoundSet();
    models.bigram = &table;
    fuzzmodels::Analyse(models);
    return 0;
}
