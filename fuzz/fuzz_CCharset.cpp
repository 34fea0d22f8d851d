// Fuzz target for the character-class table. The first input byte picks what the
// rest is:
//   0: a charset.type file as it is (a sound one is 65540 bytes, so most are
//      refused: that is what this mode tries);
//   1: header and class patches: the harness writes a full 65540-byte file, the
//      sound test table with, for each pair of bytes (i, c) of the rest, class c
//      given to the i-th character of the test texts.
// A loaded table must read back as written, and the whole analysis of the short
// texts runs on it: the class rules decide how far each atom runs.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz/FuzzInput.h"
#include "fuzz/FuzzModels.h"
#include "segment/CCharset.h"

namespace {

// The character keys of the test texts, each once.
const std::vector<int>& TextKeys()
{
    static std::vector<int> keys;
    if (keys.empty()) {
        std::vector<bool> seen(CCharset::kKeyCount, false);
        for (const std::string& text : fuzzmodels::Texts()) {
            for (size_t i = 0; i < text.size();) {
                const unsigned char c = static_cast<unsigned char>(text[i]);
                int key = c;
                size_t n = 1;
                if (c >= 0x80 && i + 1 < text.size()) {
                    key = c * 256 + static_cast<unsigned char>(text[i + 1]);
                    n = 2;
                }
                if (c < 0x80 || n == 2) {
                    if (!seen[size_t(key)])
                        keys.push_back(key);
                    seen[size_t(key)] = true;
                }
                i += n;
            }
        }
    }
    return keys;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string path = fuzzinput::TempPath("CCharset");
    if (size == 0)
        return 0;
    const int mode = data[0] % 2;
    ++data;
    --size;
    std::string file;
    if (mode == 0) {
        file.assign(reinterpret_cast<const char*>(data), size);
    } else {
        const CCharset& sound = fuzzmodels::Sound().charset;
        file.assign(4 + size_t(CCharset::kKeyCount), '\0');
        for (size_t i = 0; i < 4 && i < size; ++i)
            file[i] = static_cast<char>(data[i]);
        for (int key = 0; key < CCharset::kKeyCount; ++key)
            file[4 + size_t(key)] = static_cast<char>(sound.GetClass(key));
        const std::vector<int>& keys = TextKeys();
        for (size_t i = 4; i + 1 < size; i += 2)
            file[4 + size_t(keys[data[i] % keys.size()])] = static_cast<char>(data[i + 1]);
    }
    fuzzinput::WriteAll(path, file.data(), file.size());
    CCharset table;
    if (!table.Load(path.c_str()))
        return 0;
    if (file.size() != size_t(CCharset::kFileSize))
        std::abort();
    for (int key = 0; key < CCharset::kKeyCount; key += 251)
        if (table.GetClass(key) != static_cast<unsigned char>(file[4 + size_t(key)]))
            std::abort();
    for (int key : TextKeys())
        if (table.GetClass(key) != static_cast<unsigned char>(file[4 + size_t(key)]))
            std::abort();
    if (table.GetClass(-1) != -1 || table.GetClass(CCharset::kKeyCount) != -1)
        std::abort();

    fuzzmodels::ModelSet models = fuzzmodels::SoundSet();
    models.charset = &table;
    fuzzmodels::Analyse(models);
    return 0;
}
