// libFuzzer target: CTagTransitions::Load on arbitrary bytes (with and without
// the names block), then every query, one tagging pass that uses it, and the
// whole analysis of short texts with it as either context.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

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


// A fixed lexicon: word 0 (tag 0), word 1 (tags 1, 2, 7), word 2 (tag 255).
const CPosLexicon& FixedLexicon()
{
    static CPosLexicon lexicon;
    static bool loaded = false;
    if (!loaded) {
        const int32_t image[] = {5, 4,             // M, W
                                 0, 100, 1, 5, 2, 20, 7, 3, 255, 1, // entries (tag in the low byte)
                                 0, 1, 1, 3, 4, 1, -1, 0};          // index
        const std::string path = TempPath("lexicon.pos");
        WriteBytes(path, image, sizeof image);
        lexicon.Load(path.c_str());
        std::remove(path.c_str());
        loaded = true;
    }
    return lexicon;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string path = TempPath("input.ctx");
    WriteBytes(path, data, size);
    for (bool withNames : {false, true}) {
        CTagTransitions ctx;
        if (!ctx.Load(path.c_str(), withNames))
            continue;
        volatile long double sink = 0;
        for (int p = 0; p < 256; p += 3)
            for (int q = 0; q < 256; q += 5)
                sink = sink + ctx.TransitionProbability(p, q) + ctx.LogTransition(p, q) + ctx.TagFrequency(q);
        for (const std::string& name : ctx.GetNames())
            sink = sink + static_cast<long double>(name.size());

        CHmmTagger tagger(&FixedLexicon(), &ctx, 1000.0, 21, 2);
        TokenRecord tokens[6];
        const int32_t ids[6] = {0, 1, 3, 2, 1, 0};
        for (int i = 0; i < 6; ++i) {
            tokens[i].wordId = ids[i];
            tokens[i].kind = static_cast<uint8_t>(i);
        }
        tagger.Tag(tokens, 6);
        if (withNames)
            continue;
        fuzzmodels::ModelSet models = fuzzmodels::SoundSet();
        models.posContext = &ctx;
        fuzzmodels::Analyse(models);
        models = fuzzmodels::SoundSet();
        models.roleContext = &ctx;
        fuzzmodels::Analyse(models);
    }
    return 0;
}
