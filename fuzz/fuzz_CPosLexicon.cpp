// libFuzzer target: CPosLexicon::Load on arbitrary bytes, look-ups over the
// whole index and around it, a tagging pass over word ids taken from the input,
// and the whole analysis of short texts with the lexicon as each of the two.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include "fuzz/FuzzInput.h"
#include "fuzz/FuzzModels.h"
#include "segment/TokenRecord.h"
#include "tagging/CHmmTagger.h"
#include "tagging/CPosLexicon.h"
#include "tagging/CTagTransitions.h"

namespace {

using fuzzinput::TempPath;

void WriteBytes(const std::string& path, const void* data, size_t size)
{
    fuzzinput::WriteAll(path, data, size);
}


// Fixed statistics: N = 3, total 1000, frequencies 100, 300, 200, a few counts.
const CTagTransitions& FixedContext()
{
    static CTagTransitions ctx;
    static bool loaded = false;
    if (!loaded) {
        std::string image(1, '\x03');
        const int32_t values[] = {1000, 100, 300, 200, 0, 40, 10, 30, 0, 0, 60, 0, 0};
        image.append(reinterpret_cast<const char*>(values), sizeof values);
        const std::string path = TempPath("context.ctx");
        WriteBytes(path, image.data(), image.size());
        ctx.Load(path.c_str(), false);
        std::remove(path.c_str());
        loaded = true;
    }
    return ctx;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string path = TempPath("input.pos");
    WriteBytes(path, data, size);
    CPosLexicon lexicon;
    if (!lexicon.Load(path.c_str()))
        return 0;
    volatile long sink = 0;
    const int w = lexicon.GetIndexSize();
    for (int id = -2; id <= w + 1; ++id) {
        int count = 0;
        const CPosLexicon::Entry* e = lexicon.Lookup(id, &count);
        for (int k = 0; k < count; ++k)
            sink = sink + e[k].tag + e[k].frequency;
    }
    int count = 0;
    lexicon.Lookup(0x7FFFFFFF, &count);
    lexicon.Lookup(-0x7FFFFFFF - 1, &count);

    // Word ids from the input's bytes, kept near the index so that most have entries.
    std::vector<TokenRecord> tokens(size < 12 ? size + 1 : 12);
    for (size_t i = 0; i < tokens.size(); ++i) {
        tokens[i].wordId = i < size ? static_cast<int32_t>(data[size - 1 - i]) % (w + 2) - 1 : 0;
        tokens[i].kind = static_cast<uint8_t>(i);
    }
    CHmmTagger tagger(&lexicon, &FixedContext(), 1000.0, 21, 1);
    tagger.Tag(tokens.data(), static_cast<int>(tokens.size()));
    tagger.Tag(tokens.data(), 1);

    fuzzmodels::ModelSet models = fuzzmodels::SoundSet();
    models.pos = &lexicon;
    fuzzmodels::Analyse(models);
    models = fuzzmodels::SoundSet();
    models.roles = &lexicon;
    fuzzmodels::Analyse(models);
    return 0;
}
