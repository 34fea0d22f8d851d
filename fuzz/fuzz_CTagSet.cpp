// Fuzz target for the tag-name table: the input is a tag-set text file. After
// the look-ups, the whole analysis of short texts writes its page with it.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/CTagSet.h"
#include "fuzz/FuzzInput.h"
#include "fuzz/FuzzModels.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string path = fuzzinput::TempPath("CTagSet");
    fuzzinput::WriteAll(path, data, size);
    CTagSet tags;
    if (!tags.Load(path.c_str()))
        return 0;
    if (tags.GetCount() > 255 || tags.GetCount() == 0 || std::memchr(data, 0, size) != nullptr)
        std::abort();
    for (int code = -2; code < 260; ++code) {
        const char* name = tags.GetName(code);
        if ((name != nullptr) != (code >= 0 && code < tags.GetCount()))
            std::abort();
        if (name != nullptr && std::strlen(name) > size)
            std::abort();
    }
    fuzzmodels::ModelSet models = fuzzmodels::SoundSet();
    models.tags = &tags;
    fuzzmodels::Analyse(models);
    return 0;
}
