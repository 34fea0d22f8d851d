// libFuzzer target: CTranslitModel::Load on arbitrary bytes; after a
// successful load every key's entry lies within the file's range, and a
// failed load keeps the model empty.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/FuzzInput.h"
#include "tagging/CTranslitModel.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string path = fuzzinput::TempPath("input.tm");
    fuzzinput::WriteAll(path, data, size);
    CTranslitModel model;
    if (!model.Load(path.c_str())) {
        if (model.IsLoaded())
            std::abort();
        return 0;
    }
    constexpr int kMax = CTranslitModel::kMaxValue;
    for (int key = -1; key <= CTranslitModel::kKeyCount; ++key) {
        const CTranslitModel::Entry& e = model.Of(key);
        for (int v : {e.inName, e.place, e.before, e.after})
            if (v < -kMax || v > kMax)
                std::abort();
    }
    if (model.GetCharCount() < 0 || model.GetCharCount() >= CTranslitModel::kKeyCount)
        std::abort();
    return 0;
}
