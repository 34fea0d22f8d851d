// Fuzz target for the character-class table: the input is a charset.type file.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/FuzzInput.h"
#include "segment/CCharset.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string path = fuzzinput::TempPath("CCharset");
    fuzzinput::WriteAll(path, data, size);
    CCharset table;
    if (!table.Load(path.c_str()))
        return 0;
    // Classes the file gives are read back as they are; the rest are 0.
    for (int key = 0; key < CCharset::kKeyCount; key += 251) {
        const size_t at = 4 + size_t(key);
        const int expected = at < size ? data[at] : 0;
        if (table.GetClass(key) != expected)
            std::abort();
    }
    if (table.GetClass(-1) != -1 || table.GetClass(CCharset::kKeyCount) != -1)
        std::abort();
    return 0;
}
