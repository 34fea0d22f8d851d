// libFuzzer target: CRoleTagger::Load on arbitrary bytes, then recognition over
// token arrays whose roles come from the input and from a fixed pattern, and
// the whole analysis of short texts with it.
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
#include "tagging/CRoleTagger.h"

namespace {

using fuzzinput::TempPath;

void WriteBytes(const std::string& path, const void* data, size_t size)
{
    fuzzinput::WriteAll(path, data, size);
}


void Check(const CRoleTagger& fsa, std::vector<uint8_t> roles)
{
    std::vector<TokenRecord> tokens(roles.size());
    for (size_t i = 0; i < roles.size(); ++i) {
        tokens[i].wordId = static_cast<int32_t>(i);
        tokens[i].start = static_cast<int32_t>(2 * i);
        tokens[i].end = static_cast<int32_t>(2 * i + 2);
        tokens[i].tag = roles[i];
    }
    int count = static_cast<int>(tokens.size());
    fsa.Recognize(tokens.data(), count, -9);
    // Whatever the automaton, the result is a gap-free cover of the same text.
    if (count < 0 || count > static_cast<int>(tokens.size()))
        std::abort();
    if (count == 0)
        return;
    if (tokens[0].start != 0 || tokens[static_cast<size_t>(count) - 1].end != static_cast<int32_t>(2 * roles.size()))
        std::abort();
    for (int i = 1; i < count; ++i)
        if (tokens[static_cast<size_t>(i)].start != tokens[static_cast<size_t>(i) - 1].end)
            std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string path = TempPath("input.fsa");
    WriteBytes(path, data, size);
    CRoleTagger fsa;
    if (!fsa.Load(path.c_str()))
        return 0;
    // Roles from the tail of the input, small ones so that the automaton is walked.
    std::vector<uint8_t> roles;
    for (size_t i = 0; i < size && i < 24; ++i)
        roles.push_back(static_cast<uint8_t>(data[size - 1 - i] % 8));
    Check(fsa, roles);
    Check(fsa, {0, 1, 2, 1, 2, 3, 0, 255, 4, 5, 1, 1, 2});
    // Every run of one role, and every role pair repeated.
    for (int r = 0; r < 8; ++r) {
        Check(fsa, std::vector<uint8_t>(6, static_cast<uint8_t>(r)));
        Check(fsa, {static_cast<uint8_t>(r), static_cast<uint8_t>((r + 1) % 8), static_cast<uint8_t>(r),
                    static_cast<uint8_t>((r + 3) % 8)});
    }
    // A long sentence of one role: runs must stay bounded whatever the automaton.
    Check(fsa, std::vector<uint8_t>(3000, static_cast<uint8_t>(size > 0 ? data[0] % 8 : 1)));
    fuzzmodels::ModelSet models = fuzzmodels::SoundSet();
    models.automaton = &fsa;
    fuzzmodels::Analyse(models);
    return 0;
}
